// The row evaluation end to end: the variable families, prolog and epilog,
// selections, deprecated names, the output opened with the first row, the
// error reports of the expression language, and the four listings.
#include <cstdio>

#include "cli_harness.h"

namespace kest_cli {
namespace {

using Args = std::vector<std::string>;

struct Case {
  Args args;             ///< options before "in" and the output
  std::string expected;  ///< the output written
};

class EvalCli : public CliTest {
 protected:
  /// Runs kest with `args`, then "in" (holding `input`) and `out`.
  RunResult eval(const std::string& input, Args args, const std::string& out = "-") const {
    write("in", input);
    args.insert(args.end(), {"in", out});
    return run(args);
  }
  /// Every case succeeds and writes its expected rows to standard output.
  void expect_rows(const std::string& input, const std::vector<Case>& cases) const {
    for (const Case& c : cases) {
      const RunResult r = eval(input, c.args);
      EXPECT_EQ(r.status, 0) << c.args.back() << r.err;
      EXPECT_EQ(r.out, c.expected) << c.args.back();
    }
  }
};

TEST_F(EvalCli, VariableFamilies) {
  expect_rows(
      "# pairs\n1 2\n3 4\n# between\n5 6\n",
      {{{"--eval=n[1]=c[1]+c[2]"}, "1 2 3\n3 4 7\n5 6 11\n"},
       {{"--eval=r[1]=c[1]+c[2]"}, "3 2\n7 4\n11 6\n"},
       {{"--eval=n[3]=c[1]"}, "1 2 1\n3 4 3\n5 6 5\n"},
       {{"--eval=n[1]=2;n[0]=1;n[100]=9;r[3]=9"}, "1 2 1 2\n3 4 1 2\n5 6 1 2\n"},
       {{"--eval=r[1]=0;n[1]=p[1]+p[2]"}, "0 2 0\n0 4 3\n0 6 7\n"},
       {{"--eval=c[1]=0;n[1]=c[1];n[2]=r[1]"}, "1 2 0 1\n3 4 0 3\n5 6 0 5\n"},
       // _line counts data rows only; kept comments stay in their places.
       {{"-a", "--eval=n[1]=_line"}, "# pairs\n1 2 1\n3 4 2\n# between\n5 6 3\n"},
       {{"--skip-rows=2", "--eval=n[1]=_line"}, "3 4 1\n5 6 2\n"},
       {{"--eval-begin=g[1]=0", "--eval=g[1]=g[1]+c[2];n[1]=g[1]"}, "1 2 2\n3 4 6\n5 6 12\n"},
       {{"--eval=n[1]=_pi*2;n[2]=c[1]/0;n[3]=-c[1]/0"},
        "1 2 6.283185 inf -inf\n3 4 6.283185 inf -inf\n5 6 6.283185 inf -inf\n"},
       {{"--eval="}, "1 2\n3 4\n5 6\n"}});
}

TEST_F(EvalCli, PrologAndEpilog) {
  const Args product = {"--eval-begin=g[1]=1", "--eval=g[1]=g[1]*c[1]", "--eval-end=r[1]=g[1]"};
  const Args aliases = {"--eval-prolog=g[1]=1", "--eval=g[1]=g[1]*c[1]", "--eval_epilog=r[1]=g[1]"};
  auto with = [](Args args, const std::string& option) {
    args.insert(args.begin(), option);
    return args;
  };
  expect_rows("2\n3\n4\n", {{product, "2\n3\n4\n24\n"},
                            {aliases, "2\n3\n4\n24\n"},
                            // The header counts the epilog's extra row.
                            {with(product, "--add-line-count"), "4\n2\n3\n4\n24\n"},
                            {with(with(product, "--add-line-count"), "--output-c"),
                             "double data[4][1] = {\n{ 2},\n{ 3},\n{ 4},\n{ 24},\n};\n"}});
  // The epilog sees the last row as p[], starts r[] at 0, and writes only its own n[].
  expect_rows("1 2\n3 4\n", {{{"--eval=n[1]=1;n[2]=2", "--eval-end=n[7]=p[1]+p[2]+r[1]"},
                              "1 2 1 2\n3 4 1 2\n0 0 7\n"}});
}

TEST_F(EvalCli, SelectedColumnsAreEvaluatedButNotWritten) {
  write("sel", "# columns\n1\n");
  const std::string input = "1 2 3\n4 5 6\n";
  expect_rows(input, {{{"-e", "2", "--eval=n[1]=c[2]*10"}, "1 3 20\n4 6 50\n"},
                      {{"-e", "2", "-i", "--eval=r[2]=c[1]+c[3]"}, "4\n10\n"},
                      // The header counts the columns written.
                      {{"-e", "2", "--add-line-count", "--output-latex", "--eval=n[1]=c[2]"},
                       "% there are 2 lines in table\n\\begin{tabular}{l l l}\n1 & 3 & 2 \\\\\n"
                       "4 & 6 & 5 \\\\\n\\end{tabular}\n"},
                      {{"-e", "1-3", "--add-line-count", "--output-c", "--eval=n[1]=c[1]",
                        "--eval-end=n[1]=g[1]", "--eval-begin=g[1]=7"},
                       "double data[3][1] = {\n{ 1},\n{ 4},\n{ 7},\n};\n"}});
  // A selection file as the third name.
  const RunResult r = run({"--eval=n[1]=c[1]", "in", "-", "sel"});
  EXPECT_EQ(r.out, "2 3 1\n5 6 4\n") << r.err;
}

TEST_F(EvalCli, DeprecatedNamesAndAnnouncements) {
  const std::string notice =
      "\nMessage: \nVariables of type _n1, _c2  and _r4 are deprecated.\n"
      "Please use       n[1], c[2] and r[4] instead.\n\n";
  RunResult r = eval("1 2\n3 4\n", {"--eval=_n1=_c1+_c2;my_r1=_c1"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1 2 3\n3 4 7\n");
  EXPECT_EQ(r.err.find(notice + "Apply this expression (n[1]=c[1]+c[2];myr[1]=c[1];) to all rows\n"
                                "Found 2 variables.\n"),
            0u)
      << r.err;
  EXPECT_EQ(r.err.find(notice, 1), std::string::npos) << "the notice is written once";

  r = run({"--eval=_n1=_c1", "in", "-"}, "", {{"KEST", "quiet"}});
  EXPECT_EQ(r.err, notice + "Kest: Apply _n1=_c1 \n");
}

// The output is created when the first row is written: an error before it
// leaves no file (not even an emptied one), a later error keeps the rows before it.
TEST_F(EvalCli, OutputOpensWithTheFirstRow) {
  struct Failing {
    Args args;
    std::string input;
    std::string kept;  ///< the output afterwards ("" for no file)
    int status;
  };
  for (const Failing& c : std::initializer_list<Failing>{
           {{"--eval=n[1]=1", "--eval-begin=x=c[1]"}, "1\n", "", 1},
           {{"--eval=g[1]=g[1]+c[1]"}, "1\n2\n", "", 1},
           {{"--eval=n[1]=ln(c[1])"}, "1\n-1\n2\n", "1 0\n", 1},
           {{"--eval=n[1]=1", "--eval-end=y=_line"}, "1\n2\n", "1 1\n2 1\n", 1},
           {{"-a", "--eval=n[1]=1", "--eval-end=n[1]=2"}, "# only comments\n", "", 0},
           {{"--eval=n[1]=1", "--eval-end=n[1]=2"}, "", "", 0}}) {
    std::remove(path("out").c_str());
    const RunResult r = eval(c.input, c.args, "out");
    EXPECT_EQ(r.status, c.status) << c.args[0] << r.err;
    EXPECT_EQ(exists("out"), !c.kept.empty()) << c.args[0];
    if (!c.kept.empty()) {
      EXPECT_EQ(read("out"), c.kept) << c.args[0];
    }
  }
  write("out", "kept\n");
  EXPECT_EQ(eval("1\n", {"--append", "--eval=n[1]=x"}, "out").status, 1);
  EXPECT_EQ(read("out"), "kept\n");
  // Comments read before the first row go out first, then the header.
  EXPECT_EQ(eval("# a\n1\n# b\n2\n", {"-a", "--add-line-count", "--eval=n[1]=_line"}).out,
            "# a\n2\n1 1\n# b\n2 2\n");
}

TEST_F(EvalCli, ErrorsInBothReportModes) {
  struct Report {
    std::string program;
    int status;
    std::string out;  ///< standard output
    std::string err;  ///< a part of standard error
  };
  for (const Report& c : std::initializer_list<Report>{
           {"n[1]=c[1]$", 1, "", ":: error: unknown symbol 36 ($) at $;\n"},
           {"#? $ n[1]=1", 0, "", ""},
           {"n[1]=c[3]", 1, "SyntaxError\n", ""},
           {"#?n[1]=c[3]", 1, "", "error: variable/constant (c[3]) not found\n"},
           {"abcdefghijklmno[1]=1", 1, "SyntaxError\n", ""},
           {"#?abcdefghijklmno[1]=1", 1, "", "error: to long identifier (abcdefghijklmno)\n"},
           {"n[1]=1e999", 1, "SyntaxError\n", "getsym: Numerical result out of range\n"},
           {"#?n[1]=1e999", 0, "", "getsym: Numerical result out of range\n#?n[1]=1e999;\n"},
           {"n[1]=sqrt(c[1]-5)", 1, "SyntaxError\n",
            "eval_func: Numerical argument out of domain\n"},
           {"#?n[1]=ln(c[1]-5)", 0, "", "eval_func: Numerical argument out of domain\n"},
           {"n[1]=exp2(1)", 1, "SyntaxError\n", ""},
           {"#?n[1]=exp2(1)", 1, "", "error: unknown function (exp2())\n"},
           {"#?n[1]=2*3^2", 1, "",
            "error: unexpected symbol symbol_raised_to '^' or '**'  (expecting symbol_semicolon "
            "';' )\n"},
           {"1", 1, "",
            "Expected \"symbol_identifier \"variable\"\" or \"symbol_semicolon ';' \", got "
            "\"symbol_number\"\n1;\n^\nprogram="}}) {
    std::remove(path("out").c_str());
    const RunResult r = eval("1 2\n", {"--eval=" + c.program}, "out");
    EXPECT_EQ(r.status, c.status) << c.program << r.err;
    EXPECT_EQ(r.out, c.out) << c.program;
    EXPECT_TRUE(contains(r.err, c.err)) << c.program << "\n" << r.err;
    EXPECT_EQ(exists("out"), c.status == 0) << c.program;
  }
}

TEST_F(EvalCli, ListingsOnStandardOutput) {
  const std::pair<std::string, std::string> listings[] = {
      {"--eval-functions",
       "abs(x)       absolute value\n"
       "acos(x)      arccosine, returns radians\n"
       "acosh(x)     inverse hyperbolic cosine\n"
       "asin(x)      arcsine, returns radians\n"
       "asinh(x)     inverse hyperbolic sine\n"
       "atan(x)      arctangent, returns radians\n"
       "atan2(x,y)   arctangent of x/y, returns radians\n"
       "atanh(x)     inverse hyperbolic tangent\n"
       "ceil(x)      nearest larger integer\n"
       "cos(x)       cosine\n"
       "cosh(x)      hyperbolic cosine\n"
       "exp(x)       e raised to the power of x\n"
       "fabs(x)      return the absolute value\n"
       "fact(x)      x!\n"
       "floor(x)     nearest lower integer\n"
       "fmod(x,y)    remainder of x/y\n"
       "frac(x)      fractional part of x\n"
       "int(x)       int\n"
       "ln(x)        natural logaritm (e based)\n"
       "log(x)       10th logarithm (10 based)\n"
       "pow(x,y)     x raised to the power of y\n"
       "sgn(x)       -1 if x<0, 1 if x>0, 0 if x=0\n"
       "sin(x)       sine\n"
       "sinh(x)      hyperbolic sine\n"
       "sqrt(x)      squareroot\n"
       "tan(x)       tangent\n"
       "tanh(x)      hyperbolic tangent\n"
       "trunc(x)     integral part of x\n"},
      {"--eval_constants",
       "_c           Speed of light\n"
       "_e           Base of the natural logarithm\n"
       "_pi          PI I.e. 3.1415927\n"},
      {"--eval-operators",
       "Unary operators:\n\t+ -\n\nBinary operators: (in order of precedence\n\t^ **\n"
       "\t* / % \\ \n\t+ -\n\t< <= => >\n\t== != <>\n\t&&\n\t||\n\nTertinary operators:\n\t?:\n"},
      {"--eval-examples",
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
       "will make 'a' a temp. copy of 'g[1]', 'g[1]' will be the running sum of column 1, 'b' is "
       "the cosine of 'a' and stored in a new column.\n"
       "\n"
       "  kest --eval-begin=\"g[1]=1\" --eval=\"g[1]=g[1]*c[1]\" --eval-end=\"r[1]=g[1]\"\n"
       "will initialize 'g[1]' to 1 then multiply all column 1 values and write an extra line "
       "with the total product\n"}};
  for (const auto& [option, text] : listings) {
    const RunResult r = run({option});
    EXPECT_EQ(r.status, 0) << option;
    EXPECT_EQ(r.out, text) << option;
  }
}

}  // namespace
}  // namespace kest_cli
