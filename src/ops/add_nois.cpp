// Add uniform noise (-n, --noise=A) to the selected columns: each selected value,
// row by row and column by column, gets one draw u of the run's random source and
// becomes v + ((u - 0.5) * A) * 2, a value within A of v. The source starts from
// the same seed in every run, so a noise run is reproducible.
#include <cstdio>

#include "base/random.h"
#include "base/settings.h"
#include "ops/frame.h"

namespace kest {

OpResult add_nois(const Job& job) {
  const Settings& s = settings();
  const double amplitude = job.params->noise_level;
  std::fputs(s.quiet ? "Kest: Add noise to " : "Adds noise to the selected columns\n", stderr);
  Frame frame(job);
  Output& out = frame.open_output(frame.shape());
  std::fflush(stdout);
  if (!s.quiet) std::fflush(stderr);
  return frame.finish(frame.write_changed(out, [amplitude](double v) { return v + ((random_draw() - 0.5) * amplitude) * 2; },
                                          false));  // the draws follow the rows
}

}  // namespace kest
