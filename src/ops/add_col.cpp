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
  return frame.finish(frame.write_changed(out, [term](double v) { return v + term; }));
}

}  // namespace kest
