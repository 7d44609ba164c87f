// The whole-file operations end to end: transpose, up-down flip, sort, shuffle
// and split into training and test files.
#include <algorithm>
#include <sstream>

#include "cli_harness.h"

namespace kest_cli {
namespace {

class WholeCli : public CliTest {
 protected:
  struct Case {
    std::vector<std::string> args;  // the input is "in", the output "out"
    std::string expected;
  };
  /// Runs every case on `input` and compares the output file.
  void expect_outputs(const std::string& input, const std::vector<Case>& cases) {
    write("in", input);
    for (const Case& c : cases) {
      std::vector<std::string> args = c.args;
      args.insert(args.end(), {"in", "out"});
      RunResult r = run(args);
      EXPECT_EQ(r.status, 0) << c.args[0] << "\n" << r.err;
      EXPECT_EQ(read("out"), c.expected) << c.args[0] << " " << c.args.back();
    }
  }
  /// Runs `args` and expects a fatal error naming `message`.
  void expect_fatal(const std::vector<std::string>& args, const std::string& message) {
    RunResult r = run(args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_TRUE(contains(r.err, "\nError in File:")) << r.err;
    EXPECT_TRUE(contains(r.err, message)) << r.err;
  }
  /// Compiles `source` (a C array initialiser) with a small main.
  void expect_compiles(const std::string& source) {
    write("array.cpp", source + "int main() { return sizeof data == 0; }\n");
    RunResult r = shell("g++ -std=c++17 -Wall -Werror -o array array.cpp");
    EXPECT_EQ(r.status, 0) << source << r.err;
  }
  /// The rows of a file, each as its list of fields.
  static std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
  }
};

TEST_F(WholeCli, TransposeWritesColumnsAsRows) {
  expect_outputs(
      "# head\n1 2 3\n# inside\n4 5 6\n",
      {
          {{"-t"}, "1 4\n2 5\n3 6\n"},
          {{"-a", "--transpose"}, "1 4\n2 5\n3 6\n"},  // comments are not written
          {{"-t", "--add-line-count"}, "3\n1 4\n2 5\n3 6\n"},
          {{"-t", "--output-latex"},
           "% there are 0 lines in table\n\\begin{tabular}{l l}\n1 & 4 \\\\\n2 & 5 \\\\\n"
           "3 & 6 \\\\\n\\end{tabular}\n"},
          {{"-t", "--output-c", "--add-line-count"},
           "double data[3][2] = {\n{ 1, 4},\n{ 2, 5},\n{ 3, 6},\n};\n"},
          {{"-t", "--output-c"}, "double data[][2] = {\n{ 1, 4},\n{ 2, 5},\n{ 3, 6},\n};\n"},
      });
  expect_compiles(read("out"));
  run({"-t", "--output-c", "--add-line-count", "in", "out"});
  expect_compiles(read("out"));
  // One column, one row, no data; a line with a different count ends the rows.
  expect_outputs("1\n2\n3\n", {{{"-t"}, "1 2 3\n"}});
  expect_outputs("1 2 3\n", {{{"-t"}, "1\n2\n3\n"}});
  expect_outputs("# nothing\n",
                 {{{"-t", "--output-latex"},
                   "% there are 0 lines in table\n\\begin{tabular}{}\n\\end{tabular}\n"}});
  expect_outputs("1 2\n3 4\n5\n6 7\n", {{{"-t"}, "1 3\n2 4\n"}});
}

TEST_F(WholeCli, TransposeAndFlipReadLongNumbersWhole) {
  // The tool's own -x output: twenty characters a value.
  const std::string input = "0.333333333333333315 -12345678901234567890 7\n1 2 3\n";
  expect_outputs(
      input,
      {
          {{"-x", "-1", "-t"}, "0.333333333333333315 1\n-1.23456789012345672e+19 2\n7 3\n"},
          {{"-x", "-1", "--flip-ud"}, "1 2 3\n0.333333333333333315 -1.23456789012345672e+19 7\n"},
      });
  // Transposing twice gives the table back.
  write("in", input);
  ASSERT_EQ(run({"-x", "-1", "-t", "in", "once"}).status, 0);
  ASSERT_EQ(run({"-x", "-1", "-t", "once", "twice"}).status, 0);
  EXPECT_EQ(read("twice"), "0.333333333333333315 -1.23456789012345672e+19 7\n1 2 3\n");
}

TEST_F(WholeCli, FlipUpDownLeavesOutTheSelectedColumns) {
  expect_outputs(
      "1 2 3\n# c\n4 5 6\n7 8 9\n",
      {
          {{"--flip-ud"}, "7 8 9\n4 5 6\n1 2 3\n"},
          {{"-a", "--flip-ud"}, "7 8 9\n4 5 6\n1 2 3\n"},
          {{"-e", "2", "--flip-ud"}, "7 9\n4 6\n1 3\n"},
          {{"-e", "2", "-i", "--flip-ud"}, "8\n5\n2\n"},
          // The header counts the written columns.
          {{"-e", "2", "--output-latex", "--flip-ud"},
           "% there are 0 lines in table\n\\begin{tabular}{l l}\n7 & 9 \\\\\n4 & 6 \\\\\n"
           "1 & 3 \\\\\n\\end{tabular}\n"},
          {{"-e", "1", "--output-c", "--add-line-count", "--flip-ud"},
           "double data[3][2] = {\n{ 8, 9},\n{ 5, 6},\n{ 2, 3},\n};\n"},
      });
  expect_compiles(read("out"));
  expect_outputs("", {{{"--flip-ud", "--output-c"}, "double data[][0] = {\n};\n"}});
}

TEST_F(WholeCli, SortOrdersRowsByTheKeyList) {
  const std::string input = "# c\n3 1 9\n1 2 8\n2 1 7\n1 1 6\n";
  expect_outputs(input, {
                            {{"-q", "1,2"}, "1 1 6\n1 2 8\n2 1 7\n3 1 9\n"},
                            {{"-q", "2,1"}, "1 1 6\n2 1 7\n3 1 9\n1 2 8\n"},
                            {{"--sort=2,-1"}, "1 2 8\n3 1 9\n2 1 7\n1 1 6\n"},
                            {{"--qsort=-2,1"}, "1 2 8\n3 1 9\n2 1 7\n1 1 6\n"},
                            {{"-q", "2,x,1"}, "1 1 6\n2 1 7\n3 1 9\n1 2 8\n"},
                            {{"-q", "1,,3,1"}, "1 1 6\n1 2 8\n2 1 7\n3 1 9\n"},
                            {{"-q", "x"}, "3 1 9\n1 2 8\n2 1 7\n1 1 6\n"},  // no key: as read
                            {{"-a", "-q", "3"}, "# c\n1 1 6\n2 1 7\n1 2 8\n3 1 9\n"},
                            {{"--add-line-count", "-q", "3"}, "4\n1 1 6\n2 1 7\n1 2 8\n3 1 9\n"},
                        });
  // Huge values of opposite sign and infinities keep their order.
  expect_outputs("1e308 1\n-1e308 2\ninf 3\n-inf 4\n0 5\n",
                 {{{"-q", "1"}, "-inf 4\n-1e+308 2\n0 5\n1e+308 1\ninf 3\n"}});
  expect_outputs("", {{{"-q", "1", "--output-latex"},
                       "% there are 0 lines in table\n\\begin{tabular}{}\n\\end{tabular}\n"}});
}

TEST_F(WholeCli, SortPlacesNaNKeysSoundly) {
  // A NaN decides nothing on its key and the next key decides, wherever that
  // gives a consistent order.
  expect_outputs("2 2\nnan 1\n", {{{"-q", "1,2"}, "nan 1\n2 2\n"}});
  expect_outputs("5 2\nnan 1\n3 3\n", {{{"-q", "1,2"}, "nan 1\n3 3\n5 2\n"}});
  expect_outputs("nan 5 1\n3 3 2\n5 2 3\nnan 9 4\n",
                 {{{"-q", "1,2"}, "3 3 2\n5 2 3\nnan 5 1\nnan 9 4\n"},
                  {{"-q", "-1,2"}, "nan 9 4\nnan 5 1\n5 2 3\n3 3 2\n"}});
  // Where it does not (a NaN "equal" to both 1 and 3), NaN ranks above every
  // number: last ascending, first descending; the numbers stay sorted.
  std::string many;
  for (int i = 40; i > 0; --i) many += (i % 7 == 0 ? "nan " : std::to_string(i) + " ") + "1\n";
  write("in", many);
  for (const char* key : {"1", "-1"}) {
    RunResult r = run({"-q", key, "in", "out"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> rows = lines(read("out"));
    ASSERT_EQ(rows.size(), 40u);
    const bool descending = key[0] == '-';
    std::vector<std::string> nans(rows.begin() + (descending ? 0 : 35),
                                  rows.begin() + (descending ? 5 : 40));
    EXPECT_EQ(std::count(nans.begin(), nans.end(), "nan 1"), 5) << read("out");
    std::vector<double> numbers;
    for (const std::string& row : rows) {
      if (row != "nan 1") numbers.push_back(std::stod(row));
    }
    EXPECT_TRUE(descending ? std::is_sorted(numbers.rbegin(), numbers.rend())
                           : std::is_sorted(numbers.begin(), numbers.end()));
  }
}

TEST_F(WholeCli, SortMessagesAndErrors) {
  write("in", "3 1\n1 2\n");
  RunResult r = run({"-q", "-1", "in", "out"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(contains(r.err,
                       "Sorting descending\nFound 2 variables.\nFound 2 rows.\nFound 2 rows.\n"
                       "Sorting...done\n"))
      << r.err;
  r = run({"--quiet", "-q", "2", "in", "out"});
  EXPECT_EQ(r.err, "Kest: Sorting asc \n");
  r = run({"--quiet", "-q", "1,-2", "in", "out"});
  EXPECT_EQ(r.err, "Kest: Sorting desc \n");
  // A bad key leaves the output as it was.
  write("out", "kept\n");
  expect_fatal({"-q", "0", "in", "out"}, "sorting column 0 out of range ( 1 <= 0 <= 2)");
  expect_fatal({"-q", "1,3", "in", "out"}, "sorting column 1 out of range ( 1 <= 3 <= 2)");
  expect_fatal({"--sort=", "in", "out"}, "no sorting columns");
  EXPECT_EQ(read("out"), "kept\n");
  // A data line after the counted rows.
  write("in", "3 1\n1 2\n5\n4 4\n");
  expect_fatal({"-q", "1", "in", "out"}, "Can't read all lines\n");
}

TEST_F(WholeCli, ShufflePermutesEachSelectedColumnAlone) {
  std::string input = "# c\n";
  for (int i = 1; i <= 200; ++i) {
    input += std::to_string(i) + " " + std::to_string(1000 + i) + " " + std::to_string(-i) + "\n";
  }
  write("in", input);
  RunResult r = run({"-a", "--shuffle", "-e", "2-3", "in", "out"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(contains(r.err, "Shuffling\nFound 3 variables.\nFound 200 rows.\nFound 200 rows.\n"));
  std::vector<std::string> rows = lines(read("out"));
  ASSERT_EQ(rows.size(), 201u);
  EXPECT_EQ(rows[0], "# c");
  std::vector<int> first, second, third;
  for (std::size_t i = 1; i < rows.size(); ++i) {
    std::istringstream row(rows[i]);
    int a, b, c;
    row >> a >> b >> c;
    first.push_back(a);
    second.push_back(b);
    third.push_back(c);
  }
  std::vector<int> order(200);
  for (int i = 0; i < 200; ++i) order[i] = i + 1;
  EXPECT_EQ(first, order);  // unselected: untouched
  std::vector<int> moved_second = second, moved_third = third;
  std::sort(second.begin(), second.end());
  std::sort(third.begin(), third.end(), std::greater<int>());
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(second[i], 1001 + i);
    EXPECT_EQ(third[i], -1 - i);
  }
  EXPECT_NE(moved_second, second);  // 1 in 200! to fail by chance
  // The two columns are permuted independently.
  int together = 0;
  for (int i = 0; i < 200; ++i) together += moved_second[i] - 1000 == -moved_third[i];
  EXPECT_LT(together, 50);

  // Nothing selected, or a single row: the input comes back.
  expect_outputs("1 2\n3 4\n", {{{"--shuffle", "-e", "7"}, "1 2\n3 4\n"}});
  expect_outputs("1 2\n", {{{"--shuffle", "-e", "1-2"}, "1 2\n"}});
  write("in", "1 2\n3 4\n5\n");
  expect_fatal({"--shuffle", "-e", "1", "in", "out"}, "Can't read all lines\n");
}

TEST_F(WholeCli, SplitByRowsPercentAndAtRandom) {
  std::string input = "# c\n";
  for (int i = 1; i <= 10; ++i) input += std::to_string(i) + " " + std::to_string(10 * i) + "\n";
  write("data.txt", input);
  struct SplitCase {
    std::vector<std::string> args;
    std::string training, test;
  } cases[] = {
      {{"-d3"}, "1 10\n2 20\n3 30\n", "4 40\n5 50\n6 60\n7 70\n8 80\n9 90\n10 100\n"},
      {{"--split=30p"}, "1 10\n2 20\n3 30\n", "4 40\n5 50\n6 60\n7 70\n8 80\n9 90\n10 100\n"},
      {{"-d9.9"}, "1 10\n2 20\n3 30\n4 40\n5 50\n6 60\n7 70\n8 80\n9 90\n", "10 100\n"},
      // The run's sequence starts at the same seed: draws 0.298.., 0.715.., 0.033..
      {{"-d3s"}, "1 10\n3 30\n8 80\n", "2 20\n4 40\n5 50\n6 60\n7 70\n9 90\n10 100\n"},
      {{"-a", "-e", "2", "-d2"}, "1\n2\n", "3\n4\n5\n6\n7\n8\n9\n10\n"},
      {{"-e", "2", "-i", "-d2"}, "10\n20\n", "30\n40\n50\n60\n70\n80\n90\n100\n"},
      // Each header counts its written columns and its own rows.
      {{"--output-c", "--add-line-count", "-e", "1", "-d2"},
       "double data[2][1] = {\n{ 10},\n{ 20},\n};\n",
       "double data[8][1] = {\n{ 30},\n{ 40},\n{ 50},\n{ 60},\n{ 70},\n{ 80},\n{ 90},\n{ "
       "100},\n};\n"},
  };
  for (const SplitCase& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back("data.txt");
    RunResult r = run(args);
    ASSERT_EQ(r.status, 0) << c.args[0] << r.err;
    EXPECT_EQ(read("data.trn"), c.training) << c.args[0];
    EXPECT_EQ(read("data.tst"), c.test) << c.args[0];
  }
  expect_compiles(read("data.tst"));
  // A percentage truncates; a larger random split holds exactly n distinct rows.
  write("seven", "1\n2\n3\n4\n5\n6\n7\n");
  ASSERT_EQ(run({"-d30p", "seven"}).status, 0);
  EXPECT_EQ(read("seven.trn"), "1\n2\n");
  ASSERT_EQ(run({"-d90ps", "data.txt"}).status, 0);
  std::vector<std::string> training = lines(read("data.trn"));
  EXPECT_EQ(training.size(), 9u);
  EXPECT_TRUE(std::is_sorted(training.begin(), training.end(),
                             [](auto& a, auto& b) { return std::stoi(a) < std::stoi(b); }));
  EXPECT_EQ(lines(read("data.tst")).size(), 1u);
}

TEST_F(WholeCli, SplitNamesReportsAndRefusals) {
  const std::string input = "1 2\n3 4\n5 6\n";
  ASSERT_EQ(std::system(("mkdir -p " + path("old.dir")).c_str()), 0);
  write("old.dir/data", input);
  write("plain", input);
  ASSERT_EQ(run({"-d1", "old.dir/data"}).status, 0);
  EXPECT_EQ(read("old.dir/data.trn"), "1 2\n");
  EXPECT_EQ(read("old.dir/data.tst"), "3 4\n5 6\n");
  RunResult r = run({"-d1", "plain", "ignored"});
  ASSERT_EQ(r.status, 0);
  EXPECT_FALSE(exists("ignored"));
  EXPECT_TRUE(contains(r.err,
                       "Found 2 variables.\nVariables:2\nRows:3\nSplits file after row 1.\n"
                       "Infile\t\t: plain\trows 3\nTraining file\t: plain.trn\trows 1\n"
                       "Test file\t: plain.tst\trows 2\nFound 2 variables.\n\n"))
      << r.err;
  r = run({"--quiet", "-d2", "plain"});
  EXPECT_EQ(r.err, "Kest: Split Found 2 variables.\nat row 2\n");
  r = run({"--quiet", "-d2s", "plain"});
  EXPECT_EQ(r.err, "Kest: Split Found 2 variables.\n2 train & 1 test\n");
  // A mismatching line is reported and still split.
  write("odd", "1 2\n3\n5 6\n");
  r = run({"-d1", "odd"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(
      contains(r.err, "Warning: Column count mismatch on line 2. Should be 2 but found 1.\n"));
  EXPECT_EQ(read("odd.tst"), "3 0\n5 6\n");
  // A line without a readable number ends the rows.
  write("tail", "1 2\n3 4\nx 5\n7 8\n");
  ASSERT_EQ(run({"-d1", "tail"}).status, 0);
  EXPECT_EQ(read("tail.tst"), "3 4\n");
  // Row numbers from 1 to rows - 1 only; a training name that is the input.
  for (const char* value : {"-d0.5", "-d3", "-d99999999999999999999"}) {
    expect_fatal({value, "plain"}, "At least 1 and max 3");
  }
  write("empty", "");
  expect_fatal({"-d1", "empty"}, "At least 1 and max 0");
  ASSERT_EQ(run({"-d50p", "empty"}).status, 0);
  EXPECT_EQ(read("empty.trn"), "");
  write("x.trn", input);
  expect_fatal({"-d1", "x.trn"}, "Input and output are the same file: x.trn\n");
  EXPECT_EQ(read("x.trn"), input);
}

}  // namespace
}  // namespace kest_cli
