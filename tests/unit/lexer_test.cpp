// The scanner: symbol kinds, markers, limits of names and numbers, its errors in
// both report modes, and the exact form of the verbose report.
#include "expr/lexer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "expr_support.h"

namespace kest {
namespace {

using testing::ExprTest;
using testing::in_order;
using testing::run_captured;

// Every symbol of `text` up to the end, as "kind(payload)" words.
std::string scan_all(Lexer& lex, const char* text) {
  lex.program = lex.pc = text;
  std::string words;
  for (getsym(lex); lex.sym != symbol_period; getsym(lex)) {
    std::string kind = symbol_display_name(lex.sym);
    words += kind.substr(7, kind.find(' ') - 7);
    if (lex.sym == symbol_identifier || lex.sym == symbol_function)
      words.append("(").append(lex.ident).append(")");
    if (lex.sym == symbol_number) words.append(format_text("(%g)", lex.number));
    words.push_back(' ');
  }
  getsym(lex);
  EXPECT_EQ(lex.sym, symbol_period) << "the end repeats";
  return words;
}

using LexerTest = ExprTest;

TEST_F(LexerTest, SymbolSequences) {
  for (const auto& [text, words] : std::initializer_list<std::pair<const char*, const char*>>{
           {"a<>b a!=b",
            "identifier(a) not_equal identifier(b) identifier(a) not_equal identifier(b) "},
           {"a=>b", "identifier(a) assign greater identifier(b) "},
           {"x:=1", "identifier(x) assign number(1) "},
           {"( ) * + , - / : ; < = > ? [ ] ^ % \\",
            "lparen rparen times plus comma minus slash colon semicolon less assign greater "
            "question lsqparen rsqparen raised_to mod mod "},
           {"**&&||==<=>=", "raised_to logic_and logic_or equal less_equal greater_equal "},
           {".5 1.5.3 0x10 2e3 7e",
            "number(0.5) number(1.5) number(0.3) number(16) number(2000) "
            "number(7) identifier(e) "},
           {"sin( sin (", "function(sin) identifier(sin) lparen "},
           {"abcdefghijklmnop", "identifier(abcdefghijklmno) identifier(p) "},
           {"c[123456789012] x [1]",
            "identifier(c[123456789012]) identifier(x) lsqparen number(1) rsqparen "},
           {"_a1_\t\n\v\f\r_", "identifier(_a1_) identifier(_) "},
           {"#? $ x=1;", "identifier(x) assign number(1) semicolon "},
           {"#!\"&|! y", "identifier(y) "},
           {"", ""}}) {
    Lexer lex;
    EXPECT_EQ(scan_all(lex, text), words) << text;
  }
}

TEST_F(LexerTest, MarkersSwitchVerboseAsTheScanPasses) {
  for (const auto& [text, verbose] : std::initializer_list<std::pair<const char*, int>>{
           {"x", 0}, {"#? x", 1}, {"#? x #! y", 0}, {"#!#? y", 1}, {"x #? #!", 0}}) {
    Lexer lex;
    scan_all(lex, text);
    EXPECT_EQ(lex.verbose, verbose) << text;
  }
  Lexer lex;
  lex.program = lex.pc = "a #? b";
  getsym(lex);
  EXPECT_EQ(lex.verbose, 0) << "the marker lies after the first symbol";
  getsym(lex);
  EXPECT_EQ(lex.verbose, 1);
  EXPECT_EQ(lex.last_sym - lex.program, 2) << "a symbol after a marker begins at the marker";
  EXPECT_EQ(lex.last_last_sym - lex.program, 0);
}

TEST_F(LexerTest, ErrorsInBothModes) {
  struct Case {
    const char* text;
    const char* out;
    const char* error;  // the error line; "" when none is written
  };
  for (const Case& c : std::initializer_list<Case>{
           {"x $", "", "error: unknown symbol 36 ($) at $\n"},
           {"#?x .", "", "error: unknown symbol 46 (.) at .\n"},
           {"x & y", "", "error: unknown symbol 38 (&) at & y\n"},
           {"c[a]", "SyntaxError\n", ""},
           {"#?c[a]", "", "error: expecting numeric index\n"},
           {"c[1234567890123]", "SyntaxError\n", ""},
           {"#?c[1234567890123]", "", "error: to long identifier (c[1234567890123)\n"},
           {"#?c[12345678901234]", "",
            "error: unexpected symbol '4' (expecting symbol_rsqparen ']' )\n"},
           {"#?c[1x]", "", "error: unexpected symbol 'x' (expecting symbol_rsqparen ']' )\n"},
           {"#?c[12", "", "error: unexpected symbol '' (expecting symbol_rsqparen ']' )\n"},
           {"#?abcdefghijklmno[1]", "", "error: to long identifier (abcdefghijklmno)\n"},
           {"1e999", "SyntaxError\n", "getsym: Numerical result out of range\n"}}) {
    Lexer lex;
    testing::Outcome outcome = run_captured([&] { scan_all(lex, c.text); });
    EXPECT_EQ(outcome.status, 1) << c.text;
    EXPECT_EQ(outcome.out, c.out) << c.text;
    EXPECT_TRUE(in_order(outcome.err, {c.error})) << c.text;
    // Unknown characters are never preceded by a report; the rest are, in verbose mode.
    bool reported = c.out[0] == '\0' && std::string(c.error).find("unknown") == std::string::npos;
    EXPECT_EQ(outcome.err.find("lex->last_last_sym=") != std::string::npos, reported) << c.text;
  }
}

TEST_F(LexerTest, OutOfRangeNumberGoesOnInVerboseMode) {
  Lexer lex;
  std::string words;
  testing::Outcome outcome = run_captured([&] { words = scan_all(lex, "#? 1e999 1e-400 x"); });
  EXPECT_EQ(outcome.status, -1);
  EXPECT_EQ(words, "number(inf) number(0) identifier(x) ");
  EXPECT_TRUE(in_order(outcome.err, {"getsym: Numerical result out of range\n", "where=3\n",
                                     "getsym: Numerical result out of range\n", "where=9\n"}));
}

TEST_F(LexerTest, VerboseReportLayout) {
  struct Case {
    const char* text;
    std::ptrdiff_t where;
    const char* context;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"ab\tcd+ef", 5, "ab\tcd+ef\n  \t  ^\n"},
           {"0123456789abcdefghijklmnopqrstuvwxyz", 20, "abcdefghijklmnopqrst\n          ^\n"},
           {"short", 9, "short\n     \n"},
           {"", -1, "\n\n"}}) {
    Lexer lex;
    lex.verbose = 1;
    lex.program = c.text;
    lex.pc = c.text + 1;
    lex.last_sym = c.text;
    lex.last_last_sym = c.text;
    testing::Outcome outcome = run_captured([&] { report_syntax_error(77, lex, c.where); });
    EXPECT_EQ(outcome.status, -1) << "a verbose report returns";
    EXPECT_EQ(outcome.err,
              std::string(c.context) +
                  format_text("program=%p\nline=77\nwhere=%ld\n", static_cast<const void*>(c.text),
                              static_cast<long>(c.where)) +
                  "lex->pc=1\nlex->last_sym=0\nlex->last_last_sym=0\n")
        << c.text;
  }
  Lexer quiet;
  quiet.program = "x";
  testing::Outcome outcome = run_captured([&] { report_syntax_error(1, quiet, 0); });
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "SyntaxError\n");
  EXPECT_EQ(outcome.err, "");
}

}  // namespace
}  // namespace kest
