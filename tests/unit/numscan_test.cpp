// Differential tests of the fast number scan against the library scan.
#include "io/numscan.h"

#include <gtest/gtest.h>

#include "support.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace kest {
namespace {

using testing::kScale;

std::uint64_t bits_of(double v) {
  std::uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

// Same value bits; any NaN equals any NaN of the same sign.
bool same_value(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) {
    return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
  }
  return bits_of(a) == bits_of(b);
}

// Compares both scans of `text` with the library; returns false (after adding a
// test failure) on the first difference.
bool matches_library(const std::string& text) {
  const double kUntouched = -12345.0;
  double fast = kUntouched;
  double reference = kUntouched;
  const std::size_t fast_length = scan_double(text.c_str(), &fast);
  const std::size_t reference_length = scan_double_reference(text.c_str(), &reference);
  EXPECT_EQ(fast_length, reference_length) << "scan_double of \"" << text << "\"";
  EXPECT_TRUE(same_value(fast, reference))
      << "scan_double of \"" << text << "\": " << fast << " vs " << reference;
  EXPECT_EQ(scan_number_length(text.c_str()), scan_number_length_reference(text.c_str()))
      << "scan_number_length of \"" << text << "\"";
  return fast_length == reference_length && same_value(fast, reference) &&
         scan_number_length(text.c_str()) == scan_number_length_reference(text.c_str());
}

TEST(NumScan, CollectsAsTheLibraryScanDoes) {
  struct Case {
    const char* text;
    std::size_t length;
    double value;  // NAN: the scan converts nothing
  };
  const Case cases[] = {
      {"1e 2", 2, 1.0},       {"1e+", 3, 1.0},
      {"1E-x", 3, 1.0},       {".5", 2, 0.5},
      {"5.", 2, 5.0},         {"1..2", 2, 1.0},
      {"1e5e5", 3, 1e5},      {"-0", 2, -0.0},
      {" \t12,", 4, 12},      {"1x", 1, 1.0},
      {"00x1", 2, 0.0},       {"0e", 2, 0.0},
      {"+7", 2, 7.0},         {"1E+-5", 3, 1.0},
      {"-", 0, NAN},          {"+-1", 0, NAN},
      {".", 0, NAN},          {"-.", 0, NAN},
      {".e1", 0, NAN},        {"", 0, NAN},
      {"   ", 0, NAN},        {"x1", 0, NAN},
      {"0x1p3", 5, 8.0},      {"infx", 3, INFINITY},
      {"-Inf", 4, -INFINITY}, {"INFINITYz", 8, INFINITY},
      {"infinit", 0, NAN},
  };
  for (const Case& c : cases) {
    double v = -12345.0;
    EXPECT_EQ(scan_double(c.text, &v), c.length) << c.text;
    EXPECT_EQ(scan_number_length(c.text), c.length) << c.text;
    if (std::isnan(c.value)) {
      EXPECT_EQ(v, -12345.0) << c.text << ": value must stay untouched";
    } else {
      EXPECT_TRUE(same_value(v, c.value)) << c.text << ": " << v;
    }
    matches_library(c.text);
  }
}

TEST(NumScan, AdversarialTextsMatchLibrary) {
  // clang-format off
  const char* const bodies[] = {
      "+", "-", "+-1", "-+1", ".", "..", ".5", "5.", "-.5", "+.5", "1e", "1e+", "1e-", "1E5",
      "1e+5", "1e-5", "1e5e5", "1..2", "1.2.3", "0x", "0X", "0x1", "0x1p", "0x1p+", "0x1P-3",
      "0x.8", "0x1.8p1", "0xg", "-0x10", "0xp3", "-0", "+0", "0", "00", "000.000e000",
      "123456789012345678901234567890", "0.000000000000000000000000000001",
      "1e308", "1.7976931348623157e308", "1.7976931348623159e308", "1e309", "-1e309",
      "2.2250738585072014e-308", "2.2250738585072011e-308", "4.9406564584124654e-324",
      "2.4703282292062327e-324", "2.4703282292062328e-324", "1e-400", "-1e-400", "1e-320",
      "1e99999999999999999999", "1e-99999999999999999999", "0e99999999999999999999",
      "inf", "INF", "iNf", "infinity", "INFINITY", "InFiNiTy", "infin", "infinit", "inx",
      "i", "in", "nan", "NAN", "nAn", "nan(123)", "nan()", "-nan", "+NaN", "na", "n",
      "9007199254740993", "9007199254740992.5", "0.1", "1e23", "8.98846567431158e307",
      "1,2", "1;2", "12abc", "e5", "E", "+e", "-x", "1 2 3",
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
  // Long runs of zeros that would bring a huge exponent back into range if the
  // exponent stopped counting early.
  const std::string zeros(99999, '0');
  for (const std::string& text :
       {"0." + zeros + "1e1000000", "0." + zeros + "1e99999", "1" + zeros + "e-1000000",
        "0." + zeros + zeros + "1e200000", "1" + zeros + "e-99990", "0." + zeros + "1e-5"}) {
    EXPECT_TRUE(matches_library(text)) << text.substr(0, 12) << "..." << text.substr(text.size() - 12);
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

TEST(NumScan, PrintedDoublesMatchLibrary) {
  // Random bit patterns (subnormals, huge values, NaN, infinity included) written as
  // data files hold them, texts close to the midpoint of two neighbouring doubles,
  // and exponents far out of range.
  std::mt19937_64 rng(77);
  const int count = 200000 / kScale;
  char text[128];
  for (int i = 0; i < count; ++i) {
    double v;
    const std::uint64_t b = rng();
    std::memcpy(&v, &b, sizeof v);
    switch (i % 6) {
      case 0:
        std::snprintf(text, sizeof text, "%.17g", v);
        break;
      case 1:
        std::snprintf(text, sizeof text, "%.*e", static_cast<int>(b % 25), v);
        break;
      case 2:
        std::snprintf(text, sizeof text, "%.6f", std::ldexp(v, -static_cast<int>(b % 1100)));
        break;
      case 3:
        std::snprintf(text, sizeof text, "%.17e5", static_cast<double>(b >> 11) * 1e-300);
        break;
      case 4: {
        const long double midpoint =
            (static_cast<long double>(v) + std::nextafter(v, INFINITY)) / 2;
        std::snprintf(text, sizeof text, "%.*Le", static_cast<int>(b % 30) + 15, midpoint);
        break;
      }
      default:
        std::snprintf(text, sizeof text, "%a", v);
        break;
    }
    if (!matches_library(text)) return;
  }
}

TEST(NumScan, LongTokensMatchLibrary) {
  // Tokens longer than the library fallback's first window, and long digit runs.
  const std::string digits(5000, '7');
  const std::string hex_digits(1000, 'f');
  const std::vector<std::string> texts = {
      digits,
      "0." + digits + "e-5000",
      "1" + digits + "e-5100",
      "0x" + hex_digits + " 5",
      "0x" + hex_digits + "p-4000",
      "-0x1." + hex_digits,
      "inf" + std::string(3000, 'x'),
      "infin" + std::string(3000, 'i'),
      "nan" + std::string(3000, 'n'),
      std::string(3000, ' ') + "0x1p3",
      "0x" + std::string(254, '0') + "1",
      "0x" + std::string(253, '0') + "1",
      "0x" + std::string(252, '0') + "1",
  };
  for (const std::string& text : texts) matches_library(text);
}

TEST(NumScan, LongLineOfLibraryTokensIsScannedToTheEnd) {
  // A line of tokens that all take the library fallback: the scan must walk it
  // token by token (each scan looks only at its own token).
  std::string line;
  const int tokens = 200000 / kScale;
  for (int i = 0; i < tokens; ++i) line += i % 2 == 0 ? "-inf " : "0x1p1 ";
  std::size_t position = 0;
  int counted = 0;
  double sum = 0.0;
  while (true) {
    double v = 0.0;
    const std::size_t length = scan_double(line.c_str() + position, &v);
    if (length == 0) break;
    ASSERT_EQ(scan_number_length(line.c_str() + position), length);
    position += length;
    ++counted;
    if (std::isfinite(v)) sum += v;
  }
  EXPECT_EQ(counted, tokens);
  EXPECT_EQ(sum, 2.0 * (tokens / 2));
}

}  // namespace
}  // namespace kest
