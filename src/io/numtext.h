// Number texts with the exact bytes of the library's printf conversions, without
// calling printf on the common path.
#pragma once

#include <cstddef>

namespace kest {

/// Room enough for every text written by the functions below, NUL included.
inline constexpr std::size_t kNumberTextSize = 64;

/// The text of "%.<precision>g" (precision 1 to 40) into `out`; returns its length.
std::size_t format_general(double value, int precision, char* out);

/// The default text of a value: "%f" trimmed of trailing zeros and a final '.',
/// or "%.17g" when the full "%f" text is longer than 15 characters.
/// Writes into `out` (kNumberTextSize bytes) and returns the length.
std::size_t format_number_default(double value, char* out);

/// The library reference for both, used by the differential tests.
std::size_t format_general_reference(double value, int precision, char* out);
std::size_t format_number_default_reference(double value, char* out);

}  // namespace kest
