// Add uniform noise (-n, --noise=A) to the selected columns: each selected value,
// row by row and column by column, gets one draw u of the run's random source and
// becomes v + ((u - 0.5) * A) * 2, a value within A of v. The source starts from
// the same seed in every run, so a noise run is reproducible.
#include <cstdio>

#include "base/random.h"
#include "ops/frame.h"
#include "ops/option_scan.h"

namespace kest {

namespace {

constexpr double kDefaultLevel = 0.001;
double g_level = kDefaultLevel;

OpResult run(const Job& job) {
  const double amplitude = g_level;
  announce(job);
  Frame frame(job);
  Output& out = frame.open_output(frame.shape());
  std::fflush(stdout);
  if (!settings().quiet) std::fflush(stderr);
  const auto noise = [amplitude](double v) { return v + ((random_draw() - 0.5) * amplitude) * 2; };
  return frame.finish(frame.write_changed(out, noise, false));  // the draws follow the rows
}

constexpr OptionSpec kOptions[] = {
    {"noise", 'n', OptionArg::kRequired, OptionArg::kRequired,
     [](const char* arg, OpChoice& choice) {
       g_level = get_double(arg);
       choice.choose(OpCode::kNoise);
     }},
};
constexpr Variant kVariants[] = {
    {OpCode::kNoise, true, true, "Adds noise to the selected columns\n", "Kest: Add noise to "},
};

}  // namespace

extern const Operation kAddNois = {"add_nois", kOptions, kVariants, run,
                                   [] { g_level = kDefaultLevel; }};

}  // namespace kest
