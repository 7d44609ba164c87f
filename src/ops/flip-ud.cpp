// Up-down flip (--flip-ud): writes the data rows last row first, leaving out the
// selected columns.
//
// The whole table is held in one block, one table row per input row. Rows are
// parsed as every operation parses them (after the --skip-columns characters,
// with the input delimiter).
#include <cstdio>

#include "base/diagnostics.h"
#include "base/settings.h"
#include "ops/frame.h"

namespace kest {

OpResult flip_ud(const Job& job) {
  std::fputs(settings().quiet ? "Kest: Flip up-down " : "Flipping the rows up-down\n", stderr);
  Frame frame(job, {.rows = true, .comments = false});
  const std::uint32_t cols = frame.cols();
  const std::uint32_t rows = cols == 0 ? 0 : frame.counted_rows();
  // The header counts the written columns: the selected ones are left out.
  Output& out = frame.open_output(Shape{count_unselected(frame.flags(), cols), rows});
  if (rows != 0) {
    Matrix<double> table = frame.read_table(false);
    for (std::uint32_t r = rows; r-- > 0;) out.write(table[r], cols, frame.flags());
  }
  return frame.finish(rows);
}

}  // namespace kest
