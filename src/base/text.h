// Small text routines: the one classification of blanks, digits and letters,
// the "%<width>d" integer scan, line feeds and bounded copy.
#pragma once

#include <cstddef>

namespace kest {

/// White space as isspace classifies it in the "C" locale: blank, \t, \n, \v, \f, \r.
constexpr bool is_blank(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}
/// A decimal digit 0 to 9.
constexpr bool is_digit(char c) {
  return static_cast<unsigned char>(c - '0') < 10;
}
/// An ASCII letter.
constexpr bool is_letter(char c) {
  return static_cast<unsigned char>((c | 0x20) - 'a') < 26;
}

/// The scanf conversion "%<width>d": leading white space, then at most `width`
/// characters of an optional sign and decimal digits. Returns the characters used
/// (white space included) and stores the value, or 0 when no digit was read. A
/// width of at most 18 always fits the value.
std::size_t scan_width_integer(const char* text, int width, long long& value);

/// The number of line feeds from `begin` to `end`, eight bytes at a time.
std::size_t count_line_feeds(const char* begin, const char* end);

/// Copies at most size - 1 characters of `source` and terminates the copy (nothing
/// is copied when size is 0). Returns the length of `source`; a result of `size`
/// or more means the copy was cut.
std::size_t bounded_copy(char* destination, const char* source, std::size_t size);

}  // namespace kest
