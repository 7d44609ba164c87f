// Transpose (-t, --transpose): every input column becomes an output row.
//
// The whole table is held in one block with one table row per input column, so
// each written row is contiguous. Values are parsed whole from the first
// character of each data line (no --skip-columns offset, no input delimiter).
#include <cstdio>

#include "base/diagnostics.h"
#include "base/settings.h"
#include "io/numscan.h"
#include "ops/frame.h"

namespace kest {

OpResult transpos(const Job& job) {
  std::fputs(settings().quiet ? "Kest: Transpose " : "Transposing\n", stderr);
  Frame frame(job, {.rows = true, .flags = false, .comments = false});
  const std::uint32_t cols = frame.cols();
  const std::uint32_t rows = cols == 0 ? 0 : frame.counted_rows();
  // The written table: one row per input column, one column per input row.
  Output& out = frame.open_output(Shape{rows, rows == 0 ? 0 : cols});
  if (rows != 0) {
    Matrix<double> table = matrix_alloc(cols, rows);
    for (std::uint32_t r = 0; r < rows; ++r) {
      const char* p = frame.read_line();
      if (p == nullptr) KEST_FATAL("Can't read all lines\n");
      std::uint32_t c = 0;
      for (double value; c < cols; ++c) {
        const std::size_t used = scan_double(p, &value);
        if (used == 0) break;
        p += used;
        table[c][r] = value;
      }
      for (; c < cols; ++c) table[c][r] = 0.0;
    }
    for (std::uint32_t c = 0; c < cols; ++c) out.write(table[c], rows);
  }
  return frame.finish(rows);
}

}  // namespace kest
