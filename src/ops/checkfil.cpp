// The file check (--check, --get-rows, --get-cols): reports every data line whose
// number of values differs from the first data line's, and hands back the column
// count and the number of data lines, which the driver prints.
#include "ops/frame.h"

namespace kest {

namespace {

OpResult run(const Job& job) {
  Frame frame(job, {.flags = false, .comments = false, .columns = false});
  const std::uint32_t rows = check_rows(frame.input(), frame.cols());
  return frame.finish(rows);
}

constexpr OptionSpec kOptions[] = {
    {"check", 'c', OptionArg::kNone, OptionArg::kNone,
     [](const char*, OpChoice& choice) { choice.choose(OpCode::kCheck); }},
    {"get-rows", 0, OptionArg::kNone, OptionArg::kNone,
     [](const char*, OpChoice& choice) { choice.choose(OpCode::kGetRows); }},
    {"get-cols", 0, OptionArg::kNone, OptionArg::kNone,
     [](const char*, OpChoice& choice) { choice.choose(OpCode::kGetCols); }},
};
constexpr Variant kVariants[] = {
    {OpCode::kCheck, false, false, "", "", Report::kCheckTable},
    {OpCode::kGetRows, false, false, "", "", Report::kRowCount},
    {OpCode::kGetCols, false, false, "", "", Report::kColumnCount},
};

}  // namespace

extern const Operation kCheckfil = {"checkfil", kOptions, kVariants, run, nullptr};

}  // namespace kest
