// Sums (--sum-vertical and --sum-horizontal, with their aliases).
//
// The vertical sum copies the rows and appends one row holding, per column, the
// sum of the rows the selection does not name; the selection names rows and is
// never inverted. Rows read beyond the counted ones (after a data line with
// another number of values) cannot be named and are summed like unnamed rows.
//
// The horizontal sum appends to every row the sum of its columns that the
// selection does not name.
#include <cstdio>
#include <vector>

#include "base/settings.h"
#include "ops/frame.h"

namespace kest {

namespace {

OpResult sum_vertical(const Job& job) {
  Frame frame(job, {.rows = true, .flags = false});
  const std::uint32_t n = frame.cols();
  const std::uint32_t counted = frame.counted_rows();
  std::optional<std::string> file;
  if (job.selection.kind == SelectionSource::Kind::kFile) file = job.selection.file;
  RowSelection named(file, settings().selection_strings, false, counted);

  const std::uint32_t written = n == 0 ? 0 : (counted < UINT32_MAX ? counted + 1 : UINT32_MAX);
  Output& out = frame.open_output({n, written});
  std::vector<double> sums = vector_or_die<double>(__FILE_NAME__, __LINE__, n);
  std::uint64_t index = 0;
  for (std::span<double> row : frame.rows()) {
    if (!named.flagged(index)) {
      for (std::uint32_t c = 0; c < n; ++c) sums[c] += row[c];
    }
    ++index;
    out.write(row);
  }
  if (n != 0) out.write(sums.data(), n);
  return frame.finish(index < UINT32_MAX ? static_cast<std::uint32_t>(index) : UINT32_MAX);
}

OpResult sum_horizontal(const Job& job) {
  Frame frame(job);
  const std::uint32_t n = frame.cols();
  const std::size_t width = static_cast<std::size_t>(n) + 1;
  Output& out = frame.open_output({n < UINT32_MAX ? n + 1 : UINT32_MAX, frame.counted_rows()});
  const std::uint8_t* flags = frame.flags();
  std::vector<double> values = vector_or_die<double>(__FILE_NAME__, __LINE__, width);
  std::uint32_t rows = 0;
  while (n != 0 && frame.read_row(values.data(), n) != nullptr) {
    double sum = 0.0;
    for (std::uint32_t c = 0; c < n; ++c) {
      if (flags[c] == 0) sum += values[c];
    }
    values[n] = sum;
    out.write(values.data(), width);
    rows += rows < UINT32_MAX;  // counts saturate
  }
  return frame.finish(rows);
}

OpResult run(const Job& job) {
  announce(job);
  return variant_kind(job) == 0 ? sum_vertical(job) : sum_horizontal(job);
}

constexpr OptionSpec kOptions[] = {
    {"sum-col|sum_col|sum-vertical|sum_vertical", 0, OptionArg::kNone, OptionArg::kNone,
     [](const char*, OpChoice& choice) { choice.choose(OpCode::kSumVertical); }},
    {"sum-row|sum_row|sum-horizontal|sum_horizontal", 0, OptionArg::kNone, OptionArg::kNone,
     [](const char*, OpChoice& choice) { choice.choose(OpCode::kSumHorizontal); }},
};
constexpr Variant kVariants[] = {
    {OpCode::kSumVertical, true, false, "Vertical sum except selected rows\n",
     "Kest: Vertical sum ", Report::kNothing, 0},
    {OpCode::kSumHorizontal, true, false, "Horizontal sum except selected columns\n",
     "Kest: Horizontal sum ", Report::kNothing, 1},
};

}  // namespace

extern const Operation kSumCol = {"sum_col", kOptions, kVariants, run, nullptr};

}  // namespace kest
