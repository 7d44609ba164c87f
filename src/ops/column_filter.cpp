#include "ops/column_filter.h"

#include <cstdio>

namespace kest {

void announce_filter() {
  std::fputs(settings().quiet ? "Kest: Filter " : "Apply filter to selected columns\n", stderr);
}

void write_table(Output& out, const Matrix<double>& table, std::uint32_t cols) {
  for (std::size_t r = 0; r < table.size(); ++r) out.write(table[r], cols);
  if (!settings().quiet) std::fputs("\n", stderr);
}

}  // namespace kest
