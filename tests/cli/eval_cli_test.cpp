// The row evaluation end to end, where the operation adds to the expression
// language: data rows and kept comments, selections and headers, the epilog's
// row, the deprecation notice, the output created with the first row, what an
// error leaves behind, and the four listings.
#include <cstdio>

#include "cli_harness.h"

namespace kest_cli {
namespace {

class EvalCli : public CliTest {
 protected:
  /// Runs kest with `options` (separated by blanks), then "in" (holding `input`) and `out`.
  RunResult eval(const std::string& input, const std::string& options,
                 const std::string& out = "-") const {
    write("in", input);
    return run_words(options + " in " + out);
  }
};

TEST_F(EvalCli, RowsSelectionsAndHeaders) {
  const std::string three = "1 2 3\n4 5 6\n";
  for (const auto& [input, options, expected] :
       std::initializer_list<std::tuple<std::string, std::string, std::string>>{
           // _line counts data rows only; kept comments stay in their places.
           {"# a\n1 2\n# b\n3 4\n", "-a --eval=r[1]=c[1]+c[2];n[1]=_line",
            "# a\n3 2 1\n# b\n7 4 2\n"},
           {"1 2\n3 4\n5 6\n", "--skip-rows=1 --eval=n[1]=_line*10+p[1]", "3 4 10\n5 6 23\n"},
           {"1 2\n", "--eval=", "1 2\n"},
           // Selected columns are evaluated but not written; the header counts the
           // written columns and the epilog's row.
           {three, "-e 2 -i --eval=r[2]=c[1]+c[3]", "4\n10\n"},
           {three, "-e 2 --add-line-count --output-latex --eval=n[1]=c[2]",
            "% there are 2 lines in table\n\\begin{tabular}{l l l}\n1 & 3 & 2 \\\\\n"
            "4 & 6 & 5 \\\\\n\\end{tabular}\n"},
           {three,
            "-e 1-3 --add-line-count --output-c --eval=n[1]=c[1] --eval-end=n[1]=g[1] "
            "--eval-begin=g[1]=7",
            "double data[3][1] = {\n{ 1},\n{ 4},\n{ 7},\n};\n"}}) {
    const RunResult r = eval(input, options);
    EXPECT_EQ(r.status, 0) << options << r.err;
    EXPECT_EQ(r.out, expected) << options;
  }
  // A selection file as the third name.
  write("sel", "# columns\n1\n");
  EXPECT_EQ(run({"--eval=n[1]=c[1]", "in", "-", "sel"}).out, "2 3 1\n5 6 4\n");
}

// The translation itself is the row evaluation's; here the notice comes once a run.
TEST_F(EvalCli, DeprecatedNamesAreAnnouncedOnce) {
  const RunResult r = eval("1 2\n3 4\n", "--eval=_n1=_c1+_c2;my_r1=_c1");
  EXPECT_EQ(r.out, "1 2 3\n3 4 7\n");
  const std::string notice = "\nMessage: \nVariables of type _n1, _c2  and _r4 are deprecated.\n";
  EXPECT_TRUE(r.err.starts_with(notice) && r.err.find(notice, 1) == std::string::npos) << r.err;
  EXPECT_TRUE(contains(r.err, "Apply this expression (n[1]=c[1]+c[2];myr[1]=c[1];) to all rows\n"));
}

// The output is created when the first row is written: an error before it
// leaves no file (not even an emptied one), a later one keeps the rows before it.
// Reports go to their streams as in the language; the text run ends in ";".
TEST_F(EvalCli, OutputOpensWithTheFirstRow) {
  const std::string syntax = "SyntaxError\n";
  struct Case {
    std::string options, input;
    int status;
    std::string kept;  ///< the output afterwards ("" for no file)
    std::string out = "", err = "";
  };
  for (const Case& c : std::initializer_list<Case>{
           {"--eval=n[1]=1 --eval-begin=x=c[1]", "1\n", 1, "", syntax},
           {"--eval=g[1]=g[1]+c[1]", "1\n2\n", 1, "", syntax},
           {"--eval=n[1]=ln(c[1])", "1\n-1\n2\n", 1, "1 0\n", syntax, "eval_func: Numerical"},
           {"--eval=n[1]=1 --eval-end=y=_line", "1\n2\n", 1, "1 1\n2 1\n", syntax},
           {"--eval=n[1]=c[1]$", "1\n", 1, "", "", ":: error: unknown symbol 36 ($) at $;\n"},
           {"-a --eval=n[1]=1 --eval-end=n[1]=2", "# only comments\n", 0, ""},
           {"--eval=n[1]=1 --eval-end=n[1]=2", "", 0, ""}}) {
    std::remove(path("out").c_str());
    const RunResult r = eval(c.input, c.options, "out");
    EXPECT_EQ(r.status, c.status) << c.options << r.err;
    EXPECT_EQ(r.out, c.out) << c.options;
    EXPECT_TRUE(contains(r.err, c.err)) << c.options << r.err;
    EXPECT_EQ(exists("out"), !c.kept.empty()) << c.options;
    EXPECT_EQ(exists("out") ? read("out") : "", c.kept) << c.options;
  }
  write("out", "kept\n");
  EXPECT_EQ(eval("1\n", "--append --eval=n[1]=x", "out").status, 1);
  EXPECT_EQ(read("out"), "kept\n");
  // Comments read before the first row go out first, then the header.
  EXPECT_EQ(eval("# a\n1\n# b\n2\n", "-a --add-line-count --eval=n[1]=_line").out,
            "# a\n2\n1 1\n# b\n2 2\n");
}

// Each listing's size, a part of it and its end (the functions' descriptions are
// the table of the code: their layout is what counts).
TEST_F(EvalCli, ListingsOnStandardOutput) {
  for (const auto& [option, size, part, end] :
       std::initializer_list<std::tuple<const char*, int, const char*, const char*>>{
           {"--eval-functions", 28, "\natan2(x,y)   arctangent of x/y, returns radians\n",
            "\ntrunc(x)     integral part of x\n"},
           {"--eval_constants", 3,
            "_c           Speed of light\n_e           Base of the natural logarithm\n",
            "\n_pi          PI I.e. 3.1415927\n"},
           {"--eval-operators", 14,
            "Unary operators:\n\t+ -\n\nBinary operators: (in order of precedence\n\t^ **\n"
            "\t* / % \\ \n\t+ -\n\t< <= => >\n\t== != <>\n\t&&\n\t||\n",
            "\n\nTertinary operators:\n\t?:\n"},
           {"--eval-examples", 21,
            "Some examples for --eval:\nIf t.dat is 2 columns & tt.dat the result.\n",
            "\n\n  kest --eval-begin=\"g[1]=1\" --eval=\"g[1]=g[1]*c[1]\" "
            "--eval-end=\"r[1]=g[1]\"\n"
            "will initialize 'g[1]' to 1 then multiply all column 1 values and write an extra "
            "line with the total product\n"}}) {
    const std::string out = run({option}).out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), size) << option;
    EXPECT_TRUE(contains(out, part) && ends_with(out, end)) << out;
  }
}

}  // namespace
}  // namespace kest_cli
