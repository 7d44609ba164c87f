// The moving-average filter (-f, --filter): a fixed symmetric 5-point weighted
// average down each selected column. The first two and the last two rows of a
// column keep their values; a table of fewer than 5 rows is written unchanged.
// The tap count of the option does not change the kernel.
#include <cstdio>

#include "ops/column_filter.h"
#include "select/readflag.h"

namespace kest {

namespace {

// The weights w0, w1, w2, w1, w0 in extended precision; they sum to 1.
constexpr long double kW0 = 0.107L;
constexpr long double kW1 = 0.179L;
constexpr long double kW2 = 0.428L;

// Each result is summed in extended precision in this order, from the unfiltered
// values, and stored as a double.
void moving_average(std::span<const double> x, std::span<double> y) {
  if (x.size() < 5) return;
  for (std::size_t i = 0; i + 4 < x.size(); ++i) {
    const long double sum =
        (((kW0 * x[i] + kW1 * x[i + 1]) + kW2 * x[i + 2]) + kW1 * x[i + 3]) + kW0 * x[i + 4];
    y[i + 2] = static_cast<double>(sum);
  }
}

}  // namespace

OpResult filter(const Job& job) {
  return filter_table(job, [](Frame&) { return moving_average; });
}

}  // namespace kest
