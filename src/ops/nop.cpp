// The nop operation: copies the data rows unchanged into the chosen output style.
#include <cstdio>

#include "base/settings.h"
#include "ops/frame.h"

namespace kest {

OpResult nop(const Job& job) {
  std::fputs(settings().quiet ? "Kest: nop " : "Do nothing\n", stderr);
  Frame frame(job);
  Output& out = frame.open_output(frame.shape());
  auto copy = [](RowText& row, RowSink& sink) { sink.write(row); };
  return frame.finish(frame.each_row(out, RowFunction(copy)));
}

}  // namespace kest
