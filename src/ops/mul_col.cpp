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
  return frame.finish(frame.write_changed(out, [factor](double v) { return v * factor; }));
}

}  // namespace kest
