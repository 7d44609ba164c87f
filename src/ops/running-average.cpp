// The running average (--running-average=n[,mode], --running-avg, --running-mean):
// each selected column of an output row is the mean of that column over n
// consecutive input rows; unselected columns pass through. Only the last n rows
// are held, in a ring (input row t in slot t mod n, all slots zero at the start).
//
// Modes:
//   0  one output row per input row; the window starts on n-1 rows of zeros.
//   1  one output row per input row; the first n-1 rows average the rows read so far.
//   2  one output row per full window (rows - n + 1 of them), the mean of rows
//      t-n+1 ... t beside the unselected values of row t (the window's last row).
//   3  as 2, beside the unselected values of the window's middle row (the later
//      of the two middle rows for an even n).
// Every mean sums all n slots afresh, slot by slot, so no rounding drift builds
// up along the file.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/log.h"
#include "ops/column_filter.h"
#include "ops/option_scan.h"

namespace kest {

namespace {

constexpr std::uint32_t kDefaultMode = 2;
std::uint32_t g_mode = kDefaultMode;  ///< the mode of --running-average

// The mean of every selected column over the n slots of the ring, into `out`.
void window_means(const Matrix<double>& ring, const std::vector<std::uint32_t>& selected,
                  double divisor, double* out) {
  for (const std::uint32_t c : selected) out[c] = 0.0;
  for (std::size_t slot = 0; slot < ring.size(); ++slot) {
    const double* row = ring[slot];
    for (const std::uint32_t c : selected) out[c] += row[c];
  }
  for (const std::uint32_t c : selected) out[c] /= divisor;
}

OpResult run(const Job& job) {
  announce(job);
  Frame frame(job, {.rows = true});
  const Settings& s = settings();
  const std::uint32_t cols = frame.cols();
  const std::uint32_t rows = frame.counted_rows();
  if (!s.quiet) std::fprintf(stderr, "Found %lu rows.\n", static_cast<unsigned long>(rows));
  const auto n = static_cast<std::uint32_t>(filter_taps());
  // Both refusals come before the output is opened, so an existing output file
  // is left whole.
  if (rows < n) {
    KEST_FATAL("Too many filtertaps(=%lu) for data (filtertaps)(=%lu) > %lu",
               static_cast<unsigned long>(n), static_cast<unsigned long>(n),
               static_cast<unsigned long>(rows));
  }
  const std::uint32_t mode = g_mode;
  if (mode > 3) KEST_FATAL("No running average method given\n");
  const bool trimmed = mode >= 2;
  Output& out = frame.open_output({cols, trimmed ? rows - n + 1 : rows});

  if (cols != 0 && rows != 0 && n != 0) {
    Matrix<double> ring = matrix_alloc(n, cols);
    for (std::size_t slot = 0; slot < n; ++slot) std::fill_n(ring[slot], cols, 0.0);
    std::vector<double> row = vector_or_die<double>(__FILE_NAME__, __LINE__, cols);
    std::vector<std::uint32_t> selected;
    for (std::uint32_t c = 0; c < cols; ++c) {
      if (frame.selected(c)) selected.push_back(c);
    }
    const auto emit = [&](std::uint32_t source_row, double divisor) {
      std::memcpy(row.data(), ring[source_row % n], cols * sizeof(double));
      window_means(ring, selected, divisor, row.data());
      out.write(row.data(), cols);
    };

    if (!trimmed) {
      for (std::uint32_t t = 0; t < rows; ++t) {
        if (frame.read_row(ring[t % n], cols) == nullptr) KEST_FATAL("Can't read all lines\n");
        const std::uint32_t divisor = mode == 0 ? n : std::min(t + 1, n);
        emit(t, static_cast<double>(divisor));
      }
    } else {
      // The unselected values come from the row `offset` rows into the window.
      const std::uint32_t offset = mode == 2 ? n - 1 : n / 2;
      if (s.debug) KEST_DEBUG("yy=%d\n", static_cast<int>(offset));
      for (std::uint32_t t = 0; t + 1 < n; ++t) {
        if (frame.read_row(ring[t], cols) == nullptr) KEST_FATAL("Can't read all lines\n");
      }
      for (std::uint32_t t = n - 1; t < rows; ++t) {
        if (frame.read_row(ring[t % n], cols) == nullptr) break;
        emit(t - (n - 1) + offset, static_cast<double>(n));
      }
    }
  }
  if (!s.quiet) std::fputs("\n", stderr);
  return frame.finish(rows);
}

// "window[,mode]"
void parse_running_average(const char* arg, OpChoice& choice) {
  char* end = nullptr;
  errno = 0;
  long window = std::strtol(arg, &end, 0);
  if (end == arg) KEST_FATAL("Can't convert %s to a number\n", arg);
  if (window <= 1) {
    warning_message("Running average window=%ld is too small. Resetting to 5\n", window);
    window = 5;
  }
  filter_taps() = clamp_int32(window);
  if (*end == ',') {
    errno = 0;
    long mode = std::strtol(end + 1, nullptr, 0);
    if (mode < 0 || mode > 3) {
      warning_message("Unknown running average mode.\nReseting to \"2 - PMA\"");
      mode = 2;
    }
    g_mode = static_cast<std::uint32_t>(mode);
  }
  choice.choose(OpCode::kRunningAverage);
}

constexpr OptionSpec kOptions[] = {
    {"running-average|running-avg|running-mean", 0, OptionArg::kRequired, OptionArg::kNone,
     parse_running_average},
};
constexpr Variant kVariants[] = {
    {OpCode::kRunningAverage, true, true, kFilterFull, kFilterQuiet},
};

}  // namespace

extern const Operation kRunningAverage = {"running-average", kOptions, kVariants, run,
                                          [] { g_mode = kDefaultMode; }};

}  // namespace kest
