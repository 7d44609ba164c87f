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
#include "select/readflag.h"

namespace kest {

namespace {

using Kernel = std::vector<double>;

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
Kernel build_kernel(const SincSpec& spec, std::size_t kept) {
  switch (spec.type) {
    case 0:
      return low_pass(spec.m, spec.fc1, kept);
    case 1:
      return high_pass(spec.m, spec.fc2, kept);
    case 2:
      return band_pass(spec.m, spec.fc1, spec.fc2, kept);
    case 3:
      return band_stop(spec.m, spec.fc1, spec.fc2, kept);
    default:
      KEST_FATAL("Unknown filter type\n");
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

}  // namespace

OpResult sinc(const Job& job) {
  return filter_table(job, [](Frame& frame) {
    return [h = build_kernel(frame.params().sinc, frame.counted_rows())](
               std::span<const double> x, std::span<double> y) { convolve(x, y, h); };
  });
}

}  // namespace kest
