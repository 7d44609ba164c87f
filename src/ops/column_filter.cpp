#include "ops/column_filter.h"

#include <cstdio>

namespace kest {

std::int32_t& filter_taps() {
  static std::int32_t taps = 5;
  return taps;
}

void write_table(Output& out, const Matrix<double>& table, std::uint32_t cols) {
  for (std::size_t r = 0; r < table.size(); ++r) out.write(table[r], cols);
  if (!settings().quiet) std::fputs("\n", stderr);
}

}  // namespace kest
