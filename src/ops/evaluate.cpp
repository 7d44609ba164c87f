// The row evaluation (--eval, with --eval-prolog and --eval-epilog): runs a
// program of the expression language on every data row. The program reads the
// row as c[i] (and the previous row as p[i], the row number as _line), replaces
// output columns by assigning r[i] and adds up to 100 new columns by assigning
// n[j]; g[k] carry values from row to row. The prolog runs once before the first
// row, the epilog once after the last, writing one extra row.
//
// The output is opened when the first row has been evaluated, since only then
// is its number of columns known: an error in the prolog or in the first row
// leaves no output file, and an input without data rows creates none. Selected
// columns are evaluated but not written.
#include <algorithm>
#include <cstdio>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

#include "base/diagnostics.h"
#include "base/settings.h"
#include "expr/row_eval.h"
#include "ops/frame.h"

namespace kest {

namespace {

std::uint32_t saturating_add(std::uint32_t a, std::uint32_t b) {
  return a > std::numeric_limits<std::uint32_t>::max() - b
             ? std::numeric_limits<std::uint32_t>::max()
             : a + b;
}

}  // namespace

OpResult evaluate(const Job& job) {
  const OpParams& params = *job.params;
  if (!params.function) KEST_FATAL("no function");

  // Translating writes the deprecation notice and the debug lines first.
  RowEvaluator evaluator(*params.function);
  if (settings().quiet) {
    std::fprintf(stderr, "Kest: Apply %s ", params.function->c_str());
  } else {
    std::fprintf(stderr, "Apply this expression (%s) to all rows\n",
                 evaluator.program_text().c_str());
  }

  Frame frame(job);
  const std::uint32_t n = frame.cols();
  if (n == 0) return frame.finish(0);

  std::optional<std::string_view> prolog;
  if (params.prolog) prolog = *params.prolog;
  evaluator.begin(n, prolog);

  // The n input columns, then the slots of the new columns n[0]..n[99]; the
  // frame's flags cover them all (n + 102 bytes).
  std::vector<double> row =
      vector_or_die<double>(__FILE_NAME__, __LINE__, static_cast<std::size_t>(n) + kNewColumns);
  std::uint8_t* flags = frame.selection_flags().data();
  std::size_t width = row.size();
  const auto hidden = static_cast<std::uint32_t>(
      std::count_if(flags, flags + n, [](std::uint8_t f) { return f != 0; }));

  Output* out = nullptr;
  std::uint32_t rows = 0;
  while (frame.read_row(row.data(), n) != nullptr) {
    rows = saturating_add(rows, 1);
    const std::uint32_t total = evaluator.run_row(row.data(), rows, flags);
    if (out == nullptr) {
      // Every row writes as many columns as the first: every statement runs on
      // every row. The header counts the written columns and, with an epilog,
      // its extra row.
      const std::uint32_t extra = params.epilog ? 1 : 0;
      out = &frame.open_output(Shape{total - hidden, saturating_add(frame.counted_rows(), extra)});
      // The same statements fill the same slots on every row, so the rows need
      // not be written beyond the first row's last new column.
      while (width > n && flags[width - 1] != 0) --width;
    }
    out->write(row.data(), width, flags);
  }

  if (out != nullptr && params.epilog) {
    rows = saturating_add(rows, 1);
    evaluator.run_epilog(*params.epilog, row.data(), flags);
    out->write(row.data(), row.size(), flags);
  }
  return frame.finish(rows);
}

}  // namespace kest
