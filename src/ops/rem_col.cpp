// Column removal and keeping (-k, --columns, --remove-columns, --keep-columns, and
// -z alone): writes every row without its flagged columns. Keeping is removal with
// the selection inverted.
#include <cstdio>

#include "base/settings.h"
#include "ops/frame.h"

namespace kest {

namespace {

OpResult run(const Job& job) {
  const Settings& s = settings();
  announce(job, s.inverse ? "Keep" : "Remove");
  Frame frame(job);
  const std::uint32_t n = frame.cols();
  // The header counts the written columns: the unflagged ones.
  Output& out = frame.open_output({count_unselected(frame.flags(), n), frame.counted_rows()});
  announce_names(job);
  std::fflush(stderr);
  const std::uint8_t* flags = frame.flags();
  auto keep = [flags](RowText& row, RowSink& sink) { sink.write(row, flags); };
  return frame.finish(frame.each_row(out, RowFunction(keep)));
}

// Keeping is removal with the selection inverted.
void keep(const char* arg, OpChoice& choice) {
  choice.choose(OpCode::kRemoveColumns);
  mutable_settings().inverse = true;
  if (arg != nullptr) add_selection_string(mutable_settings().selection_strings, arg);
}

constexpr OptionSpec kOptions[] = {
    {"columns|remove-columns", 'k', OptionArg::kNone, OptionArg::kNone,
     [](const char*, OpChoice& choice) { choice.choose(OpCode::kRemoveColumns); }},
    {"keep-columns", 0, OptionArg::kOptional, OptionArg::kNone, keep},
};
// -z alone chooses kDelimiter: the removal with nothing selected.
constexpr Variant kVariants[] = {
    {OpCode::kRemoveColumns, true, true, "%s selected columns\n", "Kest: %s columns "},
    {OpCode::kDelimiter, true, false, "%s selected columns\n", "Kest: %s columns "},
};

}  // namespace

extern const Operation kRemCol = {"rem_col", kOptions, kVariants, run, nullptr};

}  // namespace kest
