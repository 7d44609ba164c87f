// The frame every operation runs in: open the input and output (counting columns
// and, where needed, rows), make the column selection flags, write the header,
// and close both ends with the footer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "io/reader.h"
#include "io/writer.h"
#include "select/readflag.h"

namespace kest {

/// Where an operation's selection comes from.
struct SelectionSource {
  enum class Kind { kNone, kNoSelection, kFile };
  Kind kind = Kind::kNone;
  std::string file;

  static SelectionSource none() { return {}; }
  /// The marker of operations that take no selection: flags stay all zero.
  static SelectionSource no_selection() { return {Kind::kNoSelection, {}}; }
  static SelectionSource from_file(std::string name) { return {Kind::kFile, std::move(name)}; }
};

/// What one operation holds for its run.
struct FilePair {
  std::string in_name;
  std::optional<std::string> out_name;
  std::unique_ptr<InputStream> in;
  std::unique_ptr<OutputStream> out;
};

/// The counts every operation hands back to the driver.
struct OpResult {
  std::uint32_t cols = 0;
  std::uint32_t rows = 0;
};

/// The column figure of the output header: the number of values each written row
/// holds, given the number of variables n. Operations that write another number of
/// columns than n + Settings.column_adjust supply it.
using ColumnFigure = std::function<std::uint32_t(std::uint32_t n)>;

/// The columns a column removal keeps, set whenever flags are made.
std::uint32_t& selected_count();

/// n + 102 zero bytes, filled from the source and Settings.selection_strings
/// (inverted with Settings.inverse) unless the source is the no-selection marker.
SelectionFlags make_selection_flags(const SelectionSource& source, std::uint32_t n);

/// Opens the input and counts its variables ("Found %lu variables.\n" unless quiet).
std::uint32_t open_input(FilePair& pair);

/// Opens the output (if named), writes pending comments and the header.
std::uint32_t open_output(FilePair& pair, std::uint32_t n, std::uint32_t rows,
                          const ColumnFigure& columns = {});

/// open_input, rows counted only with --add-line-count, flags (when `flags` is
/// given), open_output; then both standard streams are flushed.
std::uint32_t open_pair(FilePair& pair, const SelectionSource& source, SelectionFlags* flags,
                        const ColumnFigure& columns = {});

/// Like open_pair, but the rows are always counted and handed back in `rows`.
std::uint32_t open_pair_counted(FilePair& pair, const SelectionSource& source,
                                SelectionFlags* flags, std::uint32_t* rows,
                                const ColumnFigure& columns = {});

/// Closes the input; writes the footer and closes the output. A write error on the
/// output is fatal. Calling it twice is harmless.
void close_pair(FilePair& pair);

}  // namespace kest
