// The expression language as --eval runs it: the input, cut at its first two line
// feeds, gives the program, the prolog and the epilog (a part that is missing is
// not given). The program runs over three fixed rows of three values, the
// epilog after them. Every row makes as many columns as the first (the same
// statements run on every row), and no flag outside the new-column slots moves.
#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/settings.h"
#include "expr/row_eval.h"
#include "expr/variables.h"
#include "fuzz_support.h"

namespace {

constexpr std::uint32_t kColumns = 3;
constexpr double kRows[][kColumns] = {{1.5, -2, 0}, {1e300, 3, -0.25}, {7, 8, 9}};

// The text of a command-line argument: it ends at its first NUL.
std::string argument(std::string_view text) {
  return std::string(text.substr(0, text.find('\0')));
}

void check_flags(const std::vector<std::uint8_t>& flags) {
  KEST_FUZZ_CHECK(
      std::all_of(flags.begin(), flags.begin() + kColumns, [](auto f) { return f == 0; }));
  KEST_FUZZ_CHECK(flags[kColumns + kest::kNewColumns] == 0 &&
                  flags[kColumns + kest::kNewColumns + 1] == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kest::reset_settings();
  kest::reset_variables();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::size_t first = text.find('\n');
  const std::size_t second = first == text.npos ? text.npos : text.find('\n', first + 1);
  const std::string program = argument(text.substr(0, first));
  std::optional<std::string> prolog, epilog;
  if (first != text.npos) prolog = argument(text.substr(first + 1, second - first - 1));
  if (second != text.npos) epilog = argument(text.substr(second + 1));

  kest::fuzz::run_case([&] {
    kest::RowEvaluator evaluator(program);
    evaluator.begin(kColumns, prolog);
    std::vector<double> row(kColumns + kest::kNewColumns);
    std::vector<std::uint8_t> flags(row.size() + 2, 0);
    std::optional<std::uint32_t> first_total;
    std::uint32_t line = 0;
    for (const auto& values : kRows) {
      std::copy(values, values + kColumns, row.begin());
      const std::uint32_t total = evaluator.run_row(row.data(), ++line, flags.data());
      KEST_FUZZ_CHECK(total >= kColumns && total <= row.size());
      if (!first_total) first_total = total;
      KEST_FUZZ_CHECK(total == *first_total);
      check_flags(flags);
    }
    if (epilog) {
      const std::uint32_t total = evaluator.run_epilog(*epilog, row.data(), flags.data());
      KEST_FUZZ_CHECK(total >= kColumns && total <= row.size());
      check_flags(flags);
    }
  });
  kest::reset_variables();
  return 0;
}
