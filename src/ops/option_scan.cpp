#include "ops/option_scan.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/diagnostics.h"
#include "base/text.h"
#include "io/numscan.h"

namespace kest {

double get_double(const char* text) {
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text, &end);
  if (end == text) KEST_FATAL("Unable to convert \"%s\" to a number", text);
  if (errno != 0) std::fprintf(stderr, "get_double: %s\n", std::strerror(errno));
  return value;
}

std::int32_t clamp_int32(long long value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

bool scan_double(const char*& text, double& value) {
  const std::size_t used = kest::scan_double(text, &value);
  text += used;
  return used != 0;
}

bool scan_int(const char*& text, std::int32_t& value) {
  char* end = nullptr;
  errno = 0;
  const long raw = std::strtol(text, &end, 10);
  if (end == text) return false;
  value = clamp_int32(raw);
  text = end;
  return true;
}

bool scan_literal(const char*& text, char c) {
  if (*text != c) return false;
  ++text;
  return true;
}

void skip_blanks(const char*& text) {
  while (is_blank(*text)) ++text;
}

}  // namespace kest
