#include "io/nop.h"

#include <cstdio>

#include "base/settings.h"

namespace kest {

OpResult nop(const std::string& in, const std::optional<std::string>& out,
             const SelectionSource& selection) {
  std::fputs(settings().quiet ? "Kest: nop " : "Do nothing\n", stderr);
  FilePair pair{in, out, nullptr, nullptr};
  SelectionFlags flags;
  // Every column is written, whatever adjustments other options asked for.
  std::uint32_t n = open_pair(pair, selection, &flags, [](std::uint32_t cols) { return cols; });
  OpResult result{n, 0};
  if (n != 0) {
    std::vector<double> values = vector_or_die<double>(__FILE_NAME__, __LINE__, n);
    while (read_row(*pair.in, values.data(), pair.out.get(), n) != nullptr) {
      ++result.rows;
      if (pair.out) write_row(*pair.out, values.data(), n);
    }
  }
  close_pair(pair);
  return result;
}

}  // namespace kest
