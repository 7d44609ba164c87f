// The moving-average filter (-f, --filter): a fixed symmetric 5-point weighted
// average down each selected column. The first two and the last two rows of a
// column keep their values; a table of fewer than 5 rows is written unchanged.
// The tap count of the option does not change the kernel.
#include <cstdio>

#include "base/text.h"
#include "ops/column_filter.h"
#include "ops/option_scan.h"
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

OpResult run(const Job& job) {
  return filter_table(job, [](Frame&) { return moving_average; });
}

// -f[taps]: an odd count is asked for; it does not change the kernel.
void parse_filter(const char* arg, OpChoice& choice) {
  long long taps = filter_taps();
  if (arg != nullptr) scan_width_integer(arg, 8, taps);
  if (taps < 1) KEST_FATAL("Filtertaps can't be less than zero (%lld)", taps);
  if (taps % 2 == 0) {
    warning_message("Filtertaps should be odd (%lld), adjusting uppwards to %lld", taps, taps + 1);
  }
  choice.choose(OpCode::kFilter);
  filter_taps() = clamp_int32(taps / 2 + 1);
}

constexpr OptionSpec kOptions[] = {
    {"filter", 'f', OptionArg::kOptional, OptionArg::kOptional, parse_filter},
};
constexpr Variant kVariants[] = {
    {OpCode::kFilter, true, true, kFilterFull, kFilterQuiet},
};

}  // namespace

extern const Operation kFilter = {"filter", kOptions, kVariants, run, [] { filter_taps() = 5; }};

}  // namespace kest
