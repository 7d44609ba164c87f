// The nop operation: copies the data rows unchanged into the chosen output style.
#include <cstdio>

#include "ops/frame.h"

namespace kest {

namespace {

OpResult run(const Job& job) {
  announce(job);
  Frame frame(job);
  Output& out = frame.open_output(frame.shape());
  auto copy = [](RowText& row, RowSink& sink) { sink.write(row); };
  return frame.finish(frame.each_row(out, RowFunction(copy)));
}

constexpr OptionSpec kOptions[] = {
    {"nop|noop", 0, OptionArg::kNone, OptionArg::kNone,
     [](const char*, OpChoice& choice) { choice.choose(OpCode::kNop); }},
};
constexpr Variant kVariants[] = {
    {OpCode::kNop, true, false, "Do nothing\n", "Kest: nop "},
};

}  // namespace

extern const Operation kNop = {"nop", kOptions, kVariants, run, nullptr};

}  // namespace kest
