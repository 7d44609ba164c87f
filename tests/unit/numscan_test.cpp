// Differential tests of the fast number scan against the library scan.
#include "io/numscan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "io/numtext.h"
#include "support.h"

namespace kest {
namespace {

using testing::kScale;

// Same value bits; any NaN equals any NaN of the same sign.
bool same_value(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) {
    return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
  }
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Compares both scans of `text` (length, value, or the value left untouched)
// with the library; false, after a test failure, on a difference.
bool matches_library(const std::string& text) {
  double fast = -12345.0, reference = -12345.0;
  const std::size_t fast_length = scan_double(text.c_str(), &fast);
  const std::size_t reference_length = scan_double_reference(text.c_str(), &reference);
  const std::size_t counted = scan_number_length(text.c_str());
  const std::size_t reference_counted = scan_number_length_reference(text.c_str());
  // A text marked as its value's own default text (before a blank or the end)
  // is that text, byte for byte; the shape scan marks what the value scan marks.
  double marked = 0;
  bool canonical = false, shaped = false;
  const std::size_t marked_length = scan_double(text.c_str(), &marked, &canonical);
  const bool ends =
      marked_length != 0 && (text[marked_length] == '\0' || text[marked_length] == ' ');
  char own[kNumberTextSize];
  const std::size_t skipped = text.find_first_not_of(" \t\n\v\f\r");
  const bool sound = !canonical || !ends ||
                     text.substr(skipped, marked_length - skipped) ==
                         std::string(own, format_number_default_reference(marked, own));
  const bool same = fast_length == reference_length && same_value(fast, reference) &&
                    counted == reference_counted && marked_length == fast_length &&
                    scan_number_shape(text.c_str(), &shaped) == counted &&
                    (shaped == canonical || marked_length == 0) && sound;
  EXPECT_TRUE(same) << '"' << text.substr(0, 40) << "\" (" << text.size() << " characters): scan "
                    << fast_length << " " << fast << ", library " << reference_length << " "
                    << reference << "; count " << counted << ", library " << reference_counted;
  return same;
}

TEST(NumScan, AdversarialTextsMatchLibrary) {
  // clang-format off
  const char* const bodies[] = {
      "+", "-", "+-1", "-+1", ".", "..", ".5", "5.", "-.5", "+.5", "1e", "1e+", "1e-", "1E5",
      "1e+5", "1e-5", "1e5e5", "1..2", "1.2.3", "0x", "0X", "0x1", "0x1p", "0x1p+", "0x1P-3",
      "0x.8", "0x1.8p1", "0xg", "-0x10", "0xp3", "-0", "+0", "0", "00", "000.000e000",
      "123456789012345678901234567890", "0.000000000000000000000000000001", "1e308",
      "1.7976931348623157e308", "1.7976931348623159e308", "1e309", "-1e309",
      "2.2250738585072014e-308", "2.2250738585072011e-308", "4.9406564584124654e-324",
      "2.4703282292062327e-324", "2.4703282292062328e-324", "1e-400", "-1e-400", "1e-320",
      "1e99999999999999999999", "1e-99999999999999999999", "0e99999999999999999999", "inf", "INF",
      "iNf", "infinity", "INFINITY", "InFiNiTy", "infin", "infinit", "inx", "i", "in", "nan", "NAN",
      "nAn", "nan(123)", "nan()", "-nan", "+NaN", "na", "n", "9007199254740993",
      "9007199254740992.5", "0.1", "1e23", "8.98846567431158e307", "1,2", "1;2", "12abc", "e5", "E",
      "+e", "-x", "1 2 3", "", "x1", ".e1", "00x1", "+7", "1e 2", "1E+-5", "0x1p3", "-Inf",
      "INFINITYz",
  };
  // clang-format on
  const char* const prefixes[] = {"", " ", "\t", " \t\n\v\f\r", "   "};
  const char* const suffixes[] = {"", " ", ",", "x", ".", "+", "-", "e", "E5", "p", "\n", "0"};
  for (const char* body : bodies) {
    for (const char* prefix : prefixes) {
      for (const char* suffix : suffixes) {
        if (!matches_library(std::string(prefix) + body + suffix)) return;
      }
    }
  }
}

// Random texts from the pieces a number scan reacts to.
std::string random_text(std::mt19937_64& rng) {
  auto pick = [&rng](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
  auto digits = [&](std::string& s, std::size_t max) {
    const std::size_t count = pick(max + 1);
    for (std::size_t i = 0; i < count; ++i) s += static_cast<char>('0' + pick(10));
  };
  static const char* const kSpaces[] = {"", "", "", " ", "\t", "  ", "\n", " \r\v\f"};
  static const char* const kSigns[] = {"", "", "", "-", "+", "+-", "--"};
  static const char* const kSpecial[] = {
      "inf",  "INF", "Infinity", "infINITY", "infini", "nan",       "NaN",    "nan(123)",
      "nAn(", "in",  "na",       "0x",       "0X1.",   "0x1p-1074", "0xfFp+", "0x.p1"};
  static const char* const kTails[] = {"",  "",  "",   " ",  ",",   "x",  ".",  "+",  "-",
                                       "e", "E", " 7", ",3", "abc", "..", "e+", "\n", "p2"};
  std::string s = kSpaces[pick(std::size(kSpaces))];
  s += kSigns[pick(std::size(kSigns))];
  if (pick(12) == 0) {
    s += kSpecial[pick(std::size(kSpecial))];
  } else {
    digits(s, pick(4) == 0 ? 30 : 8);
    if (pick(2) == 0) {
      s += '.';
      if (pick(10) == 0) s += '.';
      digits(s, pick(4) == 0 ? 30 : 8);
    }
    if (pick(3) == 0) {
      s += pick(2) == 0 ? 'e' : 'E';
      if (pick(2) == 0) s += pick(2) == 0 ? '-' : '+';
      if (pick(8) == 0) s += pick(2) == 0 ? '-' : '+';
      digits(s, pick(6) == 0 ? 22 : 3);
    }
  }
  s += kTails[pick(std::size(kTails))];
  return s;
}

TEST(NumScan, RandomTextsMatchLibrary) {
  std::mt19937_64 rng(20240611);
  const int count = 1000000 / kScale;
  for (int i = 0; i < count; ++i) {
    if (!matches_library(random_text(rng))) return;
  }
}

// Random bit patterns (subnormals, huge values, NaN, infinity included) written
// as data files hold them, texts close to the midpoint of two neighbouring
// doubles, and exponents far out of range.
TEST(NumScan, PrintedDoublesMatchLibrary) {
  std::mt19937_64 rng(77);
  const int count = 200000 / kScale;
  char text[128];
  for (int i = 0; i < count; ++i) {
    double v;
    const std::uint64_t b = rng();
    std::memcpy(&v, &b, sizeof v);
    const int digits = static_cast<int>(b % 30);
    const long double midpoint = (static_cast<long double>(v) + std::nextafter(v, INFINITY)) / 2;
    const double scaled = std::ldexp(v, -static_cast<int>(b % 1100));
    const double tiny = static_cast<double>(b >> 11) * 1e-300;
    // clang-format off
    switch (i % 6) {
      case 0: std::snprintf(text, sizeof text, "%.17g", v); break;
      case 1: std::snprintf(text, sizeof text, "%.*e", digits, v); break;
      case 2: std::snprintf(text, sizeof text, "%.6f", scaled); break;
      case 3: std::snprintf(text, sizeof text, "%.17e5", tiny); break;
      case 4: std::snprintf(text, sizeof text, "%.*Le", digits + 15, midpoint); break;
      default: std::snprintf(text, sizeof text, "%a", v); break;
    }
    // clang-format on
    if (!matches_library(text)) return;
  }
}

// Tokens longer than the library fallback's first window, long digit runs, and
// long runs of zeros that would bring a huge exponent back into range if the
// exponent stopped counting early.
TEST(NumScan, LongTextsMatchLibrary) {
  const std::string digits(5000, '7'), hex_digits(1000, 'f'), zeros(99999, '0');
  for (const std::string& text :
       {digits, "0." + digits + "e-5000", "1" + digits + "e-5100", "0x" + hex_digits + " 5",
        "0x" + hex_digits + "p-4000", "-0x1." + hex_digits, "inf" + std::string(3000, 'x'),
        "infin" + std::string(3000, 'i'), "nan" + std::string(3000, 'n'),
        std::string(3000, ' ') + "0x1p3", "0x" + std::string(254, '0') + "1",
        "0x" + std::string(253, '0') + "1", "0x" + std::string(252, '0') + "1",
        "0." + zeros + "1e1000000", "0." + zeros + "1e99999", "1" + zeros + "e-1000000",
        "0." + zeros + zeros + "1e200000", "1" + zeros + "e-99990", "0." + zeros + "1e-5"}) {
    matches_library(text);
  }
}

// A line of tokens that all take the library fallback is walked token by token:
// each scan looks only at its own token.
TEST(NumScan, LongLineOfLibraryTokensIsScannedToTheEnd) {
  const int tokens = 200000 / kScale;
  std::string line;
  for (int i = 0; i < tokens; ++i) line += i % 2 == 0 ? "-inf " : "0x1p1 ";
  int counted = 0;
  double v = 0.0, sum = 0.0;
  const char* p = line.c_str();
  while (const std::size_t length = scan_double(p, &v)) {
    ASSERT_EQ(scan_number_length(p), length);
    p += length;
    ++counted;
    if (std::isfinite(v)) sum += v;
  }
  EXPECT_EQ(counted, tokens);
  EXPECT_EQ(sum, 2.0 * (tokens / 2));
}

}  // namespace
}  // namespace kest
