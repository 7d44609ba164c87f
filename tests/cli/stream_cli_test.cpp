// The streaming operations end to end: column and row selection, cut-square,
// shift, column arithmetic and noise, diff, enumerate, sums, left-right flip,
// comparisons and ranges, column math; their announcements and output headers.
#include <sstream>

#include "cli_harness.h"

namespace kest_cli {
namespace {

struct Case {
  std::string args;       ///< options, separated by blanks; "in" and "-" follow
  std::string expected;   ///< standard output (or standard error)
  std::string tail = "";  ///< a further positional argument (the selection file)
};

std::vector<std::string> words(const std::string& text) {
  std::vector<std::string> list;
  std::istringstream stream(text);
  for (std::string word; stream >> word;) list.push_back(word);
  return list;
}

class StreamCli : public CliTest {
 protected:
  /// Runs kest with the options `args`, then "in" (holding `input`) and "-",
  /// then `tail` when given.
  RunResult on(const std::string& input, const std::string& args,
               const std::string& tail = "") const {
    write("in", input);
    std::vector<std::string> list = words(args + " in - " + tail);
    return run(list);
  }
  /// Every case succeeds and writes its expected rows.
  void expect_rows(const std::string& input, const std::vector<Case>& cases) const {
    for (const Case& c : cases) {
      const RunResult r = on(input, c.args, c.tail);
      EXPECT_EQ(r.status, 0) << c.args << r.err;
      EXPECT_EQ(r.out, c.expected) << c.args;
    }
  }
};

TEST_F(StreamCli, ColumnRemovalAndKeeping) {
  write("sel", "# columns\n3\n");
  expect_rows(
      "1 2 3\n4 5 6\n",
      {{"-k -e 2", "1 3\n4 6\n"},
       {"--keep-columns=2", "2\n5\n"},
       {"--keep-columns -e 1,3", "1 3\n4 6\n"},
       {"-k -e 2 -i", "2\n5\n"},
       {"-k", "1 2\n4 5\n", "sel"},
       {"-k -e 1", "2\n5\n", "sel"},
       {"-k -e 7", "1 2 3\n4 5 6\n"},
       {"--keep-columns=7", "\n\n"},
       {"-z ,", "1,2,3\n4,5,6\n"},
       {"-k -z , -e 1", "2,3\n5,6\n"},
       // The headers count the written columns.
       {"-k -e 2 --add-line-count", "2\n1 3\n4 6\n"},
       {"-k -e 2 --output-csv", "1, 3\n4, 6\n"},
       {"-k -e 2 --output-c --add-line-count", "double data[2][2] = {\n{ 1, 3},\n{ 4, 6},\n};\n"},
       {"--keep-columns=2 --output-latex",
        "% there are 0 lines in table\n\\begin{tabular}{l}\n2 \\\\\n5 \\\\\n\\end{tabular}\n"}});
}

TEST_F(StreamCli, CutSquareKeepsABlock) {
  expect_rows("11 12 13 14\n21 22 23 24\n31 32 33 34\n41 42 43 44\n",
              {{"--cut-square=2-3 -e 1-2", "21 22\n31 32\n"},
               // -i before --cut-square is toggled back off; after it, it stays on.
               {"-i --cut-square=2-3 -e 1-2", "23 24\n33 34\n"},
               {"--cut-square=2-3 -e 1-2 -i", "21 22\n31 32\n"},
               {"--cut-square=4,1 -e 4", "14\n44\n"},
               {"--cut-square=2 -e 9", "\n"},
               {"--cut-square=2-3 -e 2 --add-line-count", "2\n22\n32\n"},
               {"--cut-square=2-3 -e 1-2 --output-c --add-line-count",
                "double data[2][2] = {\n{ 21, 22},\n{ 31, 32},\n};\n"},
               {"--cut-square=2-3 -e 2 --output-latex --add-line-count",
                "% there are 2 lines in table\n\\begin{tabular}{l}\n22 \\\\\n32 \\\\\n"
                "\\end{tabular}\n"}});
  // Rows after a data line with another number of values are not read.
  expect_rows("1 2\n3 4\n5\n6 7\n", {{"--cut-square=1-9 -e 1", "1\n3\n"}});
}

TEST_F(StreamCli, RowRemovalAndKeeping) {
  write("sel", "; rows\n2,4\n");
  expect_rows("1\n2\n3\n4\n", {{"-r -e 1", "2\n3\n4\n"},
                               {"--keep-rows=1-2", "1\n2\n"},
                               {"-r -e 2-3 -i", "2\n3\n"},
                               {"-r -e 9", "1\n2\n3\n4\n"},
                               {"-r", "1\n3\n", "sel"},
                               {"-r -e 1 --add-line-count", "3\n2\n3\n4\n"}});
  // Kept comments stay in place; rows beyond the counted ones cannot be named
  // and are written.
  expect_rows("# a\n1\n# b\n2\n3 3\n4\n", {{"-a -r -e 1,3-4", "# a\n# b\n2\n3\n4\n"}});
}

TEST_F(StreamCli, ShiftMovesTheSelectedColumns) {
  expect_rows("1 10\n2 20\n3 30\n", {{"-j 1 -e 2", "1 20\n2 30\n"},
                                     {"-j -1 -e 2", "2 10\n3 20\n"},
                                     {"-j 1 -e 2 -i", "1 20\n2 30\n"},
                                     {"-j 1 -e 9", "1 10\n2 20\n"},
                                     {"-j -1 -e 9", "2 20\n3 30\n"},
                                     {"-j 0 -e 1", "1 10\n2 20\n3 30\n"},
                                     {"-j 2 -e 1", "3 10\n"},
                                     {"-j 3 -e 1", ""},
                                     {"-j -2000000000 -e 1", ""},
                                     {"-j 5 -e 1 --add-line-count", ""},
                                     {"-j 1 -e 2 --output-c --add-line-count",
                                      "double data[2][2] = {\n{ 1, 20},\n{ 2, 30},\n};\n"}});
  // A shift longer than the first block of the ring.
  std::string input, up, down;
  for (int i = 1; i <= 300; ++i) input += std::to_string(i) + " " + std::to_string(i) + "\n";
  for (int j = 1; j <= 150; ++j) {
    up += std::to_string(j) + " " + std::to_string(j + 150) + "\n";
    down += std::to_string(j + 150) + " " + std::to_string(j) + "\n";
  }
  expect_rows(input, {{"-j 150 -e 2", up}, {"-j -150 -e 2", down}});
}

TEST_F(StreamCli, ColumnArithmetic) {
  expect_rows("1 2 3\n", {{"-p 1.5 -e 2", "1 3.5 3\n"},
                          {"-p 1.5 -e 9", "1 2 3\n"},
                          {"-p 1 -e 1 -i", "1 3 4\n"},
                          {"-m -2 -e 1-2", "-2 -4 3\n"},
                          {"--divide=4 -e 1-2", "0.25 0.5 3\n"},
                          {"-n 0 -e 1-3", "1 2 3\n"}});
  expect_rows("1e308 -inf 4 nan\n", {{"-m 10 -e 1-4", "inf -inf 40 nan\n"}});
  expect_rows("1 10\n4 20\n9 30\n",
              {{"--diff -e 1", "0 10\n3 20\n5 30\n"}, {"--diff -e 1-2 -i", "1 10\n4 20\n9 30\n"}});
}

TEST_F(StreamCli, NoiseDrawsTheSameSequenceInEveryRun) {
  // The draws 0.298227348, 0.715119168, 0.033021107, 0.8743936 scaled to [-1, 1].
  const std::string both = "-0.403545 0.430238\n-0.933958 0.748787\n";
  expect_rows(
      "0 0\n0 0\n",
      {{"-n 1 -e 1-2", both}, {"-n 1 -e 1-2", both}, {"-n 1 -e 2", "0 -0.403545\n0 0.430238\n"}});
  // The sequence carries on from one input of a wildcard run to the next.
  write("a.dat", "0\n");
  write("b.dat", "0\n");
  ASSERT_EQ(run({"-w", "-n", "1", "-e", "1", "a.dat", "b.dat"}).status, 0);
  EXPECT_EQ(read("a.out") + read("b.out"), "-0.403545\n0.430238\n");
}

TEST_F(StreamCli, EnumerateNumbersTheRows) {
  expect_rows("5 6\n7 8\n",
              {{"-y", "1 5 6\n2 7 8\n"},
               {"-y -e 1", "5 6\n7 8\n"},
               {"-y -e 2", "1 6\n2 8\n"},
               {"-y -e 3", "1 5 6\n2 7 8\n"},
               {"-y -e 1 -i", "1 6\n2 8\n"},
               {"--enumerate=c", "2\n1 5 6\n2 7 8\n"},
               {"-y -e 1 --output-c", "double data[][2] = {\n{ 5, 6},\n{ 7, 8},\n};\n"}});
}

TEST_F(StreamCli, SumsAndLeftRightFlip) {
  expect_rows("1 2\n3 4\n5 6\n", {{"--sum-vertical", "1 2\n3 4\n5 6\n9 12\n"},
                                  {"--sum_col -e 2", "1 2\n3 4\n5 6\n6 8\n"},
                                  {"--sum-vertical -e 2 -i", "1 2\n3 4\n5 6\n6 8\n"},
                                  {"--sum-vertical --add-line-count", "4\n1 2\n3 4\n5 6\n9 12\n"}});
  // A row beyond the counted ones cannot be named and is summed.
  expect_rows("1 2\n3\n5 6\n", {{"--sum-vertical -e 2", "1 2\n3 0\n5 6\n9 8\n"}});
  expect_rows("1 2 3\n", {{"--sum-horizontal", "1 2 3 6\n"},
                          {"--sum_row -e 2", "1 2 3 4\n"},
                          {"--sum-horizontal -e 2 -i", "1 2 3 2\n"},
                          {"--sum-horizontal --output-latex",
                           "% there are 0 lines in table\n\\begin{tabular}{l l l l}\n"
                           "1 & 2 & 3 & 6 \\\\\n\\end{tabular}\n"},
                          {"--flip-lr", "3 2 1\n"},
                          {"--flip-lr -e 1", "2 1\n"},
                          {"--flip-lr -e 1 --output-c", "double data[][2] = {\n{ 2, 1},\n};\n"}});
  expect_rows("1 2 3 4\n", {{"--flip-lr", "4 3 2 1\n"}});
}

TEST_F(StreamCli, ComparisonsFollowTheirConditionsExactly) {
  // Column 1 is tested against the level 1; column 2 labels the row.
  const std::vector<std::string> rows = {"5 1",   "1 2", "1.001 3",
                                         "nan 4", "0 5", "1 6"};  // row 2 is 1 + 2^-52
  auto kept = [&](std::vector<int> labels) {
    std::string text;
    for (int label : labels) text += rows[label - 1] + "\n";
    return text;
  };
  expect_rows("5 1\n1.0000000000000002 2\n1.001 3\nnan 4\n0 5\n1 6\n",
              {{"--removegt=1 -e 1", kept({4, 5, 6})},
               {"--keepleq=1 -e 1", kept({4, 5, 6})},
               {"--removelt=1 -e 1", kept({1, 2, 3, 4, 6})},
               {"--removeeq=1 -e 1", kept({1, 3, 4, 5})},
               {"--keeplt=1 -e 1", kept({5})},
               {"--keepgt=1 -e 1", kept({1, 2, 3})},
               {"--keepgt=1 --fuzz=0.01 -e 1", kept({1, 2, 3})},
               {"--keepeq=1 -e 1", kept({2, 6})},
               {"--keepeq=1 --fuzz=0.01 -e 1", kept({2, 3, 6})},
               {"--keepeq=1 --fuzz=0 -e 1", kept({6})},
               {"--removeeq=1 --fuzz=-1 -e 1", kept({1, 2, 3, 4, 5, 6})},
               {"--keepeq=1 --fuzz=-1 -e 1", ""},
               {"--range-keep=0,1 -e 1", kept({5})},
               {"--range-remove=0,1 -e 1", kept({1, 2, 3, 4, 6})},
               {"--removegt=1 -e 9", kept({1, 2, 3, 4, 5, 6})},
               // The header counts the rows written.
               {"--removegt=1 -e 1 --add-line-count", "3\n" + kept({4, 5, 6})}});
  // With two columns tested, one value meeting the condition removes the row.
  expect_rows("1 -1\n-1 -1\n-1 1\n1 1\n",
              {{"--removegt=0 -e 1-2", "-1 -1\n"}, {"--keepgt=0 -e 1-2", "1 1\n"}});
  // The counting pass reads a pipe again and passes kept comments on once.
  write("in", "# c\n1\n# d\n-1\n2\n");
  RunResult r = shell("cat in | $KEST_BIN -a --keepgt=0 -e 1 --add-line-count - -");
  EXPECT_EQ(r.out, "2\n# c\n1\n# d\n2\n");
  EXPECT_TRUE(contains(r.err, "kept 2 and removed 1 of 3\n")) << r.err;
}

TEST_F(StreamCli, Announcements) {
  std::string sixty;
  for (int i = 1; i <= 60; ++i) sixty += std::to_string(i) + "\n";
  const std::vector<Case> quiet = {
      {"-k -e 2", "Kest: Remove columns \n"},
      {"--keep-columns=1", "Kest: Keep columns \n"},
      {"-r -e 1,3-4", "Kest: Removes rows 1 3-4 \n"},
      {"-r -e 1-50", "Kest: Removes rows 1-50 \n"},
      {"-r -e 1-51", "Kest: Removes rows a lot of rows\n"},
      {"--keep-rows=2-4", "Kest: Keeps rows 2-4 \n"},
      {"--keep-rows=1-55", "Kest: Keeps rows a lot of rows\n"},
      {"--cut-square=2-3 -e 1", "Kest: Keep rows 2-3 cols 1 \n\n"},
      {"-j -1 -e 1", "Kest: Shift -1. \n"},
      {"-p 1.5 -e 1", "Kest: Add with 1.5 \n"},
      {"-m 2 -e 1", "Kest: Multiply by 2 \n"},
      {"--divide=4 -e 1", "Kest: Divide by 4 \n"},
      {"-n 1 -e 1", "Kest: Add noise to \n"},
      {"--diff -e 1", "Kest: Differentiating \n"},
      {"-y", "Kest: Enumerate \n"},
      {"--sum-vertical", "Kest: Vertical sum \n"},
      {"--sum-horizontal", "Kest: Horizontal sum \n"},
      {"--flip-lr", "Kest: Flip left-right \n"},
      {"--removegt=5 -e 1", "Remove > 5. kept 5 and removed 55 of 60\n\n"},
      {"--range-keep=0,1.5 -e 1", "Keep [0, 1.5). kept 1 and removed 59 of 60\n\n"},
      {"--math=foo -e 1", "Kest: Apply foo \n"}};
  for (const Case& c : quiet) EXPECT_EQ(on(sixty, "--quiet " + c.args).err, c.expected) << c.args;
  const std::vector<Case> full = {
      {"-k -e 2", "Remove selected columns\nFound 1 variables.\nin -> -\n"},
      {"-r -e 1,3-4",
       "Found 1 variables.\nFound 60 rows.\nin -> -\nRemoves the following rows:\n1 3-4 \n"},
      {"--cut-square=2-3 -e 1",
       "Found 1 variables.\nFound 60 rows.\nKeep rows 2-3 cols 1 \nin -> -\n"},
      {"-j 2 -e 1", "Found 1 variables.\nin -> -\n"},
      {"-p 2 -e 1", "Adds 2 to selected columns.\nFound 1 variables.\n"},
      {"--divide=4 -e 1", "Divides selected columns by 4\nFound 1 variables.\n"},
      {"-m 3 -e 1", "Multiplies selected columns by 3\nFound 1 variables.\n"},
      {"-n 1 -e 1", "Adds noise to the selected columns\nFound 1 variables.\n"},
      {"--diff -e 1", "Differentiating rows\nFound 1 variables.\n"},
      {"-y", "Enumerates.\nFound 1 variables.\n"},
      {"--sum-vertical", "Vertical sum except selected rows\nFound 1 variables.\nFound 60 rows.\n"},
      {"--sum-horizontal", "Horizontal sum except selected columns\nFound 1 variables.\n"},
      {"--keepeq=3 -e 1",
       "Removes rows which have values not equal to 3 in the selected columns\n"
       "Found 1 variables.\nkept 1 and removed 59 of 60\n"},
      {"--range-remove=1,3 -e 1",
       "Removes rows which have values in the range [1, 3) in the selected columns\n"
       "Found 1 variables.\nkept 58 and removed 2 of 60\n"},
      {"--math=log -e 1", "Apply function log to selected columns\nFound 1 variables.\n"}};
  for (const Case& c : full) {
    const RunResult r = on(sixty, c.args);
    EXPECT_EQ(r.err.substr(0, c.expected.size()), c.expected) << c.args;
  }
}

TEST_F(StreamCli, MathFunctionsByName) {
  // clang-format off
  const struct {
    std::string args, input, expected;
  } cases[] = {
      {"nop", "0.5", "0.5"},      {"fabs", "-2.5", "2.5"},     {"cos", "0.5", "0.877583"},
      {"cosh", "0.5", "1.127626"}, {"sin", "0.5", "0.479426"},  {"sinh", "0.5", "0.521095"},
      {"ln", "100", "4.60517"},   {"log", "100", "2"},         {"log10", "1000", "3"},
      {"log2", "8", "3"},         {"acos", "0.5", "1.047198"}, {"asin", "0.5", "0.523599"},
      {"tan", "0.5", "0.546302"}, {"atan", "1", "0.785398"},   {"ceil", "-1.5", "-1"},
      {"floor", "-1.5", "-2"},    {"inv", "4", "0.25"},        {"x2", "-3", "9"},
      {"x3", "-2", "-8"},         {"sqrt", "2.25", "1.5"},     {"sqrt3", "27", "3"},
      {"exp", "2", "2"},          {"pow10", "2", "2"},
      // NaN passes the logarithm and square-root checks; -0 passes sqrt.
      {"log -e 2", "1 nan", "1 nan"},
      {"sqrt -e 2", "1 -0", "1 -0"},
      {"log -e 1 --special-log", "0\n-5\nnan 1", "-100\n-100\nnan"},
      {"ln -e 1 --special-log --format=%.17g", "0", "-230.25850929940458"},
      {"log2 -e 1 --special-log --format=%.17g", "-0", "-332.19280948873626"},
      {"inv -e 9", "5\n6", "5\n6"}};
  // clang-format on
  for (const auto& c : cases) {
    const bool bare = c.args.find(' ') == std::string::npos;
    expect_rows(c.input + "\n", {{"--math=" + c.args + (bare ? " -e 1" : ""), c.expected + "\n"}});
  }
  // A negative value has no real cube root here.
  EXPECT_TRUE(contains(on("-8\n", "--math=sqrt3 -e 1").out, "nan"));
}

TEST_F(StreamCli, MathChecksEndTheRunAfterTheRowsBefore) {
  const std::string log_message =
      "Logarithm taken of zero or negative number\n"
      "Select --special-log to replace offenders by log(1e-100).\n";
  const struct {
    std::string function, input, rows, message;
  } cases[] = {{"ln", "1\n0\n", "0\n", log_message},
               {"log10", "10\n-5\n", "1\n", log_message},
               {"log2", "-0\n", "", log_message},
               {"inv", "4\n0\n", "0.25\n", "Division by zero\n"},
               {"inv", "4\nnan 1\n", "0.25\n", "Division by zero\n"},
               {"sqrt", "4\n-1\n", "2\n", "Square root of a negative number\n"}};
  for (const auto& c : cases) {
    const RunResult r = on(c.input, "--math=" + c.function + " -e 1-2");
    EXPECT_EQ(r.status, 1) << c.function;
    EXPECT_EQ(r.out, c.rows) << c.function;
    EXPECT_TRUE(ends_with(r.err, c.message)) << r.err;
  }
  // The output stops after the rows written: no footer.
  EXPECT_EQ(on("4\n0\n", "--output-c --math=inv -e 1").out, "double data[][1] = {\n{ 0.25},\n");
}

TEST_F(StreamCli, AFileWithoutDataGivesHeaderAndFooterOnly) {
  for (const char* args :
       {"-k -e 1", "-r -e 1", "--cut-square=1 -e 1", "-j 1 -e 1", "-p 1 -e 1", "--divide=2 -e 1",
        "-n 1 -e 1", "--diff -e 1", "--sum-vertical", "--flip-lr", "--removegt=0 -e 1",
        "--range-keep=0,1 -e 1", "--math=inv -e 1"}) {
    expect_rows("# nothing\nwords only\n",
                {{std::string(args) + " --output-c", "double data[][0] = {\n};\n"}});
  }
  // The number column and the sum column are written even then.
  expect_rows("", {{"-y --output-c", "double data[][1] = {\n};\n"},
                   {"--sum-horizontal --output-c", "double data[][1] = {\n};\n"}});
}

}  // namespace
}  // namespace kest_cli
