// The whole-file operations end to end: transpose, up-down flip, sort, shuffle
// and split into training and test files.
#include <algorithm>
#include <sstream>

#include "cli_harness.h"

namespace kest_cli {
namespace {

/// The rows "i 10i" for i from `from` to `to`.
std::string tens(int from, int to) {
  std::string text;
  for (int i = from; i <= to; ++i) text += std::to_string(i) + " " + std::to_string(10 * i) + "\n";
  return text;
}

class WholeCli : public CliTest {
 protected:
  void expect(const std::string& input, const std::vector<RunCase>& cases,
              const std::string& names = "in out") const {
    expect_runs(input, cases, names);
  }
};

TEST_F(WholeCli, TransposeWritesColumnsAsRowsWithTheirHeader) {
  expect("# head\n1 2 3\n# inside\n4 5 6\n",
         {{"-a -t", "1 4\n2 5\n3 6\n"},  // comments are not written
          {"-t --add-line-count", "3\n1 4\n2 5\n3 6\n"},
          {"-t --output-latex",
           "% there are 0 lines in table\n\\begin{tabular}{l l}\n1 & 4 \\\\\n2 & 5 \\\\\n"
           "3 & 6 \\\\\n\\end{tabular}\n"},
          {"-t --output-c --add-line-count",
           "double data[3][2] = {\n{ 1, 4},\n{ 2, 5},\n{ 3, 6},\n};\n"}});
  // The compiler takes the transposed C array.
  write("array.cpp", read("out") + "int main() { return sizeof data == 0; }\n");
  const RunResult compiled = shell("g++ -std=c++17 -Wall -Werror -o array array.cpp");
  EXPECT_EQ(compiled.status, 0) << compiled.err;
  // One column; no data; a line with a different count ends the rows.
  expect("1\n2\n3\n", {{"-t", "1 2 3\n"}});
  expect("# nothing\n", {{"-t --output-latex",
                          "% there are 0 lines in table\n\\begin{tabular}{}\n\\end{tabular}\n"}});
  expect("1 2\n3 4\n5\n6 7\n", {{"-t", "1 3\n2 4\n"}});
}

TEST_F(WholeCli, TransposeAndFlipReadLongNumbersWhole) {
  // The tool's own -x output: twenty characters a value and more.
  expect("0.333333333333333315 -12345678901234567890 7\n1 2 3\n",
         {{"-x -1 -t", "0.333333333333333315 1\n-1.23456789012345672e+19 2\n7 3\n"},
          {"-x -1 --flip-ud", "1 2 3\n0.333333333333333315 -1.23456789012345672e+19 7\n"}});
}

TEST_F(WholeCli, TransposeAndFlipReadWithTheInputDelimiterAndSkippedColumns) {
  expect("1,2,3\n4,5,6\n", {{"--input-delimiter=, -t", "1 4\n2 5\n3 6\n"},
                            {"--input-delimiter=, --flip-ud", "4 5 6\n1 2 3\n"}});
  expect("ab 1 2\ncd 3 4\n", {{"-b 2 -t", "1 3\n2 4\n"}, {"-b 2 --flip-ud", "3 4\n1 2\n"}});
}

TEST_F(WholeCli, FlipUpDownLeavesOutTheSelectedColumns) {
  expect("1 2 3\n# c\n4 5 6\n7 8 9\n",
         {{"-a --flip-ud", "7 8 9\n4 5 6\n1 2 3\n"},
          {"-e 2 -i --flip-ud", "8\n5\n2\n"},
          // The header counts the written columns.
          {"-e 2 --output-latex --flip-ud",
           "% there are 0 lines in table\n\\begin{tabular}{l l}\n7 & 9 \\\\\n4 & 6 \\\\\n"
           "1 & 3 \\\\\n\\end{tabular}\n"},
          {"-e 1 --output-c --add-line-count --flip-ud",
           "double data[3][2] = {\n{ 8, 9},\n{ 5, 6},\n{ 2, 3},\n};\n"}});
  expect("", {{"--flip-ud --output-c", "double data[][0] = {\n};\n"}});
}

TEST_F(WholeCli, SortOrdersRowsByTheKeyList) {
  expect("# c\n3 1 9\n1 2 8\n2 1 7\n1 1 6\n",
         {{"-q 1,2", "1 1 6\n1 2 8\n2 1 7\n3 1 9\n"},
          {"--sort=2,-1", "1 2 8\n3 1 9\n2 1 7\n1 1 6\n"},
          {"-q 2,x,1", "1 1 6\n2 1 7\n3 1 9\n1 2 8\n"},  // no integer: passed over
          {"-q 1,,3,1", "1 1 6\n1 2 8\n2 1 7\n3 1 9\n"},
          {"-q x", "3 1 9\n1 2 8\n2 1 7\n1 1 6\n"},  // no key: as read
          {"-a --add-line-count -q 3", "4\n# c\n1 1 6\n2 1 7\n1 2 8\n3 1 9\n"}});
  // Huge values of opposite sign and infinities keep their order.
  expect("1e308 1\n-1e308 2\ninf 3\n-inf 4\n0 5\n",
         {{"-q 1", "-inf 4\n-1e+308 2\n0 5\n1e+308 1\ninf 3\n"}});
  // A bad key leaves the output as it was; a data line after the counted rows.
  expect("3 1\n1 2\n", {{"-q 0", "sorting column 0 out of range ( 1 <= 0 <= 2)", 1},
                        {"-q 1,3", "sorting column 1 out of range ( 1 <= 3 <= 2)", 1},
                        {"--sort=", "no sorting columns", 1}});
  write("in", "3 1\n1 2\n5\n4 4\n");
  EXPECT_TRUE(ends_with(run_words("-q 1 in out").err, "Can't read all lines\n"));
}

TEST_F(WholeCli, SortPlacesNaNKeysSoundly) {
  // A NaN decides nothing on its key and the next key decides, wherever that
  // gives a consistent order.
  expect("nan 5 1\n3 3 2\n5 2 3\nnan 9 4\n", {{"-q 1,2", "3 3 2\n5 2 3\nnan 5 1\nnan 9 4\n"},
                                              {"-q -1,2", "nan 9 4\nnan 5 1\n5 2 3\n3 3 2\n"}});
  // Where it does not (a NaN "equal" to both 1 and 3), NaN ranks above every
  // number: last ascending, first descending; enough rows to leave the small
  // sorts behind.
  std::string many, up, down, nans;
  for (int i = 1; i <= 40; ++i) {
    const std::string row = (i % 7 == 0 ? "nan" : std::to_string(i)) + " 1\n";
    many = row + many;
    (i % 7 == 0 ? nans : up) += row;
    if (i % 7 != 0) down = row + down;
  }
  expect(many, {{"-q 1", up + nans}, {"-q -1", nans + down}});
}

TEST_F(WholeCli, ShufflePermutesEachSelectedColumnAlone) {
  std::string input;
  for (int i = 1; i <= 200; ++i) input += std::to_string(i) + " -" + tens(i, i);
  write("in", input);
  ASSERT_EQ(run({"--shuffle", "-e", "2-3", "in", "out"}).status, 0);
  // Column 1 keeps its order; columns 2 and 3 are each a permutation of their
  // values, moved, and not moved together.
  std::vector<int> columns[3];
  std::istringstream out(read("out"));
  for (int i = 0; i < 200; ++i) {
    for (auto& column : columns) out >> column.emplace_back();
  }
  int unmoved = 0;
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(columns[0][i], i + 1);
    unmoved += (columns[1][i] == -i - 1) + (columns[2][i] == 10 * i + 10) +
               (columns[1][i] * 10 == -columns[2][i]);
  }
  EXPECT_LT(unmoved, 50);
  std::sort(columns[1].rbegin(), columns[1].rend());
  std::sort(columns[2].begin(), columns[2].end());
  for (int i = 0; i < 200; ++i)
    EXPECT_TRUE(columns[1][i] == -i - 1 && columns[2][i] == 10 * i + 10);
  // Nothing selected, or a single row: the input comes back.
  expect("1 2\n3 4\n", {{"--shuffle -e 7", "1 2\n3 4\n"}});
  expect("1 2\n", {{"--shuffle -e 1-2", "1 2\n"}});
}

TEST_F(WholeCli, SplitByRowsPercentAndAtRandom) {
  write("data.txt", "# c\n" + tens(1, 10));
  for (const auto& [options, training, test] :
       std::initializer_list<std::tuple<std::vector<std::string>, std::string, std::string>>{
           {{"-d3"}, tens(1, 3), tens(4, 10)},
           {{"-d9.9"}, tens(1, 9), tens(10, 10)},
           {{"--split=25p"}, tens(1, 2), tens(3, 10)},  // a percentage truncates
           // The run's sequence starts at the same seed: draws 0.298.., 0.715.., 0.033..
           {{"-d3s"}, tens(1, 1) + tens(3, 3) + tens(8, 8), tens(2, 2) + tens(4, 7) + tens(9, 10)},
           {{"-d90ps"}, tens(1, 3) + tens(5, 10), tens(4, 4)},  // drawn rows are drawn again
           // Each header counts its written columns and its own rows.
           {{"--output-c", "--add-line-count", "-e", "1", "-i", "-d8"},
            "double data[8][1] = {\n{ 1},\n{ 2},\n{ 3},\n{ 4},\n{ 5},\n{ 6},\n{ 7},\n{ 8},\n};\n",
            "double data[2][1] = {\n{ 9},\n{ 10},\n};\n"}}) {
    std::vector<std::string> args = options;
    args.push_back("data.txt");
    ASSERT_EQ(run(args).status, 0) << options.back();
    EXPECT_EQ(read("data.trn"), training) << options.back();
    EXPECT_EQ(read("data.tst"), test) << options.back();
  }
}

TEST_F(WholeCli, SplitNamesReportsAndRefusals) {
  const std::string input = "1 2\n3 4\n5 6\n";
  ASSERT_EQ(std::system(("mkdir -p " + path("old.dir")).c_str()), 0);
  write("old.dir/data", input);
  ASSERT_EQ(run({"-d1", "old.dir/data"}).status, 0);
  EXPECT_EQ(read("old.dir/data.trn") + read("old.dir/data.tst"), input);
  write("plain", input);
  EXPECT_EQ(run({"-d1", "plain", "ignored"}).status, 0);
  EXPECT_FALSE(exists("ignored"));
  EXPECT_EQ(run({"--quiet", "-d2", "plain"}).err, "Kest: Split Found 2 variables.\nat row 2\n");
  EXPECT_EQ(run({"--quiet", "-d2s", "plain"}).err,
            "Kest: Split Found 2 variables.\n2 train & 1 test\n");
  // A mismatching line is still split; a line without a readable number ends the rows.
  write("odd", "1 2\n3\n5 6\nx 5\n7 8\n");
  ASSERT_EQ(run({"-d1", "odd"}).status, 0);
  EXPECT_EQ(read("odd.tst"), "3 0\n5 6\n");
  // Row numbers from 1 to rows - 1 only; a training name that is the input.
  expect("",
         {{"-d0.5", "At least 1 and max 3", 1},
          {"-d3", "At least 1 and max 3", 1},
          {"-d99999999999999999999", "At least 1 and max 3", 1}},
         "plain");
  expect("", {{"-d1", "At least 1 and max 0", 1}}, "in");
  ASSERT_EQ(run({"-d50p", "in"}).status, 0);
  EXPECT_EQ(read("in.trn"), "");
}

}  // namespace
}  // namespace kest_cli
