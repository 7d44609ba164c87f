// Difference of rows (--diff): each selected column becomes the current value
// minus the previous row's; the first row gives 0 there. The output has as many
// rows as the input.
#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "ops/frame.h"

namespace kest {

namespace {

OpResult run(const Job& job) {
  announce(job);
  Frame frame(job);
  const std::uint32_t n = frame.cols();
  Output& out = frame.open_output(frame.shape());
  const std::uint8_t* flags = frame.flags();
  std::vector<double> current = vector_or_die<double>(__FILE_NAME__, __LINE__, n);
  std::vector<double> previous = vector_or_die<double>(__FILE_NAME__, __LINE__, n);
  std::vector<double> output = vector_or_die<double>(__FILE_NAME__, __LINE__, n);
  std::uint32_t rows = 0;
  if (n != 0 && frame.read_row(current.data(), n) != nullptr) {
    std::copy(current.begin(), current.end(), previous.begin());
    do {
      for (std::uint32_t c = 0; c < n; ++c) {
        output[c] = flags[c] != 0 ? current[c] - previous[c] : current[c];
      }
      out.write(output.data(), n);
      rows += rows < UINT32_MAX;  // counts saturate
      std::swap(current, previous);
    } while (frame.read_row(current.data(), n) != nullptr);
  }
  return frame.finish(rows);
}

constexpr OptionSpec kOptions[] = {
    {"diff", 0, OptionArg::kNone, OptionArg::kNone,
     [](const char*, OpChoice& choice) { choice.choose(OpCode::kDiff); }},
};
constexpr Variant kVariants[] = {
    {OpCode::kDiff, true, true, "Differentiating rows\n", "Kest: Differentiating "},
};

}  // namespace

extern const Operation kDiff = {"diff", kOptions, kVariants, run, nullptr};

}  // namespace kest
