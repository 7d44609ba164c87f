// Add a constant (-p, --add=c) to the selected columns.
#include <cstdio>

#include "base/settings.h"
#include "ops/frame.h"

namespace kest {

OpResult add_col(const Job& job) {
  const double term = job.params->add_term;
  if (settings().quiet) {
    std::fprintf(stderr, "Kest: Add with %g ", term);
  } else {
    std::fprintf(stderr, "Adds %g to selected columns.\n", term);
  }
  Frame frame(job);
  Output& out = frame.open_output(frame.shape());
  const std::uint8_t* flags = frame.flags();
  std::uint32_t rows = 0;
  for (std::span<double> row : frame.rows()) {
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (flags[c] != 0) row[c] += term;
    }
    out.write(row);
    rows += rows < UINT32_MAX;  // counts saturate
  }
  return frame.finish(rows);
}

}  // namespace kest
