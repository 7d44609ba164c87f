// Number the rows (-y, --enumerate[=c]): each row is written after its number (1
// for the first data row). The selection strings hide output columns: index 1
// the number, index j + 1 input column j, so the last input column always stays.
// There is no selection file.
#include <cstdio>
#include <vector>

#include "base/settings.h"
#include "ops/frame.h"

namespace kest {

namespace {

OpResult run(const Job& job) {
  const Settings& s = settings();
  announce(job);
  Frame frame(job, {.flags = false});
  const std::uint32_t n = frame.cols();
  const SelectionFlags flags = make_selection_flags(SelectionSource::none(), n, s.inverse);
  const std::size_t width = static_cast<std::size_t>(n) + 1;
  // The header counts the written columns; the flag after the n input flags is
  // always 0, so the last column is always written.
  const std::uint32_t kept = count_unselected(flags.data(), n);
  const std::uint32_t written = kept < UINT32_MAX ? kept + 1 : UINT32_MAX;
  Output& out = frame.open_output({written, frame.counted_rows()});
  std::vector<double> values = vector_or_die<double>(__FILE_NAME__, __LINE__, width);
  std::uint64_t rows = 0;
  while (n != 0 && frame.read_row(values.data() + 1, n) != nullptr) {
    ++rows;
    values[0] = static_cast<double>(rows);
    out.write(values.data(), width, flags.data());
  }
  return frame.finish(rows < UINT32_MAX ? static_cast<std::uint32_t>(rows) : UINT32_MAX);
}

constexpr OptionSpec kOptions[] = {
    {"enumerate", 'y', OptionArg::kOptional, OptionArg::kOptional,
     [](const char* arg, OpChoice& choice) {
       choice.choose(OpCode::kEnumerate);
       if (arg != nullptr && (arg[0] == 'c' || arg[0] == 'C')) {
         mutable_settings().add_line_count = true;
       }
     }},
};
constexpr Variant kVariants[] = {
    {OpCode::kEnumerate, true, false, "Enumerates.\n", "Kest: Enumerate "},
};

}  // namespace

extern const Operation kEnumerate = {"enumerate", kOptions, kVariants, run, nullptr};

}  // namespace kest
