// Differential tests of the fast number texts against the library's printf.
#include "io/numtext.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "support.h"

namespace kest {
namespace {

using testing::kScale;

std::string general(double v, int precision) {
  char out[kNumberTextSize];
  const std::size_t length = format_general(v, precision, out);
  EXPECT_EQ(std::strlen(out), length);
  return std::string(out, length);
}

std::string default_text(double v) {
  char out[kNumberTextSize];
  const std::size_t length = format_number_default(v, out);
  EXPECT_EQ(std::strlen(out), length);
  return std::string(out, length);
}

// Compares the default text and "%.17g"/"%.18g" of `v` with the library; false,
// after a test failure, on a difference.
bool matches_library(double v) {
  char reference[kNumberTextSize];
  format_number_default_reference(v, reference);
  bool same = default_text(v) == reference;
  EXPECT_EQ(default_text(v), reference) << "default text of " << std::hexfloat << v;
  for (int precision : {17, 18}) {
    format_general_reference(v, precision, reference);
    same = same && general(v, precision) == reference;
    EXPECT_EQ(general(v, precision), reference)
        << "%." << precision << "g of " << std::hexfloat << v;
  }
  return same;
}

// The rule of the default text itself: "%f" without trailing zeros, "%.17g" when
// the "%f" text is longer than 15 characters.
TEST(NumText, DefaultTextTable) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {3, "3"},
      {2.5, "2.5"},
      {1.0 / 3, "0.333333"},
      {-1e-7, "-0"},
      {0.0000005, "0"},                          // just below the halfway point
      {-12345678.5, "-12345678.5"},              // "-12345678.500000" is 16 long: "%.17g"
      {99999999.9999996, "99999999.999999598"},  // "%f" rounds up to 16 characters
      {99999999.9999994, "99999999.999999"},
      {1234567890.1, "1234567890.0999999"},
      {1e20, "1e+20"},
      {-INFINITY, "-inf"},
      {-std::numeric_limits<double>::quiet_NaN(), "-nan"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(default_text(c.value), c.text) << std::hexfloat << c.value;
    matches_library(c.value);
  }
}

TEST(NumText, BoundariesMatchLibrary) {
  // Powers of ten and their neighbours, the length steps of the "%f" text, and the
  // halfway points of its sixth decimal.
  std::vector<double> values;
  for (int e = -325; e <= 309; ++e) {
    const double p = std::pow(10.0, e);
    for (double v : {p, std::nextafter(p, 0.0), std::nextafter(p, INFINITY), 5 * p, 9.5 * p,
                     9.9999995 * p, 9.99999949999 * p, 0.5 * p}) {
      values.push_back(v);
      values.push_back(-v);
    }
  }
  for (double v : {0.0000005,
                   0.0000015,
                   0.0000025,
                   0.5,
                   1.5,
                   2.5,
                   1e8 - 0.0000005,
                   1e8 - 0.000001,
                   1e7 - 0.0000005,
                   1e9 - 0.0000005,
                   1e9,
                   999999999.999999,
                   DBL_MAX,
                   DBL_MIN,
                   DBL_TRUE_MIN,
                   DBL_EPSILON,
                   9007199254740993.0,
                   1.0 / 3,
                   0.1,
                   1e20,
                   HUGE_VAL,
                   123456789.25,
                   -1234567.5,
                   999999999.9999996}) {
    for (double w : {v, std::nextafter(v, 0.0), std::nextafter(v, INFINITY)}) {
      values.push_back(w);
      values.push_back(-w);
    }
  }
  for (double v : values) {
    if (!matches_library(v)) return;
  }
}

TEST(NumText, RandomBitsAndDecimalsMatchLibrary) {
  std::mt19937_64 rng(4711);
  const int count = 300000 / kScale;
  for (int i = 0; i < count; ++i) {
    double v;
    const std::uint64_t b = rng();
    // Any pattern (NaN and subnormals too), six decimals up to the length steps
    // of the "%f" text, small binary fractions, and thousandths.
    const auto millions = static_cast<std::int64_t>(b % 2000000000000001) - 1000000000000000;
    const auto thousands = static_cast<std::int64_t>(b % 2000001) - 1000000;
    // clang-format off
    switch (i % 4) {
      case 0: std::memcpy(&v, &b, sizeof v); break;
      case 1: v = static_cast<double>(millions) / std::pow(10.0, (b % 7) + 6.0); break;
      case 2: v = std::ldexp(static_cast<double>(b >> 11), static_cast<int>(b % 80) - 80); break;
      default: v = static_cast<double>(thousands) / 1000; break;
    }
    // clang-format on
    if (!matches_library(v)) return;
  }
}

// The default text rounds to millionths: values at and around the halves between
// two millionths, at every magnitude of the short form, must round as "%f" does.
TEST(NumText, HalfMillionthsMatchLibrary) {
  std::mt19937_64 rng(2718);
  const int count = 100000 / kScale;
  for (int i = 0; i < count; ++i) {
    const std::uint64_t b = rng();
    const double limit = std::ldexp(1.0, static_cast<int>(b % 31)) * 1e6;
    const double k = std::floor(static_cast<double>(b >> 11) / 9007199254740992.0 * limit);
    double v = (k + 0.5) / 1e6;
    if (b & 1) v = -v;
    for (int step = 0; step < 3; ++step) v = std::nextafter(v, 0.0);
    for (int step = 0; step < 7; ++step) {
      if (!matches_library(v)) return;
      v = std::nextafter(v, v < 0 ? -INFINITY : INFINITY);
    }
  }
}

TEST(NumText, GeneralPrecisionsMatchLibrary) {
  std::mt19937_64 rng(99);
  const int count = 40000 / kScale;
  char reference[kNumberTextSize];
  for (int i = 0; i < count; ++i) {
    double v;
    const std::uint64_t b = rng();
    std::memcpy(&v, &b, sizeof v);
    if (i % 2 == 0) v = std::ldexp(static_cast<double>(b >> 40), static_cast<int>(b % 60) - 40);
    for (int precision = 1; precision <= 40; ++precision) {
      format_general_reference(v, precision, reference);
      ASSERT_EQ(general(v, precision), reference) << "%." << precision << "g of " << v;
    }
  }
}

}  // namespace
}  // namespace kest
