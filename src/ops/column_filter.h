// What the whole-table column filters share (the moving average, the median and
// the windowed-sinc filters): the announcement, the table read whole, the pass
// that filters each selected column from its unfiltered values, and the rows
// written back with all their columns.
#pragma once

#include <cstdint>
#include <span>

#include "base/diagnostics.h"
#include "base/settings.h"
#include "ops/frame.h"

namespace kest {

/// The tap count of --filter, --medianfilter and --running-average: each option
/// starts from the count the one before it left.
std::int32_t& filter_taps();

/// The announcement of every column filter.
inline constexpr const char* kFilterFull = "Apply filter to selected columns\n";
inline constexpr const char* kFilterQuiet = "Kest: Filter ";

/// Writes every row of `table` with all its columns, then ends the progress line
/// ("\n" on standard error unless quiet).
void write_table(Output& out, const Matrix<double>& table, std::uint32_t cols);

/// Filters every selected column of `table`: `filter(x, y)` gets the column's
/// unfiltered values `x` (contiguous) and the result `y`, which starts as a copy
/// of `x`, so rows the filter leaves alone keep their input values. `y` then
/// replaces the column. "Filtering...\r" and "Filtering done\n" frame the work
/// unless quiet.
template <class Filter>
void filter_columns(Frame& frame, Matrix<double>& table, Filter&& filter) {
  const bool quiet = settings().quiet;
  if (!quiet) info_message("Filtering...\r");
  const std::size_t rows = table.size();
  std::vector<double> x = vector_or_die<double>(__FILE_NAME__, __LINE__, rows);
  std::vector<double> y = vector_or_die<double>(__FILE_NAME__, __LINE__, rows);
  for (std::uint32_t c = 0; c < frame.cols(); ++c) {
    if (!frame.selected(c)) continue;
    for (std::size_t r = 0; r < rows; ++r) x[r] = table[r][c];
    y = x;
    filter(std::span<const double>(x), std::span<double>(y));
    for (std::size_t r = 0; r < rows; ++r) table[r][c] = y[r];
  }
  if (!quiet) info_message("Filtering done\n");
}

/// The whole run of a filter that reads the counted rows, drops comments, lists
/// the selected columns and filters each of them: `make_filter(frame)` gives the
/// column filter once the rows are read (a kernel is built once per run).
template <class MakeFilter>
OpResult filter_table(const Job& job, MakeFilter&& make_filter) {
  announce(job);
  Frame frame(job, {.rows = true, .comments = false});
  const std::uint32_t cols = frame.cols();
  const std::uint32_t rows = frame.counted_rows();
  Output& out = frame.open_output(frame.shape());
  print_selection(stderr, frame.flags(), cols);
  if (cols == 0 || rows == 0) return frame.finish(rows);
  Matrix<double> table = frame.read_table(false);
  filter_columns(frame, table, make_filter(frame));
  write_table(out, table, cols);
  return frame.finish(rows);
}

}  // namespace kest
