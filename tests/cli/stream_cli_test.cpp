// The streaming operations end to end: column and row selection, cut-square,
// shift, column arithmetic and noise, diff, enumerate, sums, left-right flip,
// comparisons and ranges, column math; their announcements and output headers.

#include "cli_harness.h"

namespace kest_cli {
namespace {

class StreamCli : public CliTest {
 protected:
  /// Runs kest with the options `args`, then "in" (holding `input`) and "-".
  RunResult on(const std::string& input, const std::string& args) const {
    write("in", input);
    return run_words(args + " in -");
  }
};

// Selections by -e, by a file and inverted; the headers count the written columns.
TEST_F(StreamCli, ColumnRemovalAndKeeping) {
  write("sel", "# columns\n3\n");
  expect_runs(
      "1 2 3\n4 5 6\n",
      {{"-k -e 2", "1 3\n4 6\n"},
       {"-k -e 2 -i", "2\n5\n"},
       {"--keep-columns=7", "\n\n"},
       {"-z ,", "1,2,3\n4,5,6\n"},
       {"-k -e 2 --add-line-count", "2\n1 3\n4 6\n"},
       {"-k -e 2 --output-csv", "1, 3\n4, 6\n"},
       {"-k -e 2 --output-c --add-line-count", "double data[2][2] = {\n{ 1, 3},\n{ 4, 6},\n};\n"},
       {"--keep-columns=2 --output-latex",
        "% there are 0 lines in table\n\\begin{tabular}{l}\n2 \\\\\n5 \\\\\n"
        "\\end{tabular}\n"}});
  expect_runs("1 2 3\n4 5 6\n", {{"-k -e 1", "2\n5\n"}}, "in - sel");
}

TEST_F(StreamCli, CutSquareKeepsABlock) {
  expect_runs("11 12 13 14\n21 22 23 24\n31 32 33 34\n41 42 43 44\n",
              {{"--cut-square=2-3 -e 1-2", "21 22\n31 32\n"},
               // -i before --cut-square is toggled back off; after it, it stays on.
               {"-i --cut-square=2-3 -e 1-2", "23 24\n33 34\n"},
               {"--cut-square=2-3 -e 1-2 -i", "21 22\n31 32\n"},
               {"--cut-square=2-3 -e 2 --add-line-count", "2\n22\n32\n"},
               {"--cut-square=2-3 -e 1-2 --output-c --add-line-count",
                "double data[2][2] = {\n{ 21, 22},\n{ 31, 32},\n};\n"},
               {"--cut-square=2-3 -e 2 --output-latex --add-line-count",
                "% there are 2 lines in table\n\\begin{tabular}{l}\n22 \\\\\n32 \\\\\n"
                "\\end{tabular}\n"}});
  // Rows after a data line with another number of values are not read.
  expect_runs("1 2\n3 4\n5\n6 7\n", {{"--cut-square=1-9 -e 1", "1\n3\n"}});
}

TEST_F(StreamCli, RowRemovalAndKeeping) {
  write("sel", "; rows\n2,4\n");
  expect_runs("1\n2\n3\n4\n", {{"--keep-rows=1-2", "1\n2\n"},
                               {"-r -e 2-3 -i", "2\n3\n"},
                               {"-r -e 1 --add-line-count", "3\n2\n3\n4\n"}});
  expect_runs("1\n2\n3\n4\n", {{"-r", "1\n3\n"}}, "in - sel");
  // Kept comments stay in place; rows beyond the counted ones cannot be named
  // and are written.
  expect_runs("# a\n1\n# b\n2\n3 3\n4\n", {{"-a -r -e 1,3-4", "# a\n# b\n2\n3\n4\n"}});
}

// A negative shift inverts the selection, whatever -i says.
TEST_F(StreamCli, ShiftMovesTheSelectedColumnsBothWays) {
  expect_runs("1 10\n2 20\n3 30\n", {{"-j 1 -e 2", "1 20\n2 30\n"},
                                     {"-j -1 -e 2", "2 10\n3 20\n"},
                                     {"-j 1 -e 2 -i", "1 20\n2 30\n"},
                                     {"-j 0 -e 1", "1 10\n2 20\n3 30\n"},
                                     {"-j 3 -e 1", ""},
                                     {"-j -2000000000 -e 1", ""},
                                     {"-j 1 -e 2 --output-c --add-line-count",
                                      "double data[2][2] = {\n{ 1, 20},\n{ 2, 30},\n};\n"}});
  // A shift longer than the first block of the ring.
  std::string input, up, down;
  for (int i = 1; i <= 300; ++i) input += std::to_string(i) + " " + std::to_string(i) + "\n";
  for (int j = 1; j <= 150; ++j) {
    up += std::to_string(j) + " " + std::to_string(j + 150) + "\n";
    down += std::to_string(j + 150) + " " + std::to_string(j) + "\n";
  }
  expect_runs(input, {{"-j 150 -e 2", up}, {"-j -150 -e 2", down}});
}

TEST_F(StreamCli, ArithmeticDiffEnumerateSumsAndFlip) {
  expect_runs("1 2 3\n", {{"-p 1 -e 1 -i", "1 3 4\n"},
                          {"-m -2 -e 1-2", "-2 -4 3\n"},
                          {"--divide=4 -e 1-2", "0.25 0.5 3\n"},
                          {"--sum-horizontal -e 2 -i", "1 2 3 2\n"},
                          {"--flip-lr -e 1 --output-c", "double data[][2] = {\n{ 2, 1},\n};\n"}});
  expect_runs("1e308 -inf 4 nan\n", {{"-m 10 -e 1-4", "inf -inf 40 nan\n"}});
  // The number column is column 1 of the selection; the last column always stays.
  // The vertical sum leaves out the named rows.
  expect_runs("1 10\n4 20\n9 30\n",
              {{"--diff -e 1", "0 10\n3 20\n5 30\n"},
               {"-y -e 2", "1 10\n2 20\n3 30\n"},
               {"-y -e 3", "1 1 10\n2 4 20\n3 9 30\n"},
               {"--enumerate=c -e 1 --output-c",
                "double data[3][2] = {\n{ 1, 10},\n{ 4, 20},\n{ 9, 30},\n};\n"},
               {"--sum-vertical -e 2 --add-line-count", "4\n1 10\n4 20\n9 30\n10 40\n"}});
  // A row beyond the counted ones cannot be named and is summed.
  expect_runs("1 2\n3\n5 6\n", {{"--sum-vertical -e 2", "1 2\n3 0\n5 6\n9 8\n"}});
}

TEST_F(StreamCli, NoiseDrawsTheSameSequenceInEveryRun) {
  // The draws 0.298227348, 0.715119168, 0.033021107, 0.8743936 scaled to [-1, 1].
  const std::string both = "-0.403545 0.430238\n-0.933958 0.748787\n";
  expect_runs(
      "0 0\n0 0\n",
      {{"-n 1 -e 1-2", both}, {"-n 1 -e 1-2", both}, {"-n 1 -e 2", "0 -0.403545\n0 0.430238\n"}});
  // The sequence carries on from one input of a wildcard run to the next.
  write("a.dat", "0\n");
  write("b.dat", "0\n");
  ASSERT_EQ(run({"-w", "-n", "1", "-e", "1", "a.dat", "b.dat"}).status, 0);
  EXPECT_EQ(read("a.out") + read("b.out"), "-0.403545\n0.430238\n");
}

TEST_F(StreamCli, ComparisonsFollowTheirConditionsExactly) {
  // Column 1 is tested against the level 1 (row 2 is 1 + 2^-52); column 2 labels the row.
  const std::vector<std::string> rows = {"5 1", "1 2", "1.001 3", "nan 4", "0 5", "1 6"};
  auto kept = [&](std::vector<int> labels) {
    std::string text;
    for (int label : labels) text += rows[label - 1] + "\n";
    return text;
  };
  expect_runs("5 1\n1.0000000000000002 2\n1.001 3\nnan 4\n0 5\n1 6\n",
              {{"--removegt=1 -e 1", kept({4, 5, 6})},
               {"--removelt=1 -e 1", kept({1, 2, 3, 4, 6})},
               {"--removeeq=1 -e 1", kept({1, 3, 4, 5})},
               {"--keeplt=1 -e 1", kept({5})},
               {"--keepgt=1 --fuzz=0.01 -e 1", kept({1, 2, 3})},
               {"--keepeq=1 -e 1", kept({2, 6})},
               {"--keepeq=1 --fuzz=0.01 -e 1", kept({2, 3, 6})},
               {"--keepeq=1 --fuzz=0 -e 1", kept({6})},
               {"--keepeq=1 --fuzz=-1 -e 1", ""},
               {"--range-keep=0,1 -e 1", kept({5})},
               {"--range-remove=0,1 -e 1", kept({1, 2, 3, 4, 6})},
               // The header counts the rows written.
               {"--removegt=1 -e 1 --add-line-count", "3\n" + kept({4, 5, 6})}});
  // With two columns tested, one value meeting the condition removes the row.
  expect_runs("1 -1\n-1 -1\n-1 1\n1 1\n",
              {{"--removegt=0 -e 1-2", "-1 -1\n"}, {"--keepgt=0 -e 1-2", "1 1\n"}});
  // The counting pass reads a pipe again and passes kept comments on once.
  write("in", "# c\n1\n# d\n-1\n2\n");
  const RunResult r = shell("cat in | $KEST_BIN -a --keepgt=0 -e 1 --add-line-count - -");
  EXPECT_EQ(r.out, "2\n# c\n1\n# d\n2\n");
  EXPECT_TRUE(contains(r.err, "kept 2 and removed 1 of 3\n")) << r.err;
}

// The announcements that carry more than a fixed text: verbs, lists, figures.
TEST_F(StreamCli, Announcements) {
  std::string sixty;
  for (int i = 1; i <= 60; ++i) sixty += std::to_string(i) + "\n";
  for (const RunCase& c : std::vector<RunCase>{
           {"--quiet -r -e 1-50", "Kest: Removes rows 1-50 \n"},
           {"--quiet --keep-rows=1-51", "Kest: Keeps rows a lot of rows\n"},
           {"--quiet --range-keep=0,1.5 -e 1", "Keep [0, 1.5). kept 1 and removed 59 of 60\n\n"},
           {"-r -e 1,3-4",
            "Found 1 variables.\nFound 60 rows.\nin -> -\nRemoves the following rows:\n1 3-4 \n"},
           {"--keepeq=3 -e 1",
            "Removes rows which have values not equal to 3 in the selected columns\n"
            "Found 1 variables.\nkept 1 and removed 59 of 60\n"}}) {
    EXPECT_TRUE(on(sixty, c.options).err.starts_with(c.expected)) << c.options;
  }
}

// Every name on one value; NaN passes the logarithm and square-root checks, -0
// passes sqrt; a check ends the run after the rows before it (no footer).
TEST_F(StreamCli, MathByNameAndItsChecks) {
  const std::string log_error =
      "Logarithm taken of zero or negative number\n"
      "Select --special-log to replace offenders by log(1e-100).\n";
  const std::string zero = "Division by zero\n";
  // clang-format off
  const struct {
    std::string args, input, out, error = "";
  } cases[] = {
      {"nop", "0.5", "0.5"}, {"fabs", "-2.5", "2.5"}, {"cos", "0.5", "0.877583"},
      {"cosh", "0.5", "1.127626"}, {"sin", "0.5", "0.479426"}, {"sinh", "0.5", "0.521095"},
      {"ln", "100", "4.60517"}, {"log", "100", "2"}, {"log10", "1000", "3"}, {"log2", "8", "3"},
      {"acos", "0.5", "1.047198"}, {"asin", "0.5", "0.523599"}, {"tan", "0.5", "0.546302"},
      {"atan", "1", "0.785398"}, {"ceil", "-1.5", "-1"}, {"floor", "-1.5", "-2"},
      {"inv", "4", "0.25"}, {"x2", "-3", "9"}, {"x3", "-2", "-8"}, {"sqrt", "2.25", "1.5"},
      {"sqrt3", "27", "3"}, {"exp", "2", "7.389056"}, {"pow2", "-3", "0.125"},
      {"pow10", "2", "100"}, {"Sin", "0.5", "", "Unknown --math function Sin\n"},
      {"inv -e 9", "5\n6", "5\n6"}, {"log -e 2", "1 nan", "1 nan"}, {"sqrt -e 2", "1 -0", "1 -0"},
      {"log -e 1 --special-log", "0\n-5\nnan 1", "-100\n-100\nnan"},
      {"ln -e 1 --special-log --format=%.17g", "0", "-230.25850929940458"},
      {"log2 -e 1 --special-log --format=%.17g", "-0", "-332.19280948873626"},
      {"ln -e 1-2", "1\n0", "0", log_error}, {"log10 -e 1-2", "10\n-5", "1", log_error},
      {"log2 -e 1-2", "-0", "", log_error}, {"inv -e 1-2", "4\nnan 1", "0.25", zero},
      {"sqrt -e 1-2", "4\n-1", "2", "Square root of a negative number\n"},
      {"inv -e 1 --output-c", "4\n0", "double data[][1] = {\n{ 0.25},", zero}};
  // clang-format on
  for (const auto& c : cases) {
    const bool bare = c.args.find(' ') == std::string::npos;
    const RunResult r = on(c.input + "\n", "--math=" + c.args + (bare ? " -e 1" : ""));
    EXPECT_EQ(r.status, c.error.empty() ? 0 : 1) << c.args;
    EXPECT_EQ(r.out, c.out.empty() ? "" : c.out + "\n") << c.args;
    EXPECT_TRUE(ends_with(r.err, c.error)) << c.args << "\n" << r.err;
  }
}

TEST_F(StreamCli, AFileWithoutDataGivesHeaderAndFooterOnly) {
  for (const char* args :
       {"-k -e 1", "-r -e 1", "--cut-square=1 -e 1", "-j 1 -e 1", "-p 1 -e 1", "--divide=2 -e 1",
        "-n 1 -e 1", "--diff -e 1", "--sum-vertical", "--flip-lr", "--removegt=0 -e 1",
        "--range-keep=0,1 -e 1", "--math=inv -e 1"}) {
    expect_runs("# nothing\nwords only\n",
                {{std::string(args) + " --output-c", "double data[][0] = {\n};\n"}});
  }
  // The number column and the sum column are written even then.
  expect_runs("", {{"-y --output-c", "double data[][1] = {\n};\n"},
                   {"--sum-horizontal --output-c", "double data[][1] = {\n};\n"}});
}

}  // namespace
}  // namespace kest_cli
