// Transpose (-t, --transpose): every input column becomes an output row.
//
// The whole table is held in one block with one table row per input column, so
// each written row is contiguous. Rows are parsed as every operation parses
// them (after the --skip-columns characters, with the input delimiter).
#include <cstdio>
#include <vector>

#include "base/diagnostics.h"
#include "ops/frame.h"

namespace kest {

namespace {

OpResult run(const Job& job) {
  announce(job);
  Frame frame(job, {.rows = true, .flags = false, .comments = false});
  const std::uint32_t cols = frame.cols();
  const std::uint32_t rows = cols == 0 ? 0 : frame.counted_rows();
  // The written table: one row per input column, one column per input row.
  Output& out = frame.open_output(Shape{rows, rows == 0 ? 0 : cols});
  if (rows != 0) {
    Matrix<double> table = matrix_alloc(cols, rows);
    std::vector<double> row = vector_or_die<double>(__FILE_NAME__, __LINE__, cols);
    for (std::uint32_t r = 0; r < rows; ++r) {
      if (frame.read_row(row.data(), cols) == nullptr) KEST_FATAL("Can't read all lines\n");
      for (std::uint32_t c = 0; c < cols; ++c) table[c][r] = row[c];
    }
    for (std::uint32_t c = 0; c < cols; ++c) out.write(table[c], rows);
  }
  return frame.finish(rows);
}

constexpr OptionSpec kOptions[] = {
    {"transpose", 't', OptionArg::kNone, OptionArg::kNone,
     [](const char*, OpChoice& choice) { choice.choose(OpCode::kTranspose); }},
};
constexpr Variant kVariants[] = {
    {OpCode::kTranspose, true, false, "Transposing\n", "Kest: Transpose "},
};

}  // namespace

extern const Operation kTranspos = {"transpos", kOptions, kVariants, run, nullptr};

}  // namespace kest
