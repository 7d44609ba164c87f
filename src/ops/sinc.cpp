// The windowed-sinc filters (--sinc-lp, --sinc-hp, --sinc-bp, --sinc-bs): a
// finite impulse response of M+1 taps run down each selected column.
//
// The low-pass kernel is a Blackman-windowed sinc scaled to unit sum; high-pass
// is its spectral inversion, band-stop the sum of a low-pass at the lower edge
// and a high-pass at the upper edge, band-pass the inversion of the band-stop.
// Every rounding step of the kernel is fixed, so a kernel comes out the same bit
// for bit on every run.
//
// The convolution looks forward, y[i] = sum of h[j] * x[i+j]: output row i is
// centred on input row i + M/2, and past the last row the input counts as zero,
// so the last M rows see a shortened kernel.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "ops/column_filter.h"
#include "ops/option_scan.h"
#include "select/readflag.h"

namespace kest {

namespace {

using Kernel = std::vector<double>;

// The four filters: the kinds of the variants.
constexpr int kLowPass = 0, kHighPass = 1, kBandPass = 2, kBandStop = 3;

// Cut-offs and number of points of the filter the options give.
struct SincSpec {
  double fc1 = 0.0;    ///< first cut-off
  double fc2 = 0.0;    ///< second cut-off
  std::int32_t m = 0;  ///< number of filter points, even
};
SincSpec g_spec;

constexpr double kPi = 3.141592653589793;
// The Blackman window's constants, in extended precision.
constexpr long double kBlackman0 = 0.42L;
constexpr long double kBlackman2 = 0.08L;

// The Blackman-windowed sinc of M+1 taps for the cut-off fc (cycles per row),
// divided by the sum of all its taps. Only the first `kept` taps are held: a
// kernel longer than the column never meets the taps beyond it.
Kernel low_pass(std::int32_t m, double fc, std::size_t kept) {
  if (m <= 0) KEST_FATAL("M should be a positive even number\n");
  const double two_pi = kPi + kPi;
  const double four_pi = two_pi + two_pi;
  const std::int64_t centre = m / 2;
  kept = std::min(kept, static_cast<std::size_t>(m) + 1);
  Kernel h = vector_or_die<double>(__FILE_NAME__, __LINE__, kept);
  double sum = 0.0;
  for (std::int64_t i = 0; i <= m; ++i) {
    const double ratio = static_cast<double>(i) / m;
    const double first = std::cos(two_pi * ratio);
    const double second = std::cos(four_pi * ratio);
    const auto w = static_cast<double>(kBlackman0 - 0.5 * first + kBlackman2 * second);
    double tap;
    if (i == centre) {
      tap = two_pi * fc * w;
    } else {
      const auto d = static_cast<double>(i - centre);
      const double quotient = std::sin(two_pi * fc * d) / d;
      tap = quotient * w;
    }
    sum += tap;
    if (static_cast<std::size_t>(i) < kept) h[i] = tap;
  }
  for (double& tap : h) tap /= sum;
  return h;
}

// Negates every tap and adds 1 to the centre tap M/2.
void invert_spectrum(Kernel& h, std::int32_t m) {
  for (double& tap : h) tap = -tap;
  const auto centre = static_cast<std::size_t>(m / 2);
  if (centre < h.size()) h[centre] += 1.0;
}

Kernel high_pass(std::int32_t m, double fc, std::size_t kept) {
  Kernel h = low_pass(m, fc, kept);
  invert_spectrum(h, m);
  return h;
}

Kernel band_stop(std::int32_t m, double low, double high, std::size_t kept) {
  Kernel h = low_pass(m, low, kept);
  const Kernel upper = high_pass(m, high, kept);
  for (std::size_t i = 0; i < h.size(); ++i) h[i] += upper[i];
  return h;
}

Kernel band_pass(std::int32_t m, double low, double high, std::size_t kept) {
  Kernel h = band_stop(m, low, high, kept);
  invert_spectrum(h, m);
  return h;
}

// The kernel of the filter `spec`, its first `kept` taps.
Kernel build_kernel(const SincSpec& spec, int type, std::size_t kept) {
  switch (type) {
    case kLowPass:
      return low_pass(spec.m, spec.fc1, kept);
    case kHighPass:
      return high_pass(spec.m, spec.fc2, kept);
    case kBandPass:
      return band_pass(spec.m, spec.fc1, spec.fc2, kept);
    default:
      return band_stop(spec.m, spec.fc1, spec.fc2, kept);
  }
}

// y[i] = h[0]*x[i] + h[1]*x[i+1] + ..., summed in this order in double, the taps
// beyond the last row left out.
void convolve(std::span<const double> x, std::span<double> y, const Kernel& h) {
  const std::size_t rows = x.size();
  for (std::size_t i = 0; i < rows; ++i) {
    const std::size_t taps = std::min(h.size(), rows - i);
    const double* from = x.data() + i;
    double sum = 0.0;
    for (std::size_t j = 0; j < taps; ++j) sum += h[j] * from[j];
    y[i] = sum;
  }
}

OpResult run(const Job& job) {
  return filter_table(job, [&job](Frame& frame) {
    return [h = build_kernel(g_spec, variant_kind(job), frame.counted_rows())](
               std::span<const double> x, std::span<double> y) { convolve(x, y, h); };
  });
}

// The fc of the sinc filters must lie strictly inside (0, 0.5); NaN does not.
bool cutoff_in_range(double fc) {
  return fc > 0.0 && fc < 0.5;
}

void check_points(std::int32_t m) {
  if (m % 2 != 0) KEST_FATAL("M should be even\n");
  if (m <= 0) KEST_FATAL("M should be a positive even number\n");
}

// "%lf, %d": a cut-off and the number of points; the high-pass cut-off is fc2.
template <OpCode code>
void parse_single(const char* arg, OpChoice& choice) {
  double fc = 0.0;
  std::int32_t m = 0;
  const char* text = arg;
  const bool read =
      scan_double(text, fc) && scan_literal(text, ',') && (skip_blanks(text), scan_int(text, m));
  if (!read) KEST_FATAL("Wrong number of parameters\n");
  if (!cutoff_in_range(fc)) KEST_FATAL("Cutoff frequency out of range (0 - 0.5)\n");
  check_points(m);
  choice.choose(code);
  g_spec = code == OpCode::kSincHighPass ? SincSpec{0.0, fc, m} : SincSpec{fc, 0.0, m};
}

// "%lf, %lf, %d": two cut-offs and the number of points.
template <OpCode code>
void parse_pair(const char* arg, OpChoice& choice) {
  double fcl = 0.0;
  double fch = 0.0;
  std::int32_t m = 0;
  const char* text = arg;
  const bool read = scan_double(text, fcl) && scan_literal(text, ',') &&
                    (skip_blanks(text), scan_double(text, fch)) && scan_literal(text, ',') &&
                    (skip_blanks(text), scan_int(text, m));
  if (!read) KEST_FATAL("Wrong number of parameters\n");
  if (!cutoff_in_range(fcl) || !cutoff_in_range(fch)) {
    KEST_FATAL("Cutoff frequencies out of range (0 - 0.5)\n");
  }
  check_points(m);
  choice.choose(code);
  g_spec = SincSpec{fcl, fch, m};
}

constexpr OptionArg R = OptionArg::kRequired;
constexpr OptionArg N = OptionArg::kNone;

constexpr OptionSpec kOptions[] = {
    {"sinc-lp", 0, R, N, parse_single<OpCode::kSincLowPass>},
    {"sinc-hp", 0, R, N, parse_single<OpCode::kSincHighPass>},
    {"sinc-bp", 0, R, N, parse_pair<OpCode::kSincBandPass>},
    {"sinc-bs", 0, R, N, parse_pair<OpCode::kSincBandStop>},
};
constexpr Variant kVariants[] = {
    {OpCode::kSincLowPass, true, true, kFilterFull, kFilterQuiet, Report::kNothing, kLowPass},
    {OpCode::kSincHighPass, true, true, kFilterFull, kFilterQuiet, Report::kNothing, kHighPass},
    {OpCode::kSincBandPass, true, true, kFilterFull, kFilterQuiet, Report::kNothing, kBandPass},
    {OpCode::kSincBandStop, true, true, kFilterFull, kFilterQuiet, Report::kNothing, kBandStop},
};

}  // namespace

extern const Operation kSinc = {"sinc", kOptions, kVariants, run, [] { g_spec = {}; }};

}  // namespace kest
