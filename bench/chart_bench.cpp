// Micro-benchmark of the chart builder: ns per value of add_row (the M4 reduction)
// and the time to write the document, for rows of ten noisy series.
//
//   cmake --build build --target chart_bench && build/chart_bench [rows] [series]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "io/chart.h"

int main(int argc, char** argv) {
  using Clock = std::chrono::steady_clock;
  const std::size_t rows = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 2000000;
  const std::size_t series = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 10;

  // One block of rows reused over and over, so the timing is the chart's alone.
  constexpr std::size_t kBlock = 4096;
  std::mt19937_64 rng(12345);
  std::normal_distribution<double> noise(0, 1);
  std::vector<double> block(kBlock * series);
  for (double& value : block) value = noise(rng);

  kest::ChartSpec spec;
  spec.title = "bench.dat";
  spec.x_label = "row";
  for (std::size_t s = 0; s < series; ++s)
    spec.series_names.push_back("column " + std::to_string(s + 1));
  spec.x_first = 1;
  spec.x_last = static_cast<double>(rows);
  kest::ChartBuilder chart(spec);

  const Clock::time_point start = Clock::now();
  for (std::size_t i = 0; i < rows; ++i) {
    chart.add_row(static_cast<double>(i + 1), &block[(i % kBlock) * series]);
  }
  const Clock::time_point added = Clock::now();
  const std::string svg = chart.svg();
  const Clock::time_point written = Clock::now();

  const double add_s = std::chrono::duration<double>(added - start).count();
  const double svg_s = std::chrono::duration<double>(written - added).count();
  std::printf(
      "%zu rows x %zu series: add_row %.3f s (%.2f ns a value), document %.3f s, %zu bytes\n", rows,
      series, add_s, add_s * 1e9 / static_cast<double>(rows * series), svg_s, svg.size());
  return 0;
}
