// Number scanning with the exact results of the library's scan conversions.
//
// The data-file reader counts values as " %*g" does and parses them as "%lf" does.
// A fast path handles the plain decimal forms; everything else (hex floats, inf and
// nan spellings, odd or overlong texts) goes to the library scan itself, so the
// consumed length and the value are always those of the scan.
#pragma once

#include <cstddef>

namespace kest {

/// Scans one value at `text` (a NUL-terminated string) as sscanf(text, "%lf%n")
/// would: leading white space is skipped. Returns the number of characters
/// consumed and stores the value, or returns 0 (value untouched) when the scan
/// converts nothing.
std::size_t scan_double(const char* text, double* value);

/// scan_double that also tells whether the number's text is the default number
/// text of its value, were a separator to follow: an optional '-', "0" or up to
/// eight digits without a leading zero (seven after the '-'), then no point or
/// one to six decimals, the last not 0. Copying such a text writes the bytes the
/// value's text would be. The flag is set only when a value was stored.
std::size_t scan_double(const char* text, double* value, bool* canonical);

/// Like sscanf(text, " %*g%n"): the number of characters consumed by one number
/// (leading white space included), or 0 when no number is there.
std::size_t scan_number_length(const char* text);

/// scan_number_length that also tells, as scan_double does, whether the text is
/// the default number text of its value.
std::size_t scan_number_shape(const char* text, bool* canonical);

/// The library reference for both, used by the fallback and the differential tests.
std::size_t scan_double_reference(const char* text, double* value);
std::size_t scan_number_length_reference(const char* text);

}  // namespace kest
