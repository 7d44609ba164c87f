// Left-right flip (--flip-lr): reverses the order of the values in every row. The
// selection then leaves out positions of the reversed row.
#include <algorithm>
#include <cstdio>

#include "base/settings.h"
#include "ops/frame.h"

namespace kest {

OpResult flip_lr(const Job& job) {
  std::fputs(settings().quiet ? "Kest: Flip left-right " : "Flip left-right\n", stderr);
  Frame frame(job);
  const std::uint32_t n = frame.cols();
  // The header counts the written columns: the unflagged positions.
  Output& out = frame.open_output({count_unselected(frame.flags(), n), frame.counted_rows()});
  std::uint32_t rows = 0;
  for (std::span<double> row : frame.rows()) {
    std::reverse(row.begin(), row.end());
    out.write(row, frame.flags());
    rows += rows < UINT32_MAX;  // counts saturate
  }
  return frame.finish(rows);
}

}  // namespace kest
