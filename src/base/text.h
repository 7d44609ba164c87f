// Small text routines: the one classification of blanks, digits and letters,
// the "%<width>d" integer scan, bounded copy and the path splitter.
#pragma once

#include <cstddef>

namespace kest {

/// White space as isspace classifies it in the "C" locale: blank, \t, \n, \v, \f, \r.
constexpr bool is_blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
/// A decimal digit 0 to 9.
constexpr bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }
/// An ASCII letter.
constexpr bool is_letter(char c) {
  return static_cast<unsigned char>((c | 0x20) - 'a') < 26;
}

/// The scanf conversion "%<width>d": leading white space, then at most `width`
/// characters of an optional sign and decimal digits. Returns the characters used
/// (white space included) and stores the value, or 0 when no digit was read. A
/// width of at most 18 always fits the value.
std::size_t scan_width_integer(const char* text, int width, long long& value);

/// Copies at most size - 1 characters of `source` and terminates the copy (nothing
/// is copied when size is 0). Returns the length of `source`; a result of `size`
/// or more means the copy was cut.
std::size_t bounded_copy(char* destination, const char* source, std::size_t size);

/// Result codes of split_path.
inline constexpr int kSplitPathOk = 0;
inline constexpr int kSplitPathNoMemory = 12;  // ENOMEM
inline constexpr int kSplitPathTooLong = 38;   // a part did not fit its buffer

/// Cuts `path` into drive ("C:"), directory (ending with its separator), name and
/// extension (from the last '.', dot included). Any buffer may be null; every
/// given buffer starts as an empty text. '\', '/' and ':' separate.
int split_path(const char* path, char* drive, std::size_t drive_size, char* directory,
               std::size_t directory_size, char* name, std::size_t name_size, char* extension,
               std::size_t extension_size);

}  // namespace kest
