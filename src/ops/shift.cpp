// Shift (-j, --shift=k): moves the selected columns up by k rows against the
// others; a negative count inverts the selection, so the selected columns move
// down. Output row j holds input row j + |k| in the flagged columns and input row
// j elsewhere, so the output is |k| rows shorter than the input.
//
// The last |k| + 1 rows live in a ring of slots in one block. The block grows by
// doubling while it fills, so a shift far longer than the file never reserves
// more than the file's rows.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/settings.h"
#include "ops/frame.h"
#include "ops/option_scan.h"

namespace kest {

namespace {

// Slots reserved before the ring starts doubling towards its full size.
constexpr std::size_t kFirstSlots = 64;

std::int32_t g_count = 0;  ///< the rows of -j, never INT32_MIN

class Ring {
 public:
  Ring(std::size_t slots, std::uint32_t n) : slots_(slots), n_(n) {}

  double* slot(std::size_t i) { return block_.data() + i * n_; }

  // Makes room for slot i (i < slots) while the ring fills from slot 0.
  void reserve(std::size_t i) {
    if (i < reserved_) return;
    std::size_t want = reserved_ == 0 ? kFirstSlots : reserved_ * 2;
    if (want < reserved_ || want > slots_) want = slots_;
    std::vector<double> grown = vector_or_die<double>(__FILE_NAME__, __LINE__, checked(want));
    if (reserved_ != 0) std::memcpy(grown.data(), block_.data(), reserved_ * n_ * sizeof(double));
    block_ = std::move(grown);
    reserved_ = want;
  }

 private:
  // want * n values, or fatal when that cannot even be counted.
  std::size_t checked(std::size_t want) const {
    if (n_ != 0 && want > SIZE_MAX / sizeof(double) / n_) {
      fatal_error(__FILE_NAME__, __LINE__, "Could not allocate memory %lu bytes\n",
                  static_cast<unsigned long>(SIZE_MAX));
    }
    return want * n_;
  }

  std::size_t slots_;
  std::uint32_t n_;
  std::size_t reserved_ = 0;
  std::vector<double> block_;
};

OpResult run(const Job& job) {
  const long count = g_count;
  announce(job, count);
  Frame frame(job, {.flags = false});
  const std::uint32_t n = frame.cols();
  // A negative count inverts the selection, whatever -i says.
  const SelectionFlags flags = make_selection_flags(job.selection, n, count < 0);
  const std::size_t k = static_cast<std::size_t>(std::labs(count));
  const std::uint32_t counted = frame.counted_rows();
  Output& out = frame.open_output({n, counted > k ? static_cast<std::uint32_t>(counted - k) : 0});
  announce_names(job);
  std::fflush(stderr);

  std::uint64_t rows = 0;
  if (n != 0) {
    const std::size_t slots = k + 1;
    Ring ring(slots, n);
    std::vector<double> output = vector_or_die<double>(__FILE_NAME__, __LINE__, n);
    std::size_t filled = 0;
    while (filled < slots) {
      ring.reserve(filled);
      if (frame.read_row(ring.slot(filled), n) == nullptr) break;
      ++filled;
    }
    rows = filled;
    if (filled == slots) {
      std::size_t oldest = 0;
      while (true) {
        const double* early = ring.slot(oldest);
        const double* late = ring.slot(oldest == 0 ? k : oldest - 1);
        for (std::uint32_t c = 0; c < n; ++c) output[c] = flags[c] != 0 ? late[c] : early[c];
        out.write(output.data(), n);
        if (frame.read_row(ring.slot(oldest), n) == nullptr) break;
        ++rows;
        oldest = oldest == k ? 0 : oldest + 1;
      }
    }
  }
  return frame.finish(rows < UINT32_MAX ? static_cast<std::uint32_t>(rows) : UINT32_MAX);
}

void parse_shift(const char* arg, OpChoice& choice) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(arg, &end, 10);
  if (value == 0 && end == arg) KEST_FATAL("Can't convert %s to a number\n", arg);
  // Kept off INT32_MIN so that its absolute value exists.
  std::int32_t count = clamp_int32(value);
  if (count == INT32_MIN) count = -INT32_MAX;
  g_count = count;
  choice.choose(OpCode::kShift);
}

constexpr OptionSpec kOptions[] = {
    {"shift", 'j', OptionArg::kRequired, OptionArg::kRequired, parse_shift},
};
constexpr Variant kVariants[] = {
    {OpCode::kShift, true, true, "", "Kest: Shift %ld. "},
};

}  // namespace

extern const Operation kShift = {"shift", kOptions, kVariants, run, [] { g_count = 0; }};

}  // namespace kest
