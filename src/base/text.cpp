#include "base/text.h"

#include <cstring>
#include <string_view>

namespace kest {

std::size_t bounded_copy(char* destination, const char* source, std::size_t size) {
  std::size_t length = source == nullptr ? 0 : std::strlen(source);
  if (destination == nullptr || size == 0) return length;
  std::size_t count = length < size ? length : size - 1;
  if (count != 0) std::memcpy(destination, source, count);
  destination[count] = '\0';
  return length;
}

std::size_t scan_width_integer(const char* text, int width, long long& value) {
  const char* p = text;
  while (is_blank(*p)) ++p;
  int used = 0;
  bool negative = false;
  if ((*p == '-' || *p == '+') && used < width) {
    negative = *p == '-';
    ++p;
    ++used;
  }
  long long magnitude = 0;
  const char* digits = p;
  while (used < width && is_digit(*p)) {
    magnitude = magnitude * 10 + (*p - '0');
    ++p;
    ++used;
  }
  if (p == digits) return 0;
  value = negative ? -magnitude : magnitude;
  return static_cast<std::size_t>(p - text);
}

}  // namespace kest
