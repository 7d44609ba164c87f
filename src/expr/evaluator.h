// The evaluator of the expression language: a program is a sequence of
// assignments "name = expression;" over double-precision values.
//
// Grammar, lowest precedence first (each level left-associative):
//   statement      name ("=" | ":=") ternary ";"  |  ";"
//   ternary        logical_or { "?" logical_or ":" logical_or }
//   logical_or     logical_and { "||" logical_and }
//   logical_and    relationals_eq { "&&" relationals_eq }
//   relationals_eq relationals { ("==" | "!=" | "<>") relationals }
//   relationals    plus_minus { ("<" | "<=" | ">" | ">=") plus_minus }
//   plus_minus     term { ("+" | "-") term }
//   term           factor { ("^" | "**") factor } { ("*" | "/" | "%" | "\") factor }
//   factor         number | name | "(" ternary ")" | ("+" | "-") ternary
//                  | function "(" arguments ")"
// Its long-standing quirks are part of the language: the power loop comes before
// the product loop (2*3^2 is a syntax error), a unary sign covers a whole
// ternary (-1+2 is -3), both branches of ?: and both sides of && and || are
// always evaluated, and a?b:c?d:e is (a?b:c)?d:e.
//
// Design: translate once, replay per run. A text is parsed once by the same
// recursive descent and scanner that define the language, but instead of
// computing, every step is recorded in the order it happens: the value
// operations as stack-machine instructions, and also every marker that switches
// the verbose report, every out-of-range number literal, the debug traces, and
// the syntax error (if any) that would end the scan at its place. Because the
// path of the parse never depends on values (nothing is short-circuited), running
// the recording does exactly what parsing the text again would do, in the same
// order: side effects, traces and error reports at the same statement, with the
// scanner positions the reports show. Names are interned once, so a run looks up
// no text and allocates nothing but the records of new variables.
//
// Nesting (parentheses, unary signs, function arguments) is limited to
// kMaxNesting levels; deeper texts fail with a syntax-error report, so no text can
// exhaust the stack. Only the one-time translation recurses; a run works on an
// explicit value stack sized by the translation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "expr/lexer.h"
#include "expr/variables.h"

namespace kest {

inline constexpr int kMaxNesting = 1000;

/// One program text, translated and ready to run any number of times.
class Program {
 public:
  /// Translates `text` (debug traces are recorded when Settings.debug is on).
  /// Nothing is reported here; every error surfaces when the run reaches it.
  explicit Program(std::string text);

  /// Runs the program: reads and writes the variable lists, uses and updates
  /// `lex.verbose`, and ends the process (status 1) on an error.
  void run(Lexer& lex);

  const std::string& text() const { return text_; }

  enum class Op : std::uint8_t;
  struct Instruction {
    Op op;
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    double number = 0;
  };

 private:
  friend class ProgramTranslator;
  std::string text_;
  std::vector<Instruction> code_;
  std::vector<Failure> failures_;
  std::vector<ReportSite> sites_;
  std::vector<double> stack_;
};

/// Runs `text` once with `lex` (translation and run).
void evaluate_program(Lexer& lex, const char* text);

}  // namespace kest
