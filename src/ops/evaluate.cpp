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
#include "expr/builtins.h"
#include "expr/row_eval.h"
#include "ops/frame.h"

namespace kest {

namespace {

// The program of --eval, and the texts of --eval-begin and --eval-end.
std::string g_program;
std::optional<std::string> g_prolog;
std::optional<std::string> g_epilog;

std::uint32_t saturating_add(std::uint32_t a, std::uint32_t b) {
  return a > std::numeric_limits<std::uint32_t>::max() - b
             ? std::numeric_limits<std::uint32_t>::max()
             : a + b;
}

OpResult run(const Job& job) {
  // Translating writes the deprecation notice and the debug lines first.
  RowEvaluator evaluator(g_program);
  announce(job, (settings().quiet ? g_program : evaluator.program_text()).c_str());

  Frame frame(job);
  const std::uint32_t n = frame.cols();
  if (n == 0) return frame.finish(0);

  std::optional<std::string_view> prolog;
  if (g_prolog) prolog = *g_prolog;
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
      const std::uint32_t extra = g_epilog ? 1 : 0;
      out = &frame.open_output(Shape{total - hidden, saturating_add(frame.counted_rows(), extra)});
      // The same statements fill the same slots on every row, so the rows need
      // not be written beyond the first row's last new column.
      while (width > n && flags[width - 1] != 0) --width;
    }
    out->write(row.data(), width, flags);
  }

  if (out != nullptr && g_epilog) {
    rows = saturating_add(rows, 1);
    evaluator.run_epilog(*g_epilog, row.data(), flags);
    out->write(row.data(), row.size(), flags);
  }
  return frame.finish(rows);
}

void listing(void (*print)(std::FILE*)) {
  print(stdout);
  std::fflush(stdout);
  exit_process(0);
}

constexpr OptionArg R = OptionArg::kRequired;
constexpr OptionArg N = OptionArg::kNone;

constexpr OptionSpec kOptions[] = {
    {"eval", 0, R, N,
     [](const char* arg, OpChoice& choice) {
       g_program = arg;
       choice.choose(OpCode::kEval);
     }},
    {"eval-begin|eval_begin|eval-prolog|eval_prolog", 0, R, N,
     [](const char* arg, OpChoice&) { g_prolog = arg; }},
    {"eval-end|eval_end|eval-epilog|eval_epilog", 0, R, N,
     [](const char* arg, OpChoice&) { g_epilog = arg; }},
    // The language's listings on standard output, then the end of the run.
    {"eval-examples|eval_examples", 0, N, N,
     [](const char*, OpChoice&) { listing(print_examples); }},
    {"eval-operators|eval_operators", 0, N, N,
     [](const char*, OpChoice&) { listing(print_operators); }},
    {"eval-constants|eval_constants", 0, N, N,
     [](const char*, OpChoice&) { listing(print_constants); }},
    {"eval-functions|eval_functions", 0, N, N,
     [](const char*, OpChoice&) { listing(print_functions); }},
};
constexpr Variant kVariants[] = {
    {OpCode::kEval, true, false, "Apply this expression (%s) to all rows\n", "Kest: Apply %s "},
};

}  // namespace

extern const Operation kEvaluate = {"evaluate", kOptions, kVariants, run, [] {
                                      g_program.clear();
                                      g_prolog.reset();
                                      g_epilog.reset();
                                    }};

}  // namespace kest
