// Left-right flip (--flip-lr): reverses the order of the values in every row. The
// selection then leaves out positions of the reversed row.
#include <algorithm>
#include <cstdio>

#include "ops/frame.h"

namespace kest {

namespace {

OpResult run(const Job& job) {
  announce(job);
  Frame frame(job);
  const std::uint32_t n = frame.cols();
  // The header counts the written columns: the unflagged positions.
  Output& out = frame.open_output({count_unselected(frame.flags(), n), frame.counted_rows()});
  std::uint32_t rows = 0;
  for (std::span<double> row : frame.rows()) {
    std::reverse(row.begin(), row.end());
    out.write(row, frame.flags());
    rows += rows < UINT32_MAX;  // counts saturate
  }
  return frame.finish(rows);
}

constexpr OptionSpec kOptions[] = {
    {"flip-lr", 0, OptionArg::kNone, OptionArg::kNone,
     [](const char*, OpChoice& choice) { choice.choose(OpCode::kFlipLeftRight); }},
};
constexpr Variant kVariants[] = {
    {OpCode::kFlipLeftRight, true, false, "Flip left-right\n", "Kest: Flip left-right "},
};

}  // namespace

extern const Operation kFlipLr = {"flip-lr", kOptions, kVariants, run, nullptr};

}  // namespace kest
