// Up-down flip (--flip-ud): writes the data rows last row first, leaving out the
// selected columns.
//
// The whole table is held in one block, one table row per input row. Rows are
// parsed as every operation parses them (after the --skip-columns characters,
// with the input delimiter).
#include <cstdio>

#include "base/diagnostics.h"
#include "ops/frame.h"

namespace kest {

namespace {

OpResult run(const Job& job) {
  announce(job);
  Frame frame(job, {.rows = true, .comments = false});
  const std::uint32_t cols = frame.cols();
  const std::uint32_t rows = cols == 0 ? 0 : frame.counted_rows();
  // The header counts the written columns: the selected ones are left out.
  Output& out = frame.open_output(Shape{count_unselected(frame.flags(), cols), rows});
  if (rows != 0) {
    Matrix<double> table = frame.read_table(false);
    for (std::uint32_t r = rows; r-- > 0;) out.write(table[r], cols, frame.flags());
  }
  return frame.finish(rows);
}

constexpr OptionSpec kOptions[] = {
    {"flip-ud", 0, OptionArg::kNone, OptionArg::kNone,
     [](const char*, OpChoice& choice) { choice.choose(OpCode::kFlipUpDown); }},
};
constexpr Variant kVariants[] = {
    {OpCode::kFlipUpDown, true, false, "Flipping the rows up-down\n", "Kest: Flip up-down "},
};

}  // namespace

extern const Operation kFlipUd = {"flip-ud", kOptions, kVariants, run, nullptr};

}  // namespace kest
