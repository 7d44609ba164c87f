// Micro-benchmark of row evaluation: ns per row spent in the expression language
// (inputs set up, program run, results collected), without reading or writing.
//
//   cmake --build build --target eval_bench && build/eval_bench [rows] [columns] [program]
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "expr/row_eval.h"

int main(int argc, char** argv) {
  const std::uint32_t rows = argc > 1 ? static_cast<std::uint32_t>(std::atol(argv[1])) : 2000000;
  const std::uint32_t n = argc > 2 ? static_cast<std::uint32_t>(std::atol(argv[2])) : 10;
  const char* program = argc > 3 ? argv[3] : "n[1]=c[1]+c[2]";
  if (n == 0) return 1;

  kest::RowEvaluator evaluator(program);
  evaluator.begin(n, std::nullopt);
  std::vector<double> row(n + kest::kNewColumns);
  std::vector<std::uint8_t> flags(n + kest::kNewColumns + 2);
  double sink = 0;
  auto start = std::chrono::steady_clock::now();
  for (std::uint32_t line = 1; line <= rows; ++line) {
    for (std::uint32_t i = 0; i < n; ++i) row[i] = line + i;
    sink += evaluator.run_row(row.data(), line, flags.data()) + row[n];
  }
  std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
  std::printf("%s on %u rows of %u values: %.1f ns per row (%.3f s)%s\n", program, rows, n,
              took.count() / rows, took.count() / 1e9, sink == 0.5 ? " " : "");
  return 0;
}
