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

std::size_t count_line_feeds(const char* begin, const char* end) {
  std::size_t count = 0;
  const char* p = begin;
  for (; end - p >= 8; p += 8) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    // Line feeds become zero bytes; a byte's top bit is then set exactly when
    // the byte is not zero (no carry leaves a byte).
    const std::uint64_t x = word ^ 0x0a0a0a0a0a0a0a0aULL;
    const std::uint64_t nonzero = ((x & 0x7f7f7f7f7f7f7f7fULL) + 0x7f7f7f7f7f7f7f7fULL) | x;
    // One in the low bit of each line feed's byte; the product sums the bytes
    // into the top one.
    const std::uint64_t feeds = (~nonzero & 0x8080808080808080ULL) >> 7;
    count += static_cast<std::size_t>((feeds * 0x0101010101010101ULL) >> 56);
  }
  for (; p < end; ++p) count += *p == '\n';
  return count;
}

}  // namespace kest
