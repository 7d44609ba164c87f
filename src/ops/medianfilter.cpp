// The median filter (-u, --medianfilter=k): each value of a selected column
// becomes the median of the 2k+1 values of its column in the rows from k before
// to k after it. The first k and the last k rows of a column keep their values.
//
// Values are ordered by number, -0 before +0, and every NaN after +infinity, so
// a window holding NaN still has one well-defined middle element. The window
// slides down the column as a sorted array: each step takes out the value that
// leaves and puts in the value that enters, instead of sorting 2k+1 values anew.
#include <algorithm>
#include <bit>
#include <cstdio>
#include <vector>

#include "base/text.h"
#include "ops/column_filter.h"
#include "ops/option_scan.h"

namespace kest {

namespace {

constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;
// The key -infinity has before the rotation that moves the negative NaNs last.
constexpr std::uint64_t kRotation = 0x000FFFFFFFFFFFFFu;

// One key per bit pattern, ordered as the values: -infinity ... -0, +0 ...
// +infinity, then the NaNs. Being one-to-one, a value leaving the window is found
// again exactly.
std::uint64_t order_key(double value) {
  std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  bits = (bits & kSignBit) != 0 ? ~bits : bits | kSignBit;
  return bits - kRotation;
}

double key_value(std::uint64_t key) {
  std::uint64_t bits = key + kRotation;
  bits = (bits & kSignBit) != 0 ? bits & ~kSignBit : ~bits;
  return std::bit_cast<double>(bits);
}

// Replaces `leaving` (which the sorted window holds) by `entering`, keeping the
// window sorted.
void slide(std::vector<std::uint64_t>& window, std::uint64_t leaving, std::uint64_t entering) {
  const auto at = std::lower_bound(window.begin(), window.end(), leaving);
  if (entering > leaving) {
    const auto to = std::lower_bound(at + 1, window.end(), entering);
    std::move(at + 1, to, at);
    *(to - 1) = entering;
  } else {
    const auto to = std::upper_bound(window.begin(), at, entering);
    std::move_backward(to, at, at + 1);
    *to = entering;
  }
}

// y[i] = the median of x[i-k] ... x[i+k] for k <= i < rows-k; x holds 2k+1 values
// at least, and `window` has room for 2k+1.
void median(std::span<const double> x, std::span<double> y, std::uint32_t k,
            std::vector<std::uint64_t>& window) {
  for (std::size_t j = 0; j < window.size(); ++j) window[j] = order_key(x[j]);
  std::sort(window.begin(), window.end());
  for (std::size_t i = k;; ++i) {
    y[i] = key_value(window[k]);
    if (i + k + 1 >= x.size()) break;
    slide(window, order_key(x[i - k]), order_key(x[i + k + 1]));
  }
}

OpResult run(const Job& job) {
  announce(job);
  Frame frame(job, {.rows = true});
  const std::uint32_t cols = frame.cols();
  const std::uint32_t rows = frame.counted_rows();
  if (!settings().quiet)
    std::fprintf(stderr, "Found %lu rows.\n", static_cast<unsigned long>(rows));
  const auto k = static_cast<std::uint32_t>(filter_taps());
  const std::uint64_t width = 2 * std::uint64_t{k} + 1;
  // Refused before the output is opened, so an existing output file is left whole.
  if (rows < width) {
    KEST_FATAL("Too many filtertaps(=%lu) for data (filtertaps*2+1)(=%lu) > %lu",
               static_cast<unsigned long>(k), static_cast<unsigned long>(width),
               static_cast<unsigned long>(rows));
  }
  Output& out = frame.open_output(frame.shape());
  if (cols == 0 || rows == 0) return frame.finish(rows);

  Matrix<double> table = frame.read_table(true);
  std::vector<std::uint64_t> window =
      vector_or_die<std::uint64_t>(__FILE_NAME__, __LINE__, static_cast<std::size_t>(width));
  filter_columns(frame, table,
                 [&](std::span<const double> x, std::span<double> y) { median(x, y, k, window); });
  write_table(out, table, cols);
  return frame.finish(rows);
}

void parse_median(const char* arg, OpChoice& choice) {
  long long taps = filter_taps();
  scan_width_integer(arg, 8, taps);
  if (taps < 1) KEST_FATAL("Filtertaps can't be negative (%lld)", taps);
  choice.choose(OpCode::kMedian);
  filter_taps() = clamp_int32(taps);
}

constexpr OptionSpec kOptions[] = {
    {"medianfilter", 'u', OptionArg::kRequired, OptionArg::kRequired, parse_median},
};
constexpr Variant kVariants[] = {
    {OpCode::kMedian, true, true, kFilterFull, kFilterQuiet},
};

}  // namespace

extern const Operation kMedianfilter = {"medianfilter", kOptions, kVariants, run, nullptr};

}  // namespace kest
