// Sort (-q, --sort, --qsort): orders the data rows by a list of key columns.
//
// The key list "2,-1" sorts by column 2, then column 1; a minus sign on any key
// makes the whole sort descending. The table is held in one block and the row
// pointers are sorted, never the rows.
//
// Rows compare key by key: the first key on which one row is smaller decides,
// and the descending sort is the exact reverse. A NaN compares neither smaller
// nor greater than anything, so the comparison goes on with the next key. That
// is not a consistent order in general (with one key, a NaN would "equal" both 1
// and 2), so no such comparison reaches std::sort:
//  - without a NaN in any key column the comparison is a strict weak ordering
//    and the rows are sorted with it directly;
//  - with NaN keys, NaN ranks above every number on its key (all NaNs equal, so
//    the next key decides between them): last in an ascending sort, first in a
//    descending one. That order is kept when it contradicts no decision of the
//    comparison (with a single key it never does);
//  - otherwise the rows are heap sorted with the comparison itself (safe with
//    any comparison), and that order is kept when it contradicts no decision,
//    which it cannot whenever the comparison is consistent on the file's rows;
//  - failing both, NaN ranks above every number as above.
// Rows equal on every key may come out in any order.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "base/settings.h"
#include "base/text.h"
#include "ops/frame.h"

namespace kest {

namespace {

constexpr char kDefaultKeys[] = "1";
std::string g_keys = kDefaultKeys;  ///< the key list of -q

struct SortKeys {
  std::vector<std::int32_t> columns;  // 0-based, as given (-1 for a key of 0)
  bool descending = false;
};

// Reads the key list: fields between commas, each "%8d"; a field without an
// integer is passed over, a negative key makes the sort descending.
SortKeys parse_keys(const std::string& spec) {
  if (spec.empty()) KEST_FATAL("no sorting columns");
  SortKeys keys;
  std::size_t at = 0;
  while (at <= spec.size()) {
    std::size_t end = spec.find(',', at);
    if (end == std::string::npos) end = spec.size();
    const std::string field = spec.substr(at, end - at);
    long long value = 0;
    if (!field.empty() && scan_width_integer(field.c_str(), 8, value) != 0) {
      if (value < 0) {
        keys.descending = true;
        value = -value;
      }
      keys.columns.push_back(static_cast<std::int32_t>(value - 1));  // at most 8 characters
    }
    at = end + 1;
  }
  return keys;
}

// The comparison of two rows on the key columns `keys` (each in range, repeated
// keys removed), ascending or descending.
class RowOrder {
 public:
  RowOrder(std::vector<std::uint32_t> keys, bool descending)
      : keys_(std::move(keys)), sign_(descending ? -1 : 1) {}

  /// -1, 0 or +1 as the rows compare: a NaN on a key decides nothing. Keys whose
  /// bit in a NaN pattern (nan_mask) is set in `skip` are passed over.
  int compare(const double* a, const double* b, std::uint32_t skip = 0) const {
    for (std::size_t i = 0; i < keys_.size(); ++i) {
      if (skip != 0 && i < nan_bit_.size() && nan_bit_[i] != 0 && (skip & nan_bit_[i]) != 0) {
        continue;
      }
      const double x = a[keys_[i]];
      const double y = b[keys_[i]];
      if (x < y) return -sign_;
      if (x > y) return sign_;
    }
    return 0;
  }

  /// The strict weak ordering for key columns without NaN.
  bool less(const double* a, const double* b) const { return compare(a, b) < 0; }

  /// The strict weak ordering with NaN above every number on its key.
  bool less_nan_high(const double* a, const double* b) const {
    for (std::uint32_t k : keys_) {
      const double x = a[k];
      const double y = b[k];
      const bool x_nan = std::isnan(x);
      const bool y_nan = std::isnan(y);
      if (x_nan || y_nan) {
        if (x_nan && y_nan) continue;
        return (y_nan ? -sign_ : sign_) < 0;
      }
      if (x < y) return sign_ > 0;
      if (x > y) return sign_ < 0;
    }
    return false;
  }

  /// Marks the keys that hold a NaN in some row; false when there is none.
  bool find_nan_keys(double* const* rows, std::size_t n) {
    nan_bit_.assign(keys_.size(), 0);
    std::size_t found = 0;
    for (std::size_t i = 0; i < keys_.size(); ++i) {
      const std::uint32_t k = keys_[i];
      for (std::size_t r = 0; r < n; ++r) {
        if (std::isnan(rows[r][k])) {
          // Keys beyond the 32nd holding NaN share no bit: the check below gives up.
          nan_bit_[i] = found < 32 ? std::uint32_t{1} << found : 0;
          ++found;
          break;
        }
      }
    }
    nan_keys_ = found;
    return found != 0;
  }
  std::size_t nan_keys() const { return nan_keys_; }

  /// The NaN pattern of a row over the keys that hold NaN.
  std::uint32_t nan_mask(const double* row) const {
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < keys_.size(); ++i) {
      if (nan_bit_[i] != 0 && std::isnan(row[keys_[i]])) mask |= nan_bit_[i];
    }
    return mask;
  }

 private:
  std::vector<std::uint32_t> keys_;
  int sign_;
  std::vector<std::uint32_t> nan_bit_;  // per key: its bit in a NaN pattern, 0 for none
  std::size_t nan_keys_ = 0;
};

// Heap sort by a three-way comparison: every index stays in range whatever the
// comparison answers.
template <class Compare>
void heap_sort(double** rows, std::size_t n, Compare compare) {
  auto sift_down = [&](std::size_t root, std::size_t end) {
    for (;;) {
      std::size_t child = 2 * root + 1;
      if (child >= end) return;
      if (child + 1 < end && compare(rows[child], rows[child + 1]) < 0) ++child;
      if (compare(rows[root], rows[child]) >= 0) return;
      std::swap(rows[root], rows[child]);
      root = child;
    }
  };
  for (std::size_t i = n / 2; i-- > 0;) sift_down(i, n);
  for (std::size_t end = n; end > 1; --end) {
    std::swap(rows[0], rows[end - 1]);
    sift_down(0, end - 1);
  }
}

// True when no row of `rows` compares smaller than a row before it. Rows are
// grouped by their NaN pattern: between two patterns p and q the comparison
// passes over the keys of p | q and is a plain lexicographic order on the rest,
// so the greatest earlier row of each pattern is all there is to compare with.
bool in_order(double* const* rows, std::size_t n, const RowOrder& order) {
  constexpr std::size_t kMaxPatterns = 32;
  if (order.nan_keys() > 32) return false;
  std::vector<std::uint32_t> patterns;
  std::vector<std::uint8_t> pattern_of = vector_or_die<std::uint8_t>(__FILE_NAME__, __LINE__, n);
  for (std::size_t r = 0; r < n; ++r) {
    const std::uint32_t mask = order.nan_mask(rows[r]);
    auto at = std::find(patterns.begin(), patterns.end(), mask);
    if (at == patterns.end()) {
      if (patterns.size() == kMaxPatterns) return false;
      at = patterns.insert(patterns.end(), mask);
    }
    pattern_of[r] = static_cast<std::uint8_t>(at - patterns.begin());
  }
  const std::size_t k = patterns.size();
  // greatest[p * k + q]: the greatest row of pattern p so far, on the keys outside p | q.
  std::vector<const double*> greatest(k * k, nullptr);
  for (std::size_t r = 0; r < n; ++r) {
    const std::size_t q = pattern_of[r];
    for (std::size_t p = 0; p < k; ++p) {
      const double* before = greatest[p * k + q];
      if (before != nullptr && order.compare(rows[r], before, patterns[p] | patterns[q]) < 0) {
        return false;
      }
    }
    for (std::size_t p = 0; p < k; ++p) {
      const double*& top = greatest[q * k + p];
      if (top == nullptr || order.compare(rows[r], top, patterns[q] | patterns[p]) > 0) {
        top = rows[r];
      }
    }
  }
  return true;
}

void sort_rows(double** rows, std::size_t n, RowOrder& order) {
  if (!order.find_nan_keys(rows, n)) {
    std::sort(rows, rows + n,
              [&order](const double* a, const double* b) { return order.less(a, b); });
    return;
  }
  const auto nan_high = [&order](const double* a, const double* b) {
    return order.less_nan_high(a, b);
  };
  std::sort(rows, rows + n, nan_high);
  if (in_order(rows, n, order)) return;
  heap_sort(rows, n, [&order](const double* a, const double* b) { return order.compare(a, b); });
  if (in_order(rows, n, order)) return;
  std::sort(rows, rows + n, nan_high);
}

OpResult run(const Job& job) {
  const Settings& s = settings();
  const SortKeys keys = parse_keys(g_keys);
  announce(job, keys.descending ? "desc" : "asc");
  Frame frame(job, {.rows = true, .flags = false});
  const std::uint32_t cols = frame.cols();
  const std::uint32_t rows = frame.counted_rows();
  // Every key is checked before the output is opened, so a bad key leaves it
  // untouched. A file without data has nothing to sort and no key to check.
  std::vector<std::uint32_t> columns;
  for (std::size_t i = 0; cols != 0 && i < keys.columns.size(); ++i) {
    const std::int32_t column = keys.columns[i];
    if (column < 0 || static_cast<std::uint32_t>(column) >= cols) {
      KEST_FATAL("sorting column %d out of range ( 1 <= %d <= %lu)", static_cast<int>(i),
                 column + 1, static_cast<unsigned long>(cols));
    }
    // A repeated key never decides.
    if (std::find(columns.begin(), columns.end(), column) == columns.end()) {
      columns.push_back(static_cast<std::uint32_t>(column));
    }
  }
  if (!s.quiet) std::fprintf(stderr, "Found %lu rows.\n", static_cast<unsigned long>(rows));
  Output& out = frame.open_output(Shape{cols, rows});
  if (cols != 0 && rows != 0) {
    Matrix<double> table = frame.read_table(true);
    if (!s.quiet) std::fputs("Sorting...", stderr);
    if (!columns.empty()) {
      RowOrder order(std::move(columns), keys.descending);
      sort_rows(table.rows(), rows, order);
    }
    if (!s.quiet) std::fputs("done\n", stderr);
    for (std::uint32_t r = 0; r < rows; ++r) out.write(table[r], cols);
  }
  return frame.finish(rows);
}

constexpr OptionSpec kOptions[] = {
    {"sort|qsort", 'q', OptionArg::kRequired, OptionArg::kRequired,
     [](const char* arg, OpChoice& choice) {
       g_keys = arg;
       choice.choose(OpCode::kSort);
     }},
};
constexpr Variant kVariants[] = {
    {OpCode::kSort, true, false, "Sorting %sending\n", "Kest: Sorting %s "},
};

}  // namespace

extern const Operation kSortera = {"sortera", kOptions, kVariants, run,
                                   [] { g_keys = std::string(kDefaultKeys); }};

}  // namespace kest
