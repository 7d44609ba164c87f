// Add a constant (-p, --add=c) to the selected columns.
#include "ops/frame.h"
#include "ops/option_scan.h"

namespace kest {

namespace {

double g_term = 0.0;

OpResult run(const Job& job) {
  const double term = g_term;
  announce(job, term);
  Frame frame(job);
  Output& out = frame.open_output(frame.shape());
  return frame.finish(frame.write_changed(out, [term](double v) { return v + term; }));
}

constexpr OptionSpec kOptions[] = {
    {"add", 'p', OptionArg::kRequired, OptionArg::kRequired,
     [](const char* arg, OpChoice& choice) {
       g_term = get_double(arg);
       choice.choose(OpCode::kAdd);
     }},
};
constexpr Variant kVariants[] = {
    {OpCode::kAdd, true, true, "Adds %g to selected columns.\n", "Kest: Add with %g "},
};

}  // namespace

extern const Operation kAddCol = {"add_col", kOptions, kVariants, run, [] { g_term = 0.0; }};

}  // namespace kest
