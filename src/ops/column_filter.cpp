#include "ops/column_filter.h"

#include <cstdio>

namespace kest {

void announce_filter() {
  std::fputs(settings().quiet ? "Kest: Filter " : "Apply filter to selected columns\n", stderr);
}

std::uint64_t read_table(Frame& frame, Matrix<double>& table, bool to_end) {
  const std::uint32_t cols = frame.cols();
  std::uint64_t read = 0;
  while (read < table.size()) {
    if (frame.read_row(table[read], cols) == nullptr) return read;
    ++read;
  }
  if (!to_end) return read;
  std::vector<double> spare = vector_or_die<double>(__FILE_NAME__, __LINE__, cols);
  while (frame.read_row(spare.data(), cols) != nullptr) {
    if (read != UINT64_MAX) ++read;
  }
  return read;
}

void write_table(Output& out, const Matrix<double>& table, std::uint32_t cols) {
  for (std::size_t r = 0; r < table.size(); ++r) out.write(table[r], cols);
  if (!settings().quiet) std::fputs("\n", stderr);
}

}  // namespace kest
