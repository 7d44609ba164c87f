// The evaluator: precedence and the language's quirks, every error in both report
// modes, the order of side effects against errors, traces, replayed runs, the
// nesting limit and where assignments go.
#include "expr/evaluator.h"

#include <limits>

#include "expr_support.h"

namespace kest {
namespace {

using testing::Ending;
using testing::in_order;
using testing::run_ending;
using testing::status_of;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class EvaluatorTest : public testing::ExprTest {
 protected:
  Ending run(const std::string& text) {
    return run_ending([&] { evaluate_program(lex_, text.c_str()); });
  }
  double value(const char* name) {
    double* found = assigned_variables().find(name);
    return found != nullptr ? *found : -999.25;
  }
  Lexer lex_;
};

TEST_F(EvaluatorTest, PrecedenceAndQuirks) {
  // clang-format off
  for (const auto& [text, expected] : std::initializer_list<std::pair<const char*, double>>{
           {"x=2^3*4;", 32},       {"x=2*(3^2);", 18},     {"x=2^3^2;", 64},    {"x=-1+2;", -3},
           {"x=(-1)+2;", 1},       {"x=-2^2;", -4},        {"x=2*-3+1;", -8},   {"x=+1-3;", -2},
           {"x=-c[1]<0;", -1},     {"x=1-2-3;", -4},       {"x=12/2/3;", 2},    {"x=1==1;", 1},
           {"x=1==2;", 0},         {"x=1<>2;", 1},         {"x=1!=1;", 0},      {"x=3>2>1;", 0},
           {"x=2<=2;", 1},         {"x=2>=3;", 0},         {"x=1+1<3==1;", 1},  {"x=1?2:3?4:5;", 4},
           {"x=0?2:3;", 3},        {"x=5%3;", 2},          {"x=-5%3;", -2},     {"x=5\\3;", 2},
           {"x=5%0;", kNaN},       {"x=1/0;", kInf},       {"x=-1/0;", -kInf},  {"x=1/0==1/0;", 0},
           {"x=(0/0)!=(0/0);", 1}, {"x=(0/0)?1:2;", 2},    {"x=(0/0)||0;", 0},  {"x=2&&-1;", 1},
           {"x=0||0;", 0},         {"x=_c;", 299792458},   {"x=0x10+.5;", 16.5}, {";;x=1;;", 1},
           {"x:=_pi*2;", 6.283185307179586}, {"x=_e;", 2.718281828459045},
           {"x=fmod(7,-4)+pow(2,10);", 1027}}) {
    // clang-format on
    reset_variables();
    row_inputs().push_front("c[1]", -2);
    const Ending ending = run(text);
    EXPECT_EQ(status_of(ending), -1) << text << ending.out << ending.err;
    EXPECT_TRUE(testing::same_value(value("x"), expected)) << text << " gave " << value("x");
  }
}

TEST_F(EvaluatorTest, Assignments) {
  row_inputs().push_front("c[1]", 5);
  EXPECT_EQ(status_of(run("x=1;y=x+1;c[1]=0;z=c[1];_pi=3;w=_pi;y=y*10;")), -1);
  EXPECT_EQ(value("y") + value("z") * 10 + value("w") * 100, 320);
  EXPECT_EQ(*row_inputs().find("c[1]"), 5) << "assigning c[1] hides the input, never changes it";
  std::string order;
  assigned_variables().for_each([&](const VariableView& v) { order += v.name + " "; });
  EXPECT_EQ(order, "w _pi z c[1] y x ")
      << "new records go to the front; a reassignment keeps its place";
  EXPECT_EQ(run("a=c[01];").out, "SyntaxError\n") << "c[01] is a name of its own";
}

TEST_F(EvaluatorTest, ErrorsInBothReportModes) {
  struct Case {
    const char* text;  // run once as it stands and once after "#?"
    const char* error;
    const char* prefix = "";  // the platform's message, written in both modes
  };
  for (const Case& c : std::initializer_list<Case>{
           {"x=2*3^2;",
            "error: unexpected symbol symbol_raised_to '^' or '**'  "
            "(expecting symbol_semicolon ';' )\n"},
           {"x=1", "symbol_period '.'  (expecting symbol_semicolon"},
           {"x 1;", "symbol_number (expecting symbol_assign '=' )\n"},
           {"x=(1;", "symbol_semicolon ';'  (expecting symbol_rparen"},
           {"x=1?2;", "symbol_semicolon ';'  (expecting symbol_colon"},
           {"x=atan2(1);", "symbol_rparen ')'  (expecting symbol_comma"},
           {"x=y+1;", "error: variable/constant (y) not found\n"},
           {"x=Sin(1);", "error: unknown function (Sin())\n"},
           {"x=1+;", "error: factor: space-indent on; syntax error (;)\n"},
           {"x=log(0);", "", "eval_func: Numerical result out of range\n"},
           {"x=acosh(0.5);", "", "eval_func: Numerical argument out of domain\n"},
           {"x=(-8)^(1/3);", "", "term: Numerical argument out of domain\n"},
           {"x=10**400;", "", "term: Numerical result out of range\n"},
           {"x=1>0 ? 1 : ln(-1);", "", "eval_func: Numerical argument out of domain\n"}}) {
    const Ending quiet = run(c.text);
    EXPECT_EQ(status_of(quiet), 1) << c.text;
    EXPECT_EQ(quiet.out, "SyntaxError\n") << c.text;
    EXPECT_EQ(quiet.err, c.prefix) << c.text;

    lex_ = Lexer{};
    const Ending verbose = run(std::string("#?") + c.text);
    EXPECT_EQ(verbose.out, "") << c.text;
    EXPECT_TRUE(in_order(verbose.err, {c.prefix, "program=", "lex->last_last_sym=", c.error}))
        << c.text;
    // Domain and range errors go on with the function's result in verbose mode.
    EXPECT_EQ(status_of(verbose), c.error[0] == '\0' ? -1 : 1) << c.text;
    lex_ = Lexer{};
  }
  // A statement that is no assignment is always reported in full.
  const Ending ending = run("x=1;(y)=2;");
  EXPECT_EQ(status_of(ending), 1);
  EXPECT_EQ(ending.out, "");
  EXPECT_TRUE(in_order(ending.err, {"Expected \"symbol_identifier \"variable\"\" or "
                                    "\"symbol_semicolon ';' \", got \"symbol_lparen",
                                    "program=", "lex->last_last_sym="}));
  EXPECT_EQ(lex_.verbose, 1);
}

TEST_F(EvaluatorTest, SideEffectsHappenInTextOrderBeforeLaterErrors) {
  // The first statement's domain error comes before the second statement's syntax error.
  const Ending ending = run("#? a=1; x=ln(-1); y=2*3^2;");
  EXPECT_TRUE(
      in_order(ending.err, {"eval_func: ", "where=16\n", "unexpected symbol symbol_raised_to"}));
  EXPECT_EQ(value("a"), 1);
  EXPECT_TRUE(std::isnan(value("x")));
  EXPECT_EQ(status_of(run("z=9; q=$;")), 1);
  EXPECT_EQ(value("z"), 9) << "the assignment ran before the scan met the unknown character";
  // The scan of the symbol after ';' comes before the assignment it closes.
  reset_variables();
  EXPECT_EQ(status_of(run("w=1; $")), 1);
  EXPECT_EQ(assigned_variables().find("w"), nullptr);
  // A marker switches the report on where the scan passes it, also inside an expression.
  lex_ = Lexer{};
  EXPECT_TRUE(in_order(run("x=ln(-1) #? ;").err, {"eval_func: ", "lex->pc="}));
}

// A text is translated once: each run replays its reports and looks its names
// up afresh.
TEST_F(EvaluatorTest, ATranslatedProgramReplaysEveryRun) {
  Program program("#? x=1e999; n=n+1;");
  assigned_variables().push_front("n", 0);
  const Ending ending = run_ending([&] { program.run(lex_), program.run(lex_); });
  EXPECT_EQ(status_of(ending), -1);
  EXPECT_TRUE(in_order(ending.err, {"getsym: ", "where=5\n", "getsym: ", "where=5\n"}));
  EXPECT_EQ(value("n"), 2);
  EXPECT_EQ(value("x"), kInf);
  lex_ = Lexer{};
  Program reads_later("y=later;");
  EXPECT_EQ(status_of(run_ending([&] { reads_later.run(lex_); })), 1);
  assigned_variables().push_front("later", 4);
  EXPECT_EQ(status_of(run_ending([&] { reads_later.run(lex_); })), -1);
  EXPECT_EQ(value("y"), 4);
}

// Parentheses, unary signs and function arguments each count a level ("(-" two).
TEST_F(EvaluatorTest, NestingLimit) {
  auto nested = [](int depth, const char* open, const char* close) {
    std::string text = "x=";
    for (int i = 0; i < depth; ++i) text += open;
    text += "1";
    for (int i = 0; i < depth; ++i) text += close;
    return text + ";";
  };
  for (const auto& [open, close] : std::initializer_list<std::pair<const char*, const char*>>{
           {"(", ")"}, {"-", ""}, {"+", ""}, {"sin(", ")"}, {"(-", ")"}}) {
    lex_ = Lexer{};
    const int levels = open[1] == '-' ? 2 : 1;
    EXPECT_EQ(status_of(run(nested(kMaxNesting / levels, open, close))), -1) << open;
    EXPECT_EQ(run(nested(kMaxNesting / levels + 1, open, close)).out, "SyntaxError\n") << open;
    EXPECT_TRUE(in_order(
        run("#?" + nested(100000, open, close)).err,
        {"lex->last_last_sym=", "error: expression nested too deeply (more than 1000 levels)\n"}))
        << open;
  }
}

}  // namespace
}  // namespace kest
