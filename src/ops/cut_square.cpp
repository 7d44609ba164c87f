// Cut-square (--cut-square=rows with -e columns): keeps a block of rows and
// columns. The row list comes from the --cut-square strings alone and is never
// inverted; the column flags are the usual selection, which --cut-square inverts,
// so by default the named columns are kept.
#include <cstdio>

#include "base/settings.h"
#include "ops/frame.h"

namespace kest {

OpResult cut_square(const Job& job) {
  const Settings& s = settings();
  Frame frame(job, {.rows = true});
  const std::uint32_t n = frame.cols();
  const std::uint32_t counted = frame.counted_rows();
  RowSelection kept_rows(std::nullopt, s.cut_square_strings, false, counted);

  // The announcement lists what is kept: rows flagged 1, columns flagged 0.
  std::fputs(s.quiet ? "Kest: Keep rows " : "Keep rows ", stderr);
  kept_rows.print(stderr, false);
  std::fputs("cols ", stderr);
  print_runs(stderr, frame.flags(), n, 1);
  std::fputs("\n", stderr);
  if (!s.quiet) std::fprintf(stderr, "%s -> %s\n", job.in.c_str(), job.out.value_or("").c_str());
  std::fflush(stderr);

  const std::uint32_t written_rows = n == 0 ? 0 : kept_rows.count(true);
  Output& out = frame.open_output({count_unselected(frame.flags(), n), written_rows});
  std::uint32_t rows = 0;
  if (counted != 0) {
    // Rows beyond the counted ones are not read.
    for (std::span<double> row : frame.rows()) {
      if (kept_rows.flagged(rows)) out.write(row, frame.flags());
      if (++rows == counted) break;
    }
  }
  return frame.finish(rows);
}

}  // namespace kest
