// Keep or remove rows by comparison (--removegt, --keepleq and the ten others)
// or by range (--range-keep, --range-remove). A row is removed when at least one
// selected value meets the removal condition; otherwise it is written whole.
// The conditions are evaluated exactly as written, so a NaN makes every plain
// comparison false and every negated one true. --fuzz is the tolerance of the two
// equality conditions only.
#include <cmath>
#include <cstdio>

#include "base/settings.h"
#include "io/reader.h"
#include "ops/frame.h"
#include "ops/option_scan.h"

namespace kest {

namespace {

// The removal conditions: the six comparisons with a level, then the two ranges.
enum class Condition {
  kGreater,       // v - x > 0
  kLess,          // 0 > v - x
  kEqual,         // fuzz >= |v - x|
  kNotLess,       // not (0 > v - x)
  kNotGreater,    // not (v - x > 0)
  kNotEqual,      // not (fuzz >= |v - x|)
  kOutsideRange,  // not (v >= lower) or not (upper > v)
  kInsideRange,   // v >= lower and upper > v
};

// The comparison level of the --keepXX / --removeXX options and the range of
// --range-keep / --range-remove.
double g_level = 0.0;
double g_lower = 0.0;
double g_upper = 0.0;

struct Test {
  Condition condition;
  double level;
  double lower;
  double upper;
  double fuzz;

  bool removes(double v) const {
    switch (condition) {
      case Condition::kGreater:
        return v - level > 0;
      case Condition::kLess:
        return 0 > v - level;
      case Condition::kEqual:
        return fuzz >= std::fabs(v - level);
      case Condition::kNotLess:
        return !(0 > v - level);
      case Condition::kNotGreater:
        return !(v - level > 0);
      case Condition::kNotEqual:
        return !(fuzz >= std::fabs(v - level));
      case Condition::kOutsideRange:
        return !(v >= lower) || !(upper > v);
      case Condition::kInsideRange:
        return v >= lower && upper > v;
    }
    return false;
  }

  bool removes_row(const double* values, std::uint32_t n, const std::uint8_t* flags) const {
    for (std::uint32_t c = 0; c < n; ++c) {
      if (flags[c] != 0 && removes(values[c])) return true;
    }
    return false;
  }
};

std::uint32_t saturated(std::uint64_t count) {
  return count < UINT32_MAX ? static_cast<std::uint32_t>(count) : UINT32_MAX;
}

OpResult run(const Job& job) {
  const Settings& s = settings();
  const Test test{static_cast<Condition>(variant_kind(job)), g_level, g_lower, g_upper, s.fuzz};
  if (test.condition == Condition::kOutsideRange || test.condition == Condition::kInsideRange) {
    announce(job, g_lower, g_upper);
  } else {
    announce(job, g_level);
  }

  Frame frame(job, {.another_pass = s.add_line_count});
  std::fflush(stderr);
  const std::uint32_t n = frame.cols();
  const std::uint8_t* flags = frame.flags();
  std::uint32_t header_rows = 0;
  if (s.add_line_count) {
    // The header counts the rows written: a pass of its own finds them.
    std::vector<double> values = vector_or_die<double>(__FILE_NAME__, __LINE__, n);
    std::uint64_t kept = 0;
    while (n != 0 && read_row(frame.input(), values.data(), nullptr, n) != nullptr) {
      kept += test.removes_row(values.data(), n, flags) ? 0 : 1;
    }
    header_rows = saturated(kept);
    frame.rewind(true);
  }
  Output& out = frame.open_output({n, header_rows});
  std::uint64_t kept = 0;
  std::uint64_t removed = 0;
  for (std::span<double> row : frame.rows()) {
    if (test.removes_row(row.data(), n, flags)) {
      ++removed;
    } else {
      out.write(row);
      ++kept;
    }
  }
  const OpResult result = frame.finish(saturated(kept + removed));
  std::fprintf(stderr, "kept %u and removed %u of %u\n", saturated(kept), saturated(removed),
               saturated(kept + removed));
  std::fflush(stderr);
  return result;
}

template <OpCode code>
void compare(const char* arg, OpChoice& choice) {
  g_level = get_double(arg);
  choice.choose(code);
}

// "%lg,%lg": the number of values read.
int scan_range(const char* text, double& lower, double& upper) {
  if (!scan_double(text, lower)) return 0;
  if (!scan_literal(text, ',')) return 1;
  return scan_double(text, upper) ? 2 : 1;
}

template <OpCode code>
void range(const char* arg, OpChoice& choice) {
  if (scan_range(arg, g_lower, g_upper) != 2) {
    KEST_FATAL_LOGGED("Need 2 values in the format lower,upper\n");
  }
  choice.choose(code);
}

constexpr OptionArg R = OptionArg::kRequired;
constexpr OptionArg N = OptionArg::kNone;

constexpr OptionSpec kOptions[] = {
    {"removegt|keepleq", 0, R, N, compare<OpCode::kRemoveGt>},
    {"removelt|keepgeq", 0, R, N, compare<OpCode::kRemoveLt>},
    {"removeeq|keepneq", 0, R, N, compare<OpCode::kRemoveEq>},
    {"keepgt|removeleq", 0, R, N, compare<OpCode::kKeepGt>},
    {"keeplt|removegeq", 0, R, N, compare<OpCode::kKeepLt>},
    {"keepeq|removeneq", 0, R, N, compare<OpCode::kKeepEq>},
    {"range-keep", 0, R, N, range<OpCode::kRangeKeep>},
    {"range-remove", 0, R, N, range<OpCode::kRangeRemove>},
};

#define KEST_COMPARISON(code, condition, full, quiet)                                         \
  {                                                                                           \
    code, true, true, "Removes rows which have values " full " %g in the selected columns\n", \
        quiet " %g. ", Report::kNothing, static_cast<int>(Condition::condition)               \
  }
constexpr Variant kVariants[] = {
    KEST_COMPARISON(OpCode::kRemoveGt, kGreater, "greater than", "Remove >"),
    KEST_COMPARISON(OpCode::kRemoveLt, kLess, "less than", "Remove <"),
    KEST_COMPARISON(OpCode::kRemoveEq, kEqual, "equal to", "Remove ="),
    KEST_COMPARISON(OpCode::kKeepGt, kNotGreater, "less than or equal", "Remove <="),
    KEST_COMPARISON(OpCode::kKeepLt, kNotLess, "greater than or equal", "Remove >="),
    KEST_COMPARISON(OpCode::kKeepEq, kNotEqual, "not equal to", "Remove !="),
    {OpCode::kRangeKeep, true, true,
     "Keeps rows which have values in the range [%g, %g) in the selected columns\n",
     "Keep [%g, %g). ", Report::kNothing, static_cast<int>(Condition::kOutsideRange)},
    {OpCode::kRangeRemove, true, true,
     "Removes rows which have values in the range [%g, %g) in the selected columns\n",
     "Remove [%g, %g). ", Report::kNothing, static_cast<int>(Condition::kInsideRange)},
};
#undef KEST_COMPARISON

}  // namespace

extern const Operation kLogical = {"logical", kOptions, kVariants, run,
                                   [] { g_level = g_lower = g_upper = 0.0; }};

}  // namespace kest
