// The scans of option arguments the operations' options share with the driver's.
#pragma once

#include <cstdint>

namespace kest {

/// Converts an option argument like strtod (trailing text ignored). No conversion
/// is fatal; a range error is reported with the prefix "get_double" and the
/// converted value used.
double get_double(const char* text);

/// A long from strtol held in a signed 32-bit field: out-of-range values stop at
/// the nearest end of the range, as a 32-bit strtol would give them.
std::int32_t clamp_int32(long long value);

/// The scanf conversion "%lf" (and "%lg") at `text`, which moves past it; false
/// when nothing was converted.
bool scan_double(const char*& text, double& value);
/// The scanf conversion "%d": strtol in base 10, held as int32.
bool scan_int(const char*& text, std::int32_t& value);
/// A literal character of a scanf format.
bool scan_literal(const char*& text, char c);
/// A blank of a scanf format: any number of blanks.
void skip_blanks(const char*& text);

}  // namespace kest
