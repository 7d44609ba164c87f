// The operations: their codes, the parameters the options give them, the job the
// driver hands one of them for one input file, and the one table that says, for
// every code, which function runs it, what it needs and what the driver prints
// after it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kest {

/// The operation codes; the options choose one, the driver runs it.
enum class OpCode : std::int32_t {
  kNone = -1,
  kRemoveColumns = 0,
  kRemoveRows = 1,
  kTranspose = 2,
  kCheck = 3,
  kSplit = 4,
  kDelimiter = 5,  // -z alone: the column removal with nothing selected
  kNoise = 6,
  kSort = 7,
  kUnused = 8,
  kMultiply = 9,
  kFilter = 10,
  kShift = 11,
  kRemoveGt = 12,
  kRemoveLt = 13,
  kRemoveEq = 14,
  kKeepGt = 15,
  kKeepLt = 16,
  kKeepEq = 17,
  kAdd = 18,
  kEnumerate = 19,
  kMedian = 20,
  kMath = 21,
  kEval = 22,
  kShuffle = 23,
  kDiff = 24,
  kSumVertical = 25,
  kSumHorizontal = 26,
  kCutSquare = 27,
  kNop = 28,
  kDivide = 29,
  kRunningAverage = 30,
  kGetRows = 31,
  kGetCols = 32,
  kRangeKeep = 33,
  kRangeRemove = 34,
  kSincLowPass = 35,
  kSincHighPass = 36,
  kSincBandPass = 37,
  kSincBandStop = 38,
  kFlipUpDown = 39,
  kFlipLeftRight = 40,
  kPlot = 41,
};

/// Cut-offs, number of points and type of the windowed-sinc filters.
struct SincSpec {
  double fc1 = 0.0;       ///< first cut-off
  double fc2 = 0.0;       ///< second cut-off
  std::int32_t m = 0;     ///< number of filter points, even
  std::int32_t type = 0;  ///< 0 low-pass, 1 high-pass, 2 band-pass, 3 band-stop
};

/// The operations' own parameters, as the options leave them.
struct OpParams {
  std::int32_t filter_taps = 5;
  double split_amount = 0.0;
  std::string sort_spec = "1";
  double range_lower = 0.0;
  double range_upper = 0.0;
  double level = 0.0;  ///< comparison level of the --keepXX / --removeXX options
  double add_term = 0.0;
  double multiply_factor = 1.0;
  double noise_level = 0.001;
  std::optional<std::string> function;  ///< --math / --eval text
  std::optional<std::string> prolog;
  std::optional<std::string> epilog;
  std::int32_t shift = 0;
  SincSpec sinc;
  std::optional<std::uint32_t> plot_x;  ///< --plot-x column, 1-based
  std::uint32_t plot_width = 960;
  std::uint32_t plot_height = 540;
  std::optional<std::string> plot_title;   ///< --plot-title; the input's name without
  std::optional<std::string> plot_xlabel;  ///< --plot-xlabel; "row" or the x column's name without
  std::optional<std::string> plot_ylabel;  ///< --plot-ylabel; none without
  bool plot_log_x = false;                 ///< --plot-log=x or xy
  bool plot_log_y = false;                 ///< --plot-log=y or xy
  bool plot_lines = true;                  ///< --plot-style: lines or both
  bool plot_points = false;                ///< --plot-style: points or both
};

/// Where an operation's selection comes from.
struct SelectionSource {
  enum class Kind { kNone, kFile };
  Kind kind = Kind::kNone;
  std::string file;

  static SelectionSource none() { return {}; }
  static SelectionSource from_file(std::string name) { return {Kind::kFile, std::move(name)}; }
};

/// One operation's work on one input file.
struct Job {
  OpCode code = OpCode::kNone;
  std::string in;
  std::optional<std::string> out;
  SelectionSource selection;
  const OpParams* params = nullptr;
  /// Further files the run reads (its argument files): no output may be one.
  std::vector<std::string> also_read;
};

/// The counts an operation hands back: the input's number of variables and a
/// row count. Only `Frame::finish` makes one, so an operation cannot return
/// without finishing its outputs.
class OpResult {
 public:
  std::uint32_t cols() const { return cols_; }
  std::uint32_t rows() const { return rows_; }

 private:
  friend class Frame;
  OpResult(std::uint32_t cols, std::uint32_t rows) : cols_(cols), rows_(rows) {}
  std::uint32_t cols_;
  std::uint32_t rows_;
};

using OpEntry = OpResult (*)(const Job& job);

/// What the driver prints on standard output after an operation.
enum class Report { kNothing, kCheckTable, kRowCount, kColumnCount };

/// One row of the table of operations.
struct OpSpec {
  OpCode code;
  const char* name;      ///< the operation's module
  OpEntry entry;         ///< nullptr while the operation is not available
  bool needs_output;     ///< choosing it keeps the output name required
  bool needs_selection;  ///< choosing it keeps a selection required
  Report report;
};

/// The row of `code`, or nullptr for a code outside the table.
const OpSpec* find_operation(OpCode code);

}  // namespace kest
