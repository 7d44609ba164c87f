#include "expr/builtins.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace kest {

namespace {

/// x truncated toward zero to a signed 32-bit integer; NaN and values whose
/// truncation lies outside the range give the integer minimum.
std::int32_t truncate_to_int32(double x) {
  if (!(x > -2147483649.0 && x < 2147483648.0)) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(x);
}

double int_of(double x, double) {
  return truncate_to_int32(x);
}

double factorial(double x, double) {
  std::int32_t n = truncate_to_int32(x);
  if (n <= 1) return 1;
  // 171! and beyond exceed the double range; the product would only reach infinity later.
  if (n >= 171) return std::numeric_limits<double>::infinity();
  double product = 1;
  for (std::int32_t i = 2; i <= n; ++i) product *= i;
  return product;
}

// The inverse hyperbolic functions follow their defining formulas, so outside
// their domain they give what the formula gives and set the error indicator
// exactly when its square root or logarithm does.
double acosh_of(double x, double) {
  return std::log(x + std::sqrt(x - 1) * std::sqrt(x + 1));
}
double asinh_of(double x, double) {
  return std::log(x + std::sqrt(x * x + 1));
}
double atanh_of(double x, double) {
  return 0.5 * std::log((1 + x) / (1 - x));
}

double sgn_of(double x, double) {
  return x < 0 ? -1 : x > 0 ? 1 : 0;
}
double frac_of(double x, double) {
  return x - std::trunc(x);
}

#define KEST_UNARY(fn) [](double x, double) { return fn(x); }
#define KEST_BINARY(fn) [](double x, double y) { return fn(x, y); }

constexpr FunctionEntry kFunctions[] = {
    {"abs", 1, KEST_UNARY(std::fabs), "absolute value"},
    {"acos", 1, KEST_UNARY(std::acos), "arccosine, returns radians"},
    {"acosh", 1, acosh_of, "inverse hyperbolic cosine"},
    {"asin", 1, KEST_UNARY(std::asin), "arcsine, returns radians"},
    {"asinh", 1, asinh_of, "inverse hyperbolic sine"},
    {"atan", 1, KEST_UNARY(std::atan), "arctangent, returns radians"},
    {"atan2", 2, KEST_BINARY(std::atan2), "arctangent of x/y, returns radians"},
    {"atanh", 1, atanh_of, "inverse hyperbolic tangent"},
    {"ceil", 1, KEST_UNARY(std::ceil), "nearest larger integer"},
    {"cos", 1, KEST_UNARY(std::cos), "cosine"},
    {"cosh", 1, KEST_UNARY(std::cosh), "hyperbolic cosine"},
    {"exp", 1, KEST_UNARY(std::exp), "e raised to the power of x"},
    {"fabs", 1, KEST_UNARY(std::fabs), "return the absolute value"},
    {"fact", 1, factorial, "x!"},
    {"floor", 1, KEST_UNARY(std::floor), "nearest lower integer"},
    {"fmod", 2, KEST_BINARY(std::fmod), "remainder of x/y"},
    {"frac", 1, frac_of, "fractional part of x"},
    {"int", 1, int_of, "int"},
    {"ln", 1, KEST_UNARY(std::log), "natural logaritm (e based)"},
    {"log", 1, KEST_UNARY(std::log10), "10th logarithm (10 based)"},
    {"pow", 2, KEST_BINARY(std::pow), "x raised to the power of y"},
    {"sgn", 1, sgn_of, "-1 if x<0, 1 if x>0, 0 if x=0"},
    {"sin", 1, KEST_UNARY(std::sin), "sine"},
    {"sinh", 1, KEST_UNARY(std::sinh), "hyperbolic sine"},
    {"sqrt", 1, KEST_UNARY(std::sqrt), "squareroot"},
    {"tan", 1, KEST_UNARY(std::tan), "tangent"},
    {"tanh", 1, KEST_UNARY(std::tanh), "hyperbolic tangent"},
    {"trunc", 1, KEST_UNARY(std::trunc), "integral part of x"},
};

#undef KEST_UNARY
#undef KEST_BINARY

constexpr ConstantEntry kConstants[] = {
    {"_c", 299792458, "Speed of light"},
    {"_e", 2.718281828459045, "Base of the natural logarithm"},
    {"_pi", 3.141592653589793, "PI I.e. 3.1415927"},
};

constexpr bool names_ascend() {
  for (std::size_t i = 1; i < std::size(kFunctions); ++i) {
    if (!(std::string_view(kFunctions[i - 1].name) < std::string_view(kFunctions[i].name))) {
      return false;
    }
  }
  return true;
}
static_assert(names_ascend(), "the function table must stay sorted for the binary search");

}  // namespace

std::span<const FunctionEntry> function_table() {
  return kFunctions;
}

std::span<const ConstantEntry> constant_table() {
  return kConstants;
}

const FunctionEntry* find_function(std::string_view name) {
  const FunctionEntry* end = std::end(kFunctions);
  const FunctionEntry* found = std::lower_bound(
      std::begin(kFunctions), end, name,
      [](const FunctionEntry& entry, std::string_view key) { return entry.name < key; });
  return found != end && found->name == name ? found : nullptr;
}

std::optional<double> find_constant(std::string_view name) {
  for (const ConstantEntry& entry : kConstants) {
    if (entry.name == name) return entry.value;
  }
  return std::nullopt;
}

void print_functions(std::FILE* stream) {
  for (const FunctionEntry& entry : kFunctions) {
    std::string signature = entry.name;
    signature.push_back('(');
    char letter = entry.arity < 4 ? 'x' : 'a';
    for (std::uint32_t i = 0; i < std::min<std::uint32_t>(entry.arity, 26); ++i) {
      if (i != 0) signature.push_back(',');
      // Past 'z' the letters wrap around to 'a'.
      signature.push_back(static_cast<char>('a' + (letter - 'a' + i) % 26));
    }
    signature.push_back(')');
    std::fprintf(stream, "%-12s %s\n", signature.c_str(), entry.description);
  }
}

void print_constants(std::FILE* stream) {
  for (const ConstantEntry& entry : kConstants) {
    std::fprintf(stream, "%-12s %s\n", entry.name, entry.description);
  }
}

void print_operators(std::FILE* stream) {
  std::fputs(
      "Unary operators:\n"
      "\t+ -\n\n"
      "Binary operators: (in order of precedence\n"
      "\t^ **\n"
      "\t* / % \\ \n"
      "\t+ -\n"
      "\t< <= => >\n"
      "\t== != <>\n"
      "\t&&\n"
      "\t||\n\n"
      "Tertinary operators:\n"
      "\t?:\n",
      stream);
}

void print_examples(std::FILE* stream) {
  std::fputs(
      "Some examples for --eval:\n"
      "If t.dat is 2 columns & tt.dat the result.\n"
      "  kest --eval=\"n[1]=c[1]+c[2]\" t.dat tt.dat\n"
      "will make a new third column that is the sum of column 1 & 2.\n"
      "\n"
      "  kest --eval=\"n[1]=c[1]+c[2];n[4]=c[1]*c[2];n[5]=n[3]/n[4]\" t.dat tt.dat\n"
      "will take the quote of the sum and the product of column 1 & 2\n"
      "\n"
      "  kest --eval=\"r[1]=c[1]+c[2]\" t.dat tt.dat\n"
      "will replace the first column with the sum of column 1 & 2\n"
      "\n"
      "  kest --eval=\"r[2]=sin(c[2])\" t.dat tt.dat\n"
      "will replace column 2 with the sine of column 2\n"
      "\n"
      "'n[1]' is the first new column. If you use 'n[3]' without 'n[1]' & 'n[2]', 'n[3]' will "
      "be the first column\n"
      "\n"
      "  kest --eval=\"a=g[1]; g[1]=g[1]+c[1];b=cos(a);n[1]=b\"  t.dat tt.dat\n"
      "will make 'a' a temp. copy of 'g[1]', 'g[1]' will be the running sum of column 1, 'b' "
      "is the cosine of 'a' and stored in a new column.\n"
      "\n"
      "  kest --eval-begin=\"g[1]=1\" --eval=\"g[1]=g[1]*c[1]\" --eval-end=\"r[1]=g[1]\"\n"
      "will initialize 'g[1]' to 1 then multiply all column 1 values and write an extra line "
      "with the total product\n",
      stream);
}

}  // namespace kest
