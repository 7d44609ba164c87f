// Number scanning with the results of the library's "%lf" and "%*g" conversions.
//
// The library scan first collects characters greedily and then converts the
// collected text with strtod: an optional sign, digits with at most one '.', an
// 'e' only after a digit, a sign only right after the 'e', then digits. The value
// is taken when strtod used at least one character of the collected text, while
// the position moves past all of it ("1e+" gives 1 and consumes three characters).
// The fast path follows exactly that rule for plain decimal texts and converts
// with std::from_chars, which rounds correctly as strtod does. Hex floats, the
// inf and nan spellings and out-of-range results go to the library scan, run on a
// bounded copy of the token: the library scan measures its whole input with strlen
// on every call, which would make each call cost the rest of a long line.
#include "io/numscan.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>

#include "base/text.h"

namespace kest {
namespace {

// Case-insensitive test of one ASCII letter: `lower` must be a lower-case letter.
inline bool letter_is(char c, char lower) {
  return (c | 0x20) == lower;
}

// Where the exponent stops growing: above any digit count a text can have.
constexpr long long kExponentLimit = 1LL << 56;

// Window of the library fallback that stays on the stack.
constexpr std::size_t kLocalWindow = 256;

// Runs the library scan on a copy of the token at `token` (white space already
// skipped). The copy ends at the first white space or NUL, which the scan treats
// alike as the end of the number, or at the window size. When the window cuts the
// token and the scan may have run into the cut (it failed, or used the whole
// window) the scan is repeated on a window twice as large, so the total work stays
// proportional to the token. Returns the characters consumed from `token`, or 0.
std::size_t scan_token_with_library(const char* token, double* value) {
  char local[kLocalWindow];
  std::unique_ptr<char[]> heap;
  std::size_t window = kLocalWindow - 1;
  for (;;) {
    char* buffer = local;
    if (window >= kLocalWindow) {
      heap.reset(new char[window + 1]);
      buffer = heap.get();
    }
    std::size_t length = 0;
    while (length < window && token[length] != '\0' && !is_blank(token[length])) {
      buffer[length] = token[length];
      ++length;
    }
    buffer[length] = '\0';
    const bool cut = length == window && token[length] != '\0' && !is_blank(token[length]);

    long consumed = 0;  // a long count: a window may outgrow int
    bool converted;
    if (value != nullptr) {
      double v = 0.0;
      converted = std::sscanf(buffer, "%lf%ln", &v, &consumed) == 1;
      if (converted && (!cut || static_cast<std::size_t>(consumed) < length)) {
        *value = v;
        return static_cast<std::size_t>(consumed);
      }
    } else {
      consumed = -1;
      std::sscanf(buffer, "%*g%ln", &consumed);
      converted = consumed > 0;
      if (converted && (!cut || static_cast<std::size_t>(consumed) < length)) {
        return static_cast<std::size_t>(consumed);
      }
    }
    if (!cut) return 0;
    window = window * 2 + 1;
  }
}

// The scan of one number at `text`: returns the consumed length (leading white
// space included) or 0, and stores the value when kValue is set (a count needs
// only the length).
template <bool kValue>
[[gnu::always_inline]] inline std::size_t scan(const char* text, double* value,
                                               bool* canonical = nullptr) {
  const char* p = text;
  while (is_blank(*p)) ++p;
  const char* const token = p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  const char* const mantissa = p;

  // Hex floats and the inf and nan spellings are the library's.
  auto by_library = [&] {
    const std::size_t consumed = scan_token_with_library(token, value);
    return consumed == 0 ? 0 : static_cast<std::size_t>(token - text) + consumed;
  };

  // The digits are gathered as they are scanned; with at most 19 of them the
  // gathered integer is exact (a longer text wraps it, and then from_chars decides).
  std::uint64_t digits = 0;
  const char* const integer_start = p;
  while (is_digit(*p)) {
    if constexpr (kValue) digits = digits * 10 + static_cast<std::uint64_t>(*p - '0');
    ++p;
  }
  std::size_t count = static_cast<std::size_t>(p - integer_start);
  if (count == 0 && (letter_is(*p, 'i') || letter_is(*p, 'n'))) return by_library();
  if (count == 1 && *integer_start == '0' && letter_is(*p, 'x')) return by_library();
  bool got_digit = count != 0;
  const std::size_t integer_count = count;
  bool point = false;
  long long scale = 0;
  if (*p == '.') {
    point = true;
    const char* const fraction = ++p;
    while (is_digit(*p)) {
      if constexpr (kValue) digits = digits * 10 + static_cast<std::uint64_t>(*p - '0');
      ++p;
    }
    const std::size_t fraction_count = static_cast<std::size_t>(p - fraction);
    count += fraction_count;
    scale = -static_cast<long long>(fraction_count);
    got_digit = got_digit || fraction_count != 0;
  }
  if (!got_digit) return 0;  // a lone sign or '.': strtod takes none of it
  // The exponent saturates far beyond any scale a line can hold, so that leading
  // or trailing zeros can never bring a huge exponent back into range.
  const char* const mantissa_end = p;
  long long exponent = 0;
  if (letter_is(*p, 'e')) {
    ++p;
    const bool negative_exponent = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    while (is_digit(*p)) {
      if (kValue && exponent < kExponentLimit) exponent = exponent * 10 + (*p - '0');
      ++p;
    }
    if (negative_exponent) exponent = -exponent;
  }

  if (canonical != nullptr) {
    // Such a text has at most fourteen digits and at most six decimals: its value
    // below takes the exact path.
    const auto decimals = static_cast<std::size_t>(-scale);
    *canonical = p == mantissa_end && *token != '+' && integer_count >= 1 &&
                 integer_count + (negative ? 1 : 0) <= 8 &&
                 (integer_count == 1 || *mantissa != '0') &&
                 (!point || (decimals >= 1 && decimals <= 6 && p[-1] != '0'));
  }

  if constexpr (kValue) {
    // Exact digits and a power of ten that are both doubles need one rounding,
    // which is the correctly rounded result strtod gives.
    static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                         1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const long long power = scale + exponent;
    const bool exact_digits = count <= 19 && digits <= (std::uint64_t{1} << 53);
    if (exact_digits && (digits == 0 || (power >= -22 && power <= 22))) {
      double v = static_cast<double>(digits);
      if (digits != 0) v = power < 0 ? v / kPowers[-power] : v * kPowers[power];
      *value = negative ? -v : v;
      return static_cast<std::size_t>(p - text);
    }
    // from_chars takes the longest valid prefix, as strtod does ("1e+" gives 1).
    double v = 0.0;
    const std::from_chars_result result =
        std::from_chars(mantissa, p, v, std::chars_format::general);
    // Out of range: the library decides between infinity, zero and a subnormal.
    if (result.ec != std::errc()) return by_library();
    *value = negative ? -v : v;
  }
  return static_cast<std::size_t>(p - text);
}

}  // namespace

std::size_t scan_double(const char* text, double* value) {
  return scan<true>(text, value);
}

std::size_t scan_double(const char* text, double* value, bool* canonical) {
  *canonical = false;
  return scan<true>(text, value, canonical);
}

std::size_t scan_number_length(const char* text) {
  return scan<false>(text, nullptr);
}

std::size_t scan_number_shape(const char* text, bool* canonical) {
  *canonical = false;
  return scan<false>(text, nullptr, canonical);
}

std::size_t scan_double_reference(const char* text, double* value) {
  double v = 0.0;
  int consumed = 0;
  if (std::sscanf(text, "%lf%n", &v, &consumed) != 1) return 0;
  *value = v;
  return static_cast<std::size_t>(consumed);
}

std::size_t scan_number_length_reference(const char* text) {
  int consumed = 0;
  std::sscanf(text, " %*g%n", &consumed);
  return static_cast<std::size_t>(consumed);
}

}  // namespace kest
