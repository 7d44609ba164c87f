// Multiply (-m, --multiply=f) or divide (--divide=d) the selected columns. Division
// multiplies by the reciprocal, computed once; the options refuse a zero divisor.
#include <cstdio>

#include "base/diagnostics.h"
#include "ops/frame.h"
#include "ops/option_scan.h"

namespace kest {

namespace {

double g_factor = 1.0;  ///< the factor of --multiply or the divisor of --divide

OpResult run(const Job& job) {
  const bool divide = variant_kind(job) == 1;
  const double parameter = g_factor;
  announce(job, parameter);
  const double factor = divide ? 1.0 / parameter : parameter;
  Frame frame(job);
  Output& out = frame.open_output(frame.shape());
  return frame.finish(frame.write_changed(out, [factor](double v) { return v * factor; }));
}

constexpr OptionSpec kOptions[] = {
    {"multiply", 'm', OptionArg::kRequired, OptionArg::kRequired,
     [](const char* arg, OpChoice& choice) {
       g_factor = get_double(arg);
       choice.choose(OpCode::kMultiply);
     }},
    {"divide", 0, OptionArg::kRequired, OptionArg::kNone,
     [](const char* arg, OpChoice& choice) {
       const double divisor = get_double(arg);
       if (divisor == 0.0) KEST_FATAL("Can't divide by ZERO\n");
       g_factor = divisor;
       choice.choose(OpCode::kDivide);
     }},
};
constexpr Variant kVariants[] = {
    {OpCode::kMultiply, true, true, "Multiplies selected columns by %g\n", "Kest: Multiply by %g ",
     Report::kNothing, 0},
    {OpCode::kDivide, true, true, "Divides selected columns by %g\n", "Kest: Divide by %g ",
     Report::kNothing, 1},
};

}  // namespace

extern const Operation kMulCol = {"mul_col", kOptions, kVariants, run, [] { g_factor = 1.0; }};

}  // namespace kest
