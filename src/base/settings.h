// The process-wide option record every module reads.
//
// Written only while the run starts (environment, option loop) and, for
// `file_number`, by the driver's wildcard loop; read everywhere else.
#pragma once

#include <cstdint>
#include <forward_list>
#include <string>

namespace kest {

/// Default and least accepted size of every line buffer.
inline constexpr std::uint32_t kDefaultMaxbuff = 131072;

struct Settings {
  bool quiet = false;
  bool debug = false;
  bool keep_comments = false;
  std::uint32_t skip_columns = 0;    ///< characters ignored at the start of each data line
  std::int32_t skip_rows = 0;        ///< never negative
  bool qxstars = false;              ///< lines containing '*' are not data
  std::int32_t input_delimiter = 0;  ///< extra value separator when parsing rows, 0 = none
  std::uint32_t maxbuff = kDefaultMaxbuff;
  char delimiter = ' ';
  std::int32_t xtra = -2;     ///< -2 none, -1 every column, else the 0-based column
  std::string number_format;  ///< at most 30 characters
  bool format_set = false;
  bool append = false;
  bool add_line_count = false;
  double fuzz = 2.220446049250313e-16;
  bool special_log = false;
  bool inverse = false;
  std::forward_list<std::string> selection_strings;  ///< newest first
  bool wait_on_error = false;
  bool more = false;
  bool wildcard = false;
  std::string extension = ".out";
  std::int32_t file_number = 1;
};

/// The one process-wide record, read-only for every module.
const Settings& settings();

/// The record for the driver and the option loop, the only writers.
Settings& mutable_settings();

/// Puts every field back to its start value (used by tests and at start-up).
void reset_settings();

}  // namespace kest
