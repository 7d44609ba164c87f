// The built-in functions and constants of the expression language, and the four
// listings of its vocabulary (--eval-functions, --eval-constants,
// --eval-operators, --eval-examples).
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string_view>

namespace kest {

/// A built-in function; functions of one argument ignore `y`.
using MathFunction = double (*)(double x, double y);

struct FunctionEntry {
  const char* name;
  std::uint32_t arity;
  MathFunction function;
  const char* description;
};

struct ConstantEntry {
  const char* name;
  double value;
  const char* description;
};

/// The 28 functions in ascending byte order of their names.
std::span<const FunctionEntry> function_table();

/// The 3 constants in search order.
std::span<const ConstantEntry> constant_table();

/// Binary search of the function table by exact name; nullptr when absent.
const FunctionEntry* find_function(std::string_view name);

/// The value of the constant of this exact name.
std::optional<double> find_constant(std::string_view name);

/// "%-12s %s\n" with the signature (abs(x), atan2(x,y)) and the description.
void print_functions(std::FILE* stream);
/// "%-12s %s\n" with the name and the description.
void print_constants(std::FILE* stream);
/// The operators by precedence.
void print_operators(std::FILE* stream);
/// Example command lines.
void print_examples(std::FILE* stream);

}  // namespace kest
