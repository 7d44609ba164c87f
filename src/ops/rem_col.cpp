// Column removal and keeping (-k, --columns, --remove-columns, --keep-columns, and
// -z alone): writes every row without its flagged columns. Keeping is removal with
// the selection inverted.
#include <cstdio>

#include "base/settings.h"
#include "ops/frame.h"

namespace kest {

OpResult rem_col(const Job& job) {
  const Settings& s = settings();
  const char* verb = s.inverse ? "Keep" : "Remove";
  if (s.quiet) {
    std::fprintf(stderr, "Kest: %s columns ", verb);
  } else {
    std::fprintf(stderr, "%s selected columns\n", verb);
  }
  Frame frame(job);
  const std::uint32_t n = frame.cols();
  // The header counts the written columns: the unflagged ones.
  Output& out = frame.open_output({count_unselected(frame.flags(), n), frame.counted_rows()});
  if (!s.quiet) std::fprintf(stderr, "%s -> %s\n", job.in.c_str(), job.out.value_or("").c_str());
  std::fflush(stderr);
  const std::uint8_t* flags = frame.flags();
  auto keep = [flags](RowText& row, RowSink& sink) { sink.write(row, flags); };
  return frame.finish(frame.each_row(out, RowFunction(keep)));
}

}  // namespace kest
