// The built-in functions and constants, their lookup, and the four listings.
#include "expr/builtins.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <set>
#include <string>

#include "expr_support.h"

namespace kest {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMin = -2147483648.0;
constexpr double kPi = 3.141592653589793;

// Every function once, then the boundaries of int and fact and the formulas
// outside their domain.
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
    double got = entry->function(c.x, c.y);
    EXPECT_TRUE(testing::same_value(got, c.expected) || std::fabs(got - c.expected) < 1e-15)
        << c.name << "(" << c.x << "," << c.y << ") = " << got;
  }
  EXPECT_EQ(seen.size(), function_table().size());
  EXPECT_EQ(function_table().size(), 28u);
}

TEST(Builtins, Lookup) {
  EXPECT_EQ(find_function("abs"), &function_table().front());
  EXPECT_EQ(find_function("trunc"), &function_table().back());
  for (const char* absent : {"", "Sin", "exp2", "a", "zz", "sin ", "_pi"}) {
    EXPECT_EQ(find_function(absent), nullptr) << absent;
  }
  EXPECT_EQ(find_constant("_pi"), kPi);
  EXPECT_EQ(find_constant("_PI"), std::nullopt);
}

std::string listing(void (*print)(std::FILE*)) {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* stream = open_memstream(&text, &size);
  print(stream);
  std::fclose(stream);
  std::string result(text, size);
  std::free(text);
  return result;
}

TEST(Builtins, Listings) {
  std::string functions = listing(print_functions);
  EXPECT_EQ(std::count(functions.begin(), functions.end(), '\n'), 28);
  EXPECT_TRUE(testing::in_order(functions, {"abs(x)       absolute value\n"
                                            "acos(x)      arccosine, returns radians\n",
                                            "\natan2(x,y)   arctangent of x/y, returns radians\n",
                                            "\nfmod(x,y)    remainder of x/y\n",
                                            "\nsgn(x)       -1 if x<0, 1 if x>0, 0 if x=0\n"}));
  EXPECT_TRUE(functions.ends_with("\ntrunc(x)     integral part of x\n"));
  EXPECT_EQ(listing(print_constants),
            "_c           Speed of light\n"
            "_e           Base of the natural logarithm\n"
            "_pi          PI I.e. 3.1415927\n");
  EXPECT_EQ(listing(print_operators),
            "Unary operators:\n\t+ -\n\nBinary operators: (in order of precedence\n\t^ **\n"
            "\t* / % \\ \n\t+ -\n\t< <= => >\n\t== != <>\n\t&&\n\t||\n\nTertinary operators:\n"
            "\t?:\n");
  std::string examples = listing(print_examples);
  EXPECT_EQ(std::count(examples.begin(), examples.end(), '\n'), 21);
  EXPECT_TRUE(testing::in_order(
      examples,
      {"Some examples for --eval:\nIf t.dat is 2 columns & tt.dat the result.\n"
       "  kest --eval=\"n[1]=c[1]+c[2]\" t.dat tt.dat\n",
       "\n\n'n[1]' is the first new column. If you use 'n[3]' without 'n[1]' & 'n[2]', 'n[3]' will "
       "be the first column\n\n",
       "  kest --eval=\"a=g[1]; g[1]=g[1]+c[1];b=cos(a);n[1]=b\"  t.dat tt.dat\n"}));
  EXPECT_TRUE(examples.ends_with(
      "  kest --eval-begin=\"g[1]=1\" --eval=\"g[1]=g[1]*c[1]\" --eval-end=\"r[1]=g[1]\"\n"
      "will initialize 'g[1]' to 1 then multiply all column 1 values and write an extra line "
      "with the total product\n"));
}

}  // namespace
}  // namespace kest
