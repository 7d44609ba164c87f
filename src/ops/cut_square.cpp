// Cut-square (--cut-square=rows with -e columns): keeps a block of rows and
// columns. The row list comes from the --cut-square strings alone and is never
// inverted; the column flags are the usual selection, which --cut-square inverts,
// so by default the named columns are kept.
#include <cstdio>

#include "base/settings.h"
#include "ops/frame.h"

namespace kest {

namespace {

std::forward_list<std::string> g_rows;  ///< the --cut-square strings, newest first

OpResult run(const Job& job) {
  Frame frame(job, {.rows = true});
  const std::uint32_t n = frame.cols();
  const std::uint32_t counted = frame.counted_rows();
  RowSelection kept_rows(std::nullopt, g_rows, false, counted);

  // The announcement lists what is kept: rows flagged 1, columns flagged 0.
  announce(job);
  kept_rows.print(stderr, false);
  std::fputs("cols ", stderr);
  print_runs(stderr, frame.flags(), n, 1);
  std::fputs("\n", stderr);
  announce_names(job);
  std::fflush(stderr);

  const std::uint32_t written_rows = n == 0 ? 0 : kept_rows.count(true);
  Output& out = frame.open_output({count_unselected(frame.flags(), n), written_rows});
  std::uint32_t rows = 0;
  if (counted != 0) {
    // Rows beyond the counted ones are not read.
    for (std::span<double> row : frame.rows()) {
      if (kept_rows.flagged(rows)) out.write(row, frame.flags());
      if (++rows == counted) break;
    }
  }
  return frame.finish(rows);
}

constexpr OptionSpec kOptions[] = {
    {"cut-square", 0, OptionArg::kRequired, OptionArg::kNone,
     [](const char* arg, OpChoice& choice) {
       choice.choose(OpCode::kCutSquare);
       add_selection_string(g_rows, arg);
       mutable_settings().inverse = !settings().inverse;
     }},
};
constexpr Variant kVariants[] = {
    {OpCode::kCutSquare, true, true, "Keep rows ", "Kest: Keep rows "},
};

}  // namespace

extern const Operation kCutSquare = {"cut_square", kOptions, kVariants, run,
                                     [] { g_rows.clear(); }};

}  // namespace kest
