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

struct Announcement {
  const char* full_before;
  const char* quiet_before;
};

// Indexed by Condition; every comparison ends with the same texts, as do the ranges.
constexpr Announcement kAnnouncements[] = {
    {"Removes rows which have values greater than ", "Remove > "},
    {"Removes rows which have values less than ", "Remove < "},
    {"Removes rows which have values equal to ", "Remove = "},
    {"Removes rows which have values greater than or equal ", "Remove >= "},
    {"Removes rows which have values less than or equal ", "Remove <= "},
    {"Removes rows which have values not equal to ", "Remove != "},
    {"Keeps rows which have values in the range ", "Keep "},
    {"Removes rows which have values in the range ", "Remove "},
};
constexpr const char* kFullAfter = " in the selected columns\n";
constexpr const char* kQuietAfter = ". ";

Condition condition_of(OpCode code) {
  switch (code) {
    case OpCode::kRemoveGt:
      return Condition::kGreater;
    case OpCode::kRemoveLt:
      return Condition::kLess;
    case OpCode::kRemoveEq:
      return Condition::kEqual;
    case OpCode::kKeepGt:
      return Condition::kNotGreater;
    case OpCode::kKeepLt:
      return Condition::kNotLess;
    case OpCode::kKeepEq:
      return Condition::kNotEqual;
    case OpCode::kRangeKeep:
      return Condition::kOutsideRange;
    default:
      return Condition::kInsideRange;
  }
}

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

}  // namespace

OpResult logical(const Job& job) {
  const Settings& s = settings();
  const OpParams& p = *job.params;
  const Test test{condition_of(job.code), p.level, p.range_lower, p.range_upper, s.fuzz};
  const Announcement& text = kAnnouncements[static_cast<int>(test.condition)];
  const char* before = s.quiet ? text.quiet_before : text.full_before;
  const char* after = s.quiet ? kQuietAfter : kFullAfter;
  if (test.condition == Condition::kOutsideRange || test.condition == Condition::kInsideRange) {
    std::fprintf(stderr, "%s[%g, %g)%s", before, p.range_lower, p.range_upper, after);
  } else {
    std::fprintf(stderr, "%s%g%s", before, p.level, after);
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

}  // namespace kest
