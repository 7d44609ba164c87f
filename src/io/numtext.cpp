// Number texts with the bytes of printf's "%.<p>g" and "%f" conversions.
//
// std::to_chars with an explicit precision writes exactly what printf writes in the
// "C" locale, at a fraction of the cost; only infinity and not-a-number, whose
// spellings are the library's own, go through snprintf.
#include "io/numtext.h"

#include <algorithm>
#include <charconv>
#include <cmath>
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

std::size_t format_number_default(double value, char* out) {
  if (!std::isfinite(value)) return library_text("%f", value, out);  // "inf", "-nan", ...
  if (std::fabs(value) >= kFixedLimit) return format_general(value, 17, out);

  const std::to_chars_result result =
      std::to_chars(out, out + kNumberTextSize - 1, value, std::chars_format::fixed, 6);
  if (result.ec != std::errc()) return format_number_default_reference(value, out);
  std::size_t length = static_cast<std::size_t>(result.ptr - out);
  if (length > kMaxFixedLength) return format_general(value, 17, out);

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
