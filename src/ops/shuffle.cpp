// Shuffle (--shuffle): permutes each selected column at random, independently of
// the others; the unselected columns keep their order.
//
// The run's random sequence starts the same in every run, so the shuffle first
// discards a number of draws taken from the clock (1 to 256). Each selected
// column then discards one draw and gives every row a single-precision key from
// a fresh draw; the column's values are reordered by their keys.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "base/diagnostics.h"
#include "base/random.h"
#include "base/settings.h"
#include "ops/frame.h"

namespace kest {

namespace {

struct Draw {
  float key;
  std::uint32_t row;  // where the value comes from
};

// Reorders column `c` so that row r receives the value of row draws[r].row,
// following the permutation's cycles in place; `draws` is used up.
void gather_column(Matrix<double>& table, std::uint32_t c, std::vector<Draw>& draws) {
  const std::uint32_t rows = static_cast<std::uint32_t>(draws.size());
  for (std::uint32_t start = 0; start < rows; ++start) {
    if (draws[start].row == start) continue;
    const double first = table[start][c];
    std::uint32_t at = start;
    for (;;) {
      const std::uint32_t from = draws[at].row;
      draws[at].row = at;  // done
      if (from == start) {
        table[at][c] = first;
        break;
      }
      table[at][c] = table[from][c];
      at = from;
    }
  }
}

OpResult run(const Job& job) {
  const Settings& s = settings();
  announce(job);
  Frame frame(job, {.rows = true});
  const std::uint32_t cols = frame.cols();
  const std::uint32_t rows = frame.counted_rows();
  if (!s.quiet) std::fprintf(stderr, "Found %lu rows.\n", static_cast<unsigned long>(rows));
  Output& out = frame.open_output(Shape{cols, rows});
  if (cols != 0 && rows != 0) {
    Matrix<double> table = frame.read_table(true);

    const auto clock = static_cast<std::uint64_t>(std::time(nullptr));
    for (std::uint32_t i = 0; i <= (clock & 0xFF); ++i) random_draw();

    std::vector<Draw> draws;
    for (std::uint32_t c = 0; c < cols; ++c) {
      if (!frame.selected(c)) continue;
      if (draws.empty()) draws = vector_or_die<Draw>(__FILE_NAME__, __LINE__, rows);
      random_draw();
      for (std::uint32_t r = 0; r < rows; ++r) draws[r] = {random_draw(), r};
      // Equal keys keep their rows' order, so the result depends on the draws alone.
      std::sort(draws.begin(), draws.end(), [](const Draw& a, const Draw& b) {
        return a.key < b.key || (a.key == b.key && a.row < b.row);
      });
      gather_column(table, c, draws);
    }
    for (std::uint32_t r = 0; r < rows; ++r) out.write(table[r], cols);
  }
  return frame.finish(rows);
}

constexpr OptionSpec kOptions[] = {
    {"shuffle", 0, OptionArg::kNone, OptionArg::kNone,
     [](const char*, OpChoice& choice) { choice.choose(OpCode::kShuffle); }},
};
constexpr Variant kVariants[] = {
    {OpCode::kShuffle, true, true, "Shuffling\n", "Kest: Shuffling "},
};

}  // namespace

extern const Operation kShuffle = {"shuffle", kOptions, kVariants, run, nullptr};

}  // namespace kest
