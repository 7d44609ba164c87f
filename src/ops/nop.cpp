// The nop operation: copies the data rows unchanged into the chosen output style.
#include <cstdio>

#include "base/settings.h"
#include "ops/frame.h"

namespace kest {

OpResult nop(const Job& job) {
  std::fputs(settings().quiet ? "Kest: nop " : "Do nothing\n", stderr);
  Frame frame(job);
  Output& out = frame.open_output(frame.shape());
  std::uint32_t rows = 0;
  for (std::span<double> row : frame.rows()) {
    out.write(row);
    ++rows;
  }
  return frame.finish(rows);
}

}  // namespace kest
