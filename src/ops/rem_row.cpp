// Row removal and keeping (-r, --rows, --remove-rows, --keep-rows): the selection
// names data rows by their position among the data lines.
#include <cstdio>

#include "base/settings.h"
#include "ops/frame.h"

namespace kest {

namespace {

// Above this many named rows the quiet summary gives no list.
constexpr std::uint32_t kQuietListLimit = 50;

OpResult run(const Job& job) {
  const Settings& s = settings();
  Frame frame(job, {.rows = true, .flags = false});
  const std::uint32_t counted = frame.counted_rows();

  announce_names(job);
  announce(job, s.inverse ? "Keeps" : "Removes");
  std::fflush(stderr);

  std::optional<std::string> file;
  if (job.selection.kind == SelectionSource::Kind::kFile) file = job.selection.file;
  // A flag of 1 removes the row. The rows the user named are those whose flag
  // differs from the inverse setting.
  RowSelection removed(file, s.selection_strings, s.inverse, counted);
  const std::uint32_t kept = removed.count(false);
  const std::uint32_t named = s.inverse ? kept : counted - kept;
  if (!s.quiet) {
    removed.print(stderr, s.inverse);
    std::fputs("\n", stderr);
  } else if (named <= kQuietListLimit) {
    removed.print(stderr, s.inverse);
  } else {
    std::fputs("a lot of rows", stderr);
  }
  std::fflush(stderr);
  std::fflush(stdout);

  // Rows read beyond the counted ones (after a data line with another number of
  // values) cannot be named by any selection and are written unchanged.
  Output& out = frame.open_output({frame.cols(), kept});
  std::uint64_t index = 0;
  for (std::span<double> row : frame.rows()) {
    if (!removed.flagged(index)) out.write(row);
    ++index;
  }
  return frame.finish(index < UINT32_MAX ? static_cast<std::uint32_t>(index) : UINT32_MAX);
}

// Keeping is removal with the selection inverted.
void keep(const char* arg, OpChoice& choice) {
  choice.choose(OpCode::kRemoveRows);
  mutable_settings().inverse = true;
  if (arg != nullptr) add_selection_string(mutable_settings().selection_strings, arg);
}

constexpr OptionSpec kOptions[] = {
    {"rows|remove-rows", 'r', OptionArg::kNone, OptionArg::kNone,
     [](const char*, OpChoice& choice) { choice.choose(OpCode::kRemoveRows); }},
    {"keep-rows", 0, OptionArg::kOptional, OptionArg::kNone, keep},
};
constexpr Variant kVariants[] = {
    {OpCode::kRemoveRows, true, true, "%s the following rows:\n", "Kest: %s rows "},
};

}  // namespace

extern const Operation kRemRow = {"rem_row", kOptions, kVariants, run, nullptr};

}  // namespace kest
