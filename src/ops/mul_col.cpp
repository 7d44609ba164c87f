// Multiply (-m, --multiply=f) or divide (--divide=d) the selected columns. Division
// multiplies by the reciprocal, computed once; the options refuse a zero divisor.
#include <cstdio>

#include "base/settings.h"
#include "ops/frame.h"

namespace kest {

OpResult mul_col(const Job& job) {
  const bool divide = job.code != OpCode::kMultiply;
  const double parameter = job.params->multiply_factor;
  if (settings().quiet) {
    std::fprintf(stderr, "Kest: %s by %g ", divide ? "Divide" : "Multiply", parameter);
  } else {
    std::fprintf(stderr, "%s selected columns by %g\n", divide ? "Divides" : "Multiplies",
                 parameter);
  }
  const double factor = divide ? 1.0 / parameter : parameter;
  Frame frame(job);
  Output& out = frame.open_output(frame.shape());
  const std::uint8_t* flags = frame.flags();
  std::uint32_t rows = 0;
  for (std::span<double> row : frame.rows()) {
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (flags[c] != 0) row[c] *= factor;
    }
    out.write(row);
    rows += rows < UINT32_MAX;  // counts saturate
  }
  return frame.finish(rows);
}

}  // namespace kest
