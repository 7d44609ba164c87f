// Column math functions (--math=func): applies one named function to every value
// of the selected columns. The logarithms refuse values not above zero (unless
// --special-log replaces them by the logarithm of 1e-100), inv refuses zero and
// NaN, sqrt refuses negative values: each refusal ends the run with the rows
// before it written. A name outside the table (names are compared exactly, so
// "Sin" is one) is refused before any file is opened.
#include <cmath>
#include <cstdio>
#include <string>

#include "base/settings.h"
#include "ops/frame.h"

namespace kest {

namespace {

using Function = double (*)(double);

constexpr double kLn10 = 2.302585092994046;
constexpr double kLn2 = 0.6931471805599453;

// The natural logarithm divided by `divisor`. A value not above zero gives
// `special` with --special-log and is fatal without; NaN gives NaN.
double checked_log(double x, double divisor, double special) {
  if (x <= 0) {
    if (settings().special_log) return special;
    KEST_FATAL(
        "Logarithm taken of zero or negative number\n"
        "Select --special-log to replace offenders by log(1e-100).\n");
  }
  return std::log(x) / divisor;
}

struct Named {
  const char* name;
  Function function;
};

// The special values are the logarithms of 1e-100 in each base; "log" and "log2"
// divide the natural logarithm rather than call the library's own.
constexpr Named kFunctions[] = {
    {"nop", [](double x) { return x; }},
    {"fabs", [](double x) { return std::fabs(x); }},
    {"cos", [](double x) { return std::cos(x); }},
    {"cosh", [](double x) { return std::cosh(x); }},
    {"sin", [](double x) { return std::sin(x); }},
    {"sinh", [](double x) { return std::sinh(x); }},
    {"ln", [](double x) { return checked_log(x, 1, -230.25850929940458); }},
    {"log", [](double x) { return checked_log(x, kLn10, -100); }},
    {"log10", [](double x) { return checked_log(x, kLn10, -100); }},
    {"log2", [](double x) { return checked_log(x, kLn2, -332.19280948873626); }},
    {"acos", [](double x) { return std::acos(x); }},
    {"asin", [](double x) { return std::asin(x); }},
    {"tan", [](double x) { return std::tan(x); }},
    {"atan", [](double x) { return std::atan(x); }},
    {"ceil", [](double x) { return std::ceil(x); }},
    {"floor", [](double x) { return std::floor(x); }},
    {"inv",
     [](double x) {
       if (!(std::fabs(x) > 0)) KEST_FATAL("Division by zero\n");
       return 1 / x;
     }},
    {"x2", [](double x) { return x * x; }},
    {"x3", [](double x) { return x * (x * x); }},
    {"sqrt",
     [](double x) {
       if (x < 0) KEST_FATAL("Square root of a negative number\n");
       return std::sqrt(x);
     }},
    {"sqrt3", [](double x) { return std::pow(x, 0.3333333333333333); }},
    {"exp", [](double x) { return std::exp(x); }},
    {"pow2", [](double x) { return std::exp2(x); }},
    {"pow10", [](double x) { return std::pow(10.0, x); }},
};

std::string g_function;  ///< the --math name

Function function_named(const std::string& name) {
  for (const Named& entry : kFunctions) {
    if (name == entry.name) return entry.function;
  }
  KEST_FATAL("Unknown --math function %s\n", name.c_str());
}

OpResult run(const Job& job) {
  const std::string& name = g_function;
  const Function function = function_named(name);
  announce(job, name.c_str());
  Frame frame(job);
  Output& out = frame.open_output(frame.shape());
  return frame.finish(frame.write_changed(out, function));
}

constexpr OptionSpec kOptions[] = {
    {"math", 0, OptionArg::kRequired, OptionArg::kNone,
     [](const char* arg, OpChoice& choice) {
       g_function = arg;
       choice.choose(OpCode::kMath);
     }},
};
constexpr Variant kVariants[] = {
    {OpCode::kMath, true, true, "Apply function %s to selected columns\n", "Kest: Apply %s "},
};

}  // namespace

extern const Operation kMathCol = {"math_col", kOptions, kVariants, run,
                                   [] { g_function.clear(); }};

}  // namespace kest
