// The filters end to end: the 5-point moving average, the median, the four
// windowed-sinc filters and the running average, against values worked out by
// hand or computed independently (the sinc kernels and the extended-precision
// sum were computed with exact rational arithmetic).
#include <algorithm>
#include <cmath>
#include <random>

#include "cli_harness.h"

namespace kest_cli {
namespace {

/// The lines of a table written with "," between them: rows("1 2,3 4") is "1 2\n3 4\n".
std::string rows(std::string text) {
  std::replace(text.begin(), text.end(), ',', '\n');
  return text + "\n";
}

using FiltersCli = CliTest;

TEST_F(FiltersCli, MovingAverage) {
  const std::string impulse = rows("0,0,0,0,1,0,0,0,0,0");
  const std::string kernel = rows("0,0,0.107,0.179,0.428,0.179,0.107,0,0,0");
  // The tap count leaves the kernel as it is.
  expect_runs(impulse, {{"-f -e 1", kernel}, {"-f9 -e 1", kernel}}, "in out");
  // Summed in extended precision: a double sum would end in ...946.
  expect_runs(rows("-352.334 1,-698.302 2,301.869 3,-855.127 4,71.764 5"),
              {{"-f -e 1 -x 1", rows("-352.334000000000003 1,-698.302000000000021 2,"
                                     "-178.884848999999974 3,-855.126999999999953 4,"
                                     "71.7639999999999958 5")}},
              "in out");
  expect_runs("# dropped\n1\n9\n3\n9\n", {{"-a -f -e 1", rows("1,9,3,9")}}, "in out");
}

TEST_F(FiltersCli, MedianRefusalsAndComments) {
  expect_runs("# kept\n3\n1\n2\n", {{"-a -u 1 -e 1", "# kept\n3\n2\n2\n"}}, "in out");
  expect_runs(rows("1,2,3,4,5,6"),
              {{"-u 3 -e 1", "Too many filtertaps(=3) for data (filtertaps*2+1)(=7) > 6", 1}},
              "in out");
  expect_runs("", {{"-u 1 -e 1", "Too many filtertaps(=1) for data (filtertaps*2+1)(=3) > 0", 1}},
              "in out");
}

// Against a plain sort of each window (NaN after every number, -0 before +0), on
// columns full of ties, infinities and NaN; the rising row numbers beside them,
// filtered too, stay as they are.
TEST_F(FiltersCli, MedianMatchesSortedWindows) {
  const std::vector<std::string> tokens = {"nan", "inf", "-inf", "0", "-0", "1", "2", "3", "-4"};
  const auto less = [](const std::string& x, const std::string& y) {
    const double a = std::stod(x), b = std::stod(y);
    if (std::isnan(a) || std::isnan(b)) return !std::isnan(a) && std::isnan(b);
    return a < b || (a == b && std::signbit(a) && !std::signbit(b));
  };
  std::mt19937 random(12345);
  for (std::uint32_t k : {1u, 4u, 30u}) {
    std::vector<std::string> column;
    for (int i = 0; i < 400; ++i) column.push_back(tokens[random() % tokens.size()]);
    std::string input, expected;
    for (std::size_t i = 0; i < column.size(); ++i) {
      std::string median = column[i];
      if (i >= k && i + k < column.size()) {
        std::vector<std::string> window(column.begin() + (i - k), column.begin() + (i + k + 1));
        std::sort(window.begin(), window.end(), less);
        median = window[k];
      }
      input += column[i] + " " + std::to_string(i) + "\n";
      expected += median + " " + std::to_string(i) + "\n";
    }
    expect_runs(input, {{"-u " + std::to_string(k) + " -e 1-2", expected}}, "in out");
  }
}

TEST_F(FiltersCli, SincKernelsAsImpulseResponses) {
  // A 1 in row 9 of 12 comes out as the kernel reversed, h[M] ... h[0], in rows 9-M ... 9.
  const std::string impulse = rows("0,0,0,0,0,0,0,0,1,0,0,0");
  expect_runs(impulse,
              {
                  {"--sinc-lp=0.1,6 -x -1 -e 1",
                   rows("0,0,-2.87853833507649722e-21,0.0414177347793441217,0.248099503589505999,"
                        "0.420965523262299801,0.248099503589505804,0.0414177347793441217,"
                        "-2.87853833507649722e-21,0,0,0")},
                  {"--sinc-hp=0.2,6 -x -1 -e 1",
                   rows("0,0,-1.04896334242210891e-21,-0.0150929674898836064,-0.236695210238910686,"
                        "0.503576355457588498,-0.236695210238910519,-0.0150929674898836064,"
                        "-1.04896334242210891e-21,0,0,0")},
                  {"--sinc-bp=0.1,0.3,8 -x -1 -e 1",
                   rows("1.706660596277364e-23,-0.0152270085705476788,-0.116872394849287797,"
                        "-0.00389652225194353496,0.271991851343557967,-0.00389652225194353496,"
                        "-0.11687239484928777,-0.0152270085705476614,1.706660596277364e-23,0,0,0")},
                  {"--sinc-bs=0.1,0.3,8 -x -1 -e 1",
                   rows("-1.706660596277364e-23,0.0152270085705476788,0.116872394849287797,"
                        "0.00389652225194353496,0.728008148656442033,0.00389652225194353496,"
                        "0.11687239484928777,0.0152270085705476614,-1.706660596277364e-23,0,0,0")},
              },
              "in out");
  // A kernel longer than the column: its first taps, scaled by the sum of all.
  expect_runs(
      rows("0 1,0 2,1 3"),
      {{"--sinc-hp=0.2,6 -x 1 -e 1",
        rows("-0.236695210238910519 1,-0.0150929674898836064 2,-1.04896334242210891e-21 3")}},
      "in out");
  // M = 2: the end taps are about 0, so the column moves up one row.
  expect_runs(rows("1 7,2 7,3 7,4 7"), {{"--sinc-lp=0.1,2 -e 1", rows("2 7,3 7,4 7,-0 7")}},
              "in out");
  // The last M rows see a shortened kernel.
  expect_runs(rows("5,5,5,5,5,5,5,5"),
              {{"--sinc-lp=0.2,4 -e 1", rows("5,5,5,5,5,4.150555,0.849445,-0")}}, "in out");
}

TEST_F(FiltersCli, RunningAverageModes) {
  const std::string data = rows("1 10,2 20,3 30,4 40,5 50");
  expect_runs(rows("2,4,6"),
              {{"--running-average=2,0 -e 1", rows("1,3,5")},
               {"--running-average=2,1 -e 1", rows("2,3,5")}},
              "in out");
  expect_runs(
      data,
      {{"--running-average=3 -e 1", rows("2 30,3 40,4 50")},
       {"--running-average=3,3 -e 1", rows("2 20,3 30,4 40")},
       {"--running-average=4,3 -e 1", rows("2.5 30,3.5 40")},
       {"--running-average=5,3 -e 1", rows("3 30")},
       {"--add-line-count --running-average=3 -e 1", rows("3,2 30,3 40,4 50")},
       {"--running-average=6 -e 1", "Too many filtertaps(=6) for data (filtertaps)(=6) > 5", 1}},
      "in out");
  expect_runs("2\n# between\n4\n", {{"-a --running-average=2,0 -e 1", "1\n# between\n3\n"}},
              "in out");
}

// Columns of NaN and infinities pass every filter; an empty file passes those
// without a window and is refused by the others.
TEST_F(FiltersCli, EmptyFilesAndNonNumbersPassEveryFilter) {
  const std::string odd = rows("nan 1,inf 2,-inf 3,1e308 4,-1e308 5,0 6");
  for (const auto& [option, empty_status] : std::initializer_list<std::pair<const char*, int>>{
           {"-f", 0}, {"-u1", 1}, {"--sinc-bs=0.1,0.3,4", 0}, {"--running-average=2,1", 1}}) {
    write("in", odd);
    EXPECT_EQ(run({option, "-e", "1-2", "in", "out"}).status, 0) << option;
    write("in", "");
    EXPECT_EQ(run({option, "-e", "1-2", "in", "out"}).status, empty_status) << option;
  }
}

}  // namespace
}  // namespace kest_cli
