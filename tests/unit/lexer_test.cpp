// The scanner: symbol kinds, markers, limits of names and numbers, its errors in
// both report modes, and the exact form of the verbose report.
#include "expr/lexer.h"

#include "expr_support.h"

namespace kest {
namespace {

using testing::in_order;
using testing::run_ending;
using testing::status_of;
using LexerTest = testing::ExprTest;

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

// The symbols of each text where the scan has choices to make (the operators are
// met by the evaluator's tests), and the verbose switch after the scan: markers
// are passed over, and so is anything else after one in the same scan.
TEST_F(LexerTest, SymbolSequencesAndMarkers) {
  struct Case {
    const char* text;
    const char* words;
    int verbose = 0;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"a<>b!=c=>d:=1",
            "identifier(a) not_equal identifier(b) not_equal identifier(c) "
            "assign greater identifier(d) assign number(1) "},
           {".5 1.5.3 0x10 2e3 7e",
            "number(0.5) number(1.5) number(0.3) number(16) number(2000) number(7) identifier(e) "},
           {"sin( sin (", "function(sin) identifier(sin) lparen "},
           {"abcdefghijklmnop", "identifier(abcdefghijklmno) identifier(p) "},
           {"c[123456789012] x [1]",
            "identifier(c[123456789012]) identifier(x) lsqparen number(1) rsqparen "},
           {"_a1_\t\n\v\f\r_", "identifier(_a1_) identifier(_) "},
           {"#? $ x=1;", "identifier(x) assign number(1) semicolon ", 1},
           {"#? x #!\"&|! y", "identifier(x) identifier(y) "},
           {"#!#? y", "identifier(y) ", 1},
           {"x #? #!", "identifier(x) "},
           {"", ""}}) {
    Lexer lex;
    EXPECT_EQ(scan_all(lex, c.text), c.words) << c.text;
    EXPECT_EQ(lex.verbose, c.verbose) << c.text;
  }
  // A symbol after a marker begins at the marker.
  Lexer lex;
  lex.program = lex.pc = "a #? b";
  getsym(lex);
  getsym(lex);
  EXPECT_EQ(lex.last_sym - lex.program, 2);
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
    const testing::Ending ending = run_ending([&] { scan_all(lex, c.text); });
    EXPECT_EQ(status_of(ending), 1) << c.text;
    EXPECT_EQ(ending.out, c.out) << c.text;
    EXPECT_TRUE(in_order(ending.err, {c.error})) << c.text;
    // Unknown characters are never preceded by a report; the rest are, in verbose mode.
    const bool reported = c.out[0] == '\0' && !testing::contains(c.error, "unknown");
    EXPECT_EQ(testing::contains(ending.err, "lex->last_last_sym="), reported) << c.text;
  }
  // Out-of-range numbers, too large or too small, go on in verbose mode.
  Lexer lex;
  std::string words;
  const testing::Ending ending = run_ending([&] { words = scan_all(lex, "#? 1e999 1e-400 x"); });
  EXPECT_EQ(status_of(ending), -1);
  EXPECT_EQ(words, "number(inf) number(0) identifier(x) ");
  EXPECT_TRUE(in_order(ending.err, {"getsym: Numerical result out of range\n", "where=3\n",
                                    "getsym: Numerical result out of range\n", "where=9\n"}));
}

}  // namespace
}  // namespace kest
