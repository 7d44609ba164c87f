// Up-down flip (--flip-ud): writes the data rows last row first, leaving out the
// selected columns.
//
// The whole table is held in one block, one table row per input row. Values are
// parsed whole from the first character of each data line (no --skip-columns
// offset, no input delimiter).
#include <cstdio>

#include "base/diagnostics.h"
#include "base/settings.h"
#include "io/numscan.h"
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
    Matrix<double> table = matrix_alloc(rows, cols);
    for (std::uint32_t r = 0; r < rows; ++r) {
      const char* p = frame.read_line();
      if (p == nullptr) KEST_FATAL("Can't read all lines\n");
      double* row = table[r];
      std::uint32_t c = 0;
      for (; c < cols; ++c) {
        const std::size_t used = scan_double(p, &row[c]);
        if (used == 0) break;
        p += used;
      }
      for (; c < cols; ++c) row[c] = 0.0;
    }
    for (std::uint32_t r = rows; r-- > 0;) out.write(table[r], cols, frame.flags());
  }
  return frame.finish(rows);
}

}  // namespace kest
