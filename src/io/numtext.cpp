// Number texts with the bytes of printf's "%.<p>g" and "%f" conversions.
//
// std::to_chars with an explicit precision writes exactly what printf writes in the
// "C" locale, at a fraction of the cost; only infinity and not-a-number, whose
// spellings are the library's own, go through snprintf.
#include "io/numtext.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace kest {
namespace {

// Longest "%f" text the default form keeps before it switches to "%.17g".
constexpr std::size_t kMaxFixedLength = 15;

// Every value below this magnitude has a "%f" text of at most 17 characters
// ("-999999999.999999", or "-1000000000.000000" after rounding up); every value at
// or above it has one longer than kMaxFixedLength.
constexpr double kFixedLimit = 1e9;

// The length of a text that snprintf wrote into `out` (kNumberTextSize bytes),
// given its return value: what was written, never what did not fit.
std::size_t written_length(int length) {
  if (length < 0) return 0;
  return std::min(static_cast<std::size_t>(length), kNumberTextSize - 1);
}

std::size_t library_text(const char* format, double value, char* out) {
  return written_length(std::snprintf(out, kNumberTextSize, format, value));
}

std::size_t library_general(double value, int precision, char* out) {
  return written_length(std::snprintf(out, kNumberTextSize, "%.*g", precision, value));
}

}  // namespace

std::size_t format_general(double value, int precision, char* out) {
  if (!std::isfinite(value) || precision < 1 || precision > 40) {
    return library_general(value, precision, out);
  }
  const std::to_chars_result result =
      std::to_chars(out, out + kNumberTextSize - 1, value, std::chars_format::general, precision);
  if (result.ec != std::errc()) return library_general(value, precision, out);
  *result.ptr = '\0';
  return static_cast<std::size_t>(result.ptr - out);
}

namespace {

// Below this magnitude the value in millionths stays under 2^53, and the product
// value * 1e6 is off the exact product by at most half its last place (1/16).
constexpr double kScaledLimit = 1073741824.0;  // 2^30

// The two digits of 0 to 99, in order.
constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The decimal digits of `value` at `out`; returns the end. Two digits a step,
// written from the last.
char* write_decimal(std::uint64_t value, char* out) {
  // The digit count from the bit width: log10(2) is about 1233 / 4096.
  static constexpr std::uint64_t kTens[] = {1ULL,
                                            10ULL,
                                            100ULL,
                                            1000ULL,
                                            10000ULL,
                                            100000ULL,
                                            1000000ULL,
                                            10000000ULL,
                                            100000000ULL,
                                            1000000000ULL,
                                            10000000000ULL,
                                            100000000000ULL,
                                            1000000000000ULL,
                                            10000000000000ULL,
                                            100000000000000ULL,
                                            1000000000000000ULL,
                                            10000000000000000ULL,
                                            100000000000000000ULL,
                                            1000000000000000000ULL,
                                            10000000000000000000ULL};
  const int bits = 64 - __builtin_clzll(value | 1);
  std::size_t length = static_cast<std::size_t>((bits * 1233) >> 12);
  if (length < 20 && value >= kTens[length]) ++length;
  if (length == 0) length = 1;
  char* p = out + length;
  while (value >= 100) {
    p -= 2;
    std::memcpy(p, kPairs + 2 * (value % 100), 2);
    value /= 100;
  }
  if (value >= 10) {
    std::memcpy(p - 2, kPairs + 2 * value, 2);
  } else {
    p[-1] = static_cast<char>('0' + value);
  }
  return out + length;
}

// "%.17g" of a value of at least 1e8: integers below 1e17 have at most 17 digits,
// which the conversion writes out whole.
std::size_t general17(double value, char* out) {
  if (std::fabs(value) < 1e17 && value == std::trunc(value)) {
    const std::to_chars_result result =
        std::to_chars(out, out + kNumberTextSize - 1, static_cast<long long>(value));
    *result.ptr = '\0';
    return static_cast<std::size_t>(result.ptr - out);
  }
  return format_general(value, 17, out);
}

}  // namespace

std::size_t format_number_default(double value, char* out) {
  if (!std::isfinite(value)) return library_text("%f", value, out);  // "inf", "-nan", ...
  const double magnitude = std::fabs(value);
  if (magnitude >= kFixedLimit) return general17(value, out);

  if (magnitude < kScaledLimit) {
    // "%f" rounds the exact value to millionths. A count within 0.375 of the
    // product is the nearest one, and the exact value rounds to it as well, since
    // the product is off by at most 1/16; nearer a half the library conversion
    // below decides.
    const double scaled = magnitude * 1e6;
    const auto units = static_cast<long long>(scaled + 0.5);  // the nearest count, or near it
    if (std::fabs(scaled - static_cast<double>(units)) < 0.375) {
      char* p = out;
      if (std::signbit(value)) *p++ = '-';  // "%f" keeps the sign of -0.0 and -1e-7
      p = write_decimal(static_cast<std::uint64_t>(units) / 1000000, p);
      if (static_cast<std::size_t>(p - out) + 7 > kMaxFixedLength) return general17(value, out);
      const auto millionths = static_cast<unsigned>(units % 1000000);
      if (millionths != 0) {
        // Six decimals by pairs, then the trailing zeros go.
        *p = '.';
        std::memcpy(p + 1, kPairs + 2 * (millionths / 10000), 2);
        std::memcpy(p + 3, kPairs + 2 * (millionths / 100 % 100), 2);
        std::memcpy(p + 5, kPairs + 2 * (millionths % 100), 2);
        p += 7;
        while (p[-1] == '0') --p;
      }
      *p = '\0';
      return static_cast<std::size_t>(p - out);
    }
  }

  const std::to_chars_result result =
      std::to_chars(out, out + kNumberTextSize - 1, value, std::chars_format::fixed, 6);
  if (result.ec != std::errc()) return format_number_default_reference(value, out);
  std::size_t length = static_cast<std::size_t>(result.ptr - out);
  if (length > kMaxFixedLength) return general17(value, out);

  // The text always holds a '.': trailing zeros go, then a '.' left at the end.
  while (length > 1 && out[length - 1] == '0') --length;
  if (length > 1 && out[length - 1] == '.') --length;
  out[length] = '\0';
  return length;
}

std::size_t format_general_reference(double value, int precision, char* out) {
  return library_general(value, precision, out);
}

std::size_t format_number_default_reference(double value, char* out) {
  // snprintf reports the length of the full "%f" text (317 characters for
  // -DBL_MAX) while writing only what fits.
  const int full = std::snprintf(out, kNumberTextSize, "%f", value);
  if (full < 0) return 0;
  if (static_cast<std::size_t>(full) > kMaxFixedLength) {
    return library_text("%.17g", value, out);
  }
  std::size_t length = static_cast<std::size_t>(full);
  if (std::memchr(out, '.', length) != nullptr) {
    while (length > 1 && out[length - 1] == '0') --length;
    if (length > 1 && out[length - 1] == '.') --length;
    out[length] = '\0';
  }
  return length;
}

}  // namespace kest
