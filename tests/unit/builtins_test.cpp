// The built-in functions, found by name: every one, the boundaries of int and
// fact, and the formulas outside their domain (the constants and unknown names
// are met by the evaluator's tests, the listings through the command line).
#include "expr/builtins.h"

#include <limits>
#include <set>

#include "expr_support.h"

namespace kest {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMin = -2147483648.0;
constexpr double kPi = 3.141592653589793;

TEST(Builtins, EveryFunction) {
  struct Case {
    const char* name;
    double x, y, expected;
  };
  std::set<std::string> seen;
  // clang-format off
  for (const Case& c : std::initializer_list<Case>{
           {"abs", -2.5, 0, 2.5}, {"acos", 1, 0, 0}, {"acosh", 1, 0, 0}, {"asin", 1, 0, kPi / 2},
           {"asinh", 0, 0, 0}, {"atan", 1, 0, kPi / 4}, {"atan2", 1, 0, kPi / 2},
           {"atanh", 0, 0, 0},
           {"ceil", 1.2, 0, 2}, {"cos", 0, 0, 1}, {"cosh", 0, 0, 1}, {"exp", 0, 0, 1},
           {"fabs", -3, 0, 3}, {"fact", 5, 0, 120}, {"floor", -1.2, 0, -2}, {"fmod", -7, 4, -3},
           {"frac", -2.5, 0, -0.5}, {"int", -2.7, 0, -2}, {"ln", 1, 0, 0}, {"log", 1000, 0, 3},
           {"pow", 2, -1, 0.5}, {"sgn", -0.1, 0, -1}, {"sin", 0, 0, 0}, {"sinh", 0, 0, 0},
           {"sqrt", 16, 0, 4}, {"tan", 0, 0, 0}, {"tanh", 0, 0, 0}, {"trunc", 3e9, 0, 3e9},
           {"atan2", 0, 1, 0}, {"sgn", 0, 0, 0}, {"sgn", kNaN, 0, 0}, {"sgn", 2, 0, 1},
           {"int", 3e9, 0, kMin}, {"int", -3e9, 0, kMin}, {"int", kNaN, 0, kMin},
           {"int", kInf, 0, kMin}, {"int", 2147483647.9, 0, 2147483647},
           {"int", -2147483648.9, 0, kMin}, {"int", -2147483649.0, 0, kMin},
           {"fact", 5.9, 0, 120}, {"fact", 0, 0, 1}, {"fact", 1, 0, 1}, {"fact", -3, 0, 1},
           {"fact", 170, 0, 7.257415615307994e306}, {"fact", 171, 0, kInf},
           {"fact", 2e9, 0, kInf}, {"fact", 3e9, 0, 1}, {"fact", kNaN, 0, 1},
           {"atanh", 1, 0, kInf}, {"frac", kInf, 0, kNaN}}) {
    // clang-format on
    const FunctionEntry* entry = find_function(c.name);
    ASSERT_NE(entry, nullptr) << c.name;
    seen.insert(c.name);
    const double got = entry->function(c.x, c.y);
    EXPECT_TRUE(testing::same_value(got, c.expected) || std::fabs(got - c.expected) < 1e-15)
        << c.name << "(" << c.x << "," << c.y << ") = " << got;
  }
  EXPECT_EQ(seen.size(), function_table().size());
}

}  // namespace
}  // namespace kest
