// The number fast paths against the library: every scan consumes what the
// library scan consumes and gives the same value, every number text has the
// bytes of printf's conversion. The first byte picks a precision; the rest is a
// text scanned at every place a number may start (a text marked as the default
// text of its value must be that text), and the values met (with their
// neighbours, and the raw bits of the text's first eight bytes) are written.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "io/numscan.h"
#include "io/numtext.h"

namespace {

using kest::kNumberTextSize;

bool same_value(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string default_text(double value);

// Compares the scans at every place: after a number, and one character on
// where none starts.
void check_scans(const char* text, std::vector<double>& values) {
  for (const char* p = text; *p != '\0';) {
    double fast = 0.25;
    double library = 0.25;
    const std::size_t used = kest::scan_double(p, &fast);
    KEST_FUZZ_CHECK(used == kest::scan_double_reference(p, &library));
    KEST_FUZZ_CHECK(same_value(fast, library));
    KEST_FUZZ_CHECK(kest::scan_number_length(p) == kest::scan_number_length_reference(p));
    // A number marked canonical is the default text of its value.
    double marked = 0.25;
    bool canonical = false;
    KEST_FUZZ_CHECK(kest::scan_double(p, &marked, &canonical) == used && same_value(marked, fast));
    bool shaped = false;
    KEST_FUZZ_CHECK(kest::scan_number_shape(p, &shaped) == kest::scan_number_length(p) &&
                    (used == 0 || shaped == canonical));
    if (canonical) {
      std::string_view token(p, used);
      token.remove_prefix(std::min(token.find_first_not_of(" \t\n\v\f\r"), token.size()));
      KEST_FUZZ_CHECK(used != 0 && token == default_text(fast));
    }
    if (used != 0) values.push_back(fast);
    p += used != 0 ? used : 1;
  }
}

// The default text as the library makes it: "%f" without trailing zeros and a
// final '.', or "%.17g" when the "%f" text is longer than 15 characters.
std::string default_text(double value) {
  char text[512];
  const int length = std::snprintf(text, sizeof text, "%f", value);
  if (length > 15) {
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
  }
  std::string s(text, static_cast<std::size_t>(length));
  if (s.find('.') != std::string::npos) {
    while (s.size() > 1 && s.back() == '0') s.pop_back();
    if (s.size() > 1 && s.back() == '.') s.pop_back();
  }
  return s;
}

std::string general_text(double value, int precision) {
  char text[kNumberTextSize];
  std::snprintf(text, sizeof text, "%.*g", precision, value);
  return text;
}

void check_texts(double value, int precision) {
  char out[kNumberTextSize];
  std::size_t length = kest::format_number_default(value, out);
  KEST_FUZZ_CHECK(std::string(out, length) == default_text(value) && out[length] == '\0');
  for (int p : {precision, 17, 18}) {
    length = kest::format_general(value, p, out);
    KEST_FUZZ_CHECK(std::string(out, length) == general_text(value, p) && out[length] == '\0');
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kest::fuzz::Input input(data, size);
  const int precision = 1 + input.byte() % 40;
  const std::string text(input.rest());

  std::vector<double> values;
  if (text.size() >= sizeof(double)) {
    double bits;
    std::memcpy(&bits, text.data(), sizeof bits);
    values.push_back(bits);
  }
  check_scans(text.c_str(), values);
  for (double value : values) {
    // The neighbours of a value reach the rounding boundaries of its text.
    check_texts(value, precision);
    check_texts(std::nextafter(value, INFINITY), precision);
    check_texts(std::nextafter(value, -INFINITY), precision);
  }
  return 0;
}
