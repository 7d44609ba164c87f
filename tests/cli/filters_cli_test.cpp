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

std::string lines(const std::vector<std::string>& values) {
  std::string text;
  for (const std::string& v : values) text += v + "\n";
  return text;
}

class FiltersCli : public CliTest {
 protected:
  struct Case {
    std::vector<std::string> args;
    std::string input;
    std::string expected;  // standard output
  };
  // Runs every case on the file "in", written to standard output.
  void expect_outputs(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      write("in", c.input);
      std::vector<std::string> args = c.args;
      args.insert(args.end(), {"in", "-"});
      RunResult r = run(args);
      EXPECT_EQ(r.status, 0) << args[0] << "\n" << r.err;
      EXPECT_EQ(r.out, c.expected) << args[0] << " " << args[1];
    }
  }
  // Runs every case and expects a refusal whose report ends standard error.
  void expect_refusals(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      write("in", c.input);
      write("out", "kept");
      std::vector<std::string> args = c.args;
      args.insert(args.end(), {"in", "out"});
      RunResult r = run(args);
      EXPECT_EQ(r.status, 1) << args[0];
      EXPECT_TRUE(ends_with(r.err, c.expected)) << args[0] << "\n" << r.err;
      EXPECT_EQ(read("out"), "kept") << args[0];
    }
  }
};

TEST_F(FiltersCli, MovingAverage) {
  const std::string impulse = lines({"0", "0", "0", "0", "1", "0", "0", "0", "0", "0"});
  const std::string kernel =
      lines({"0", "0", "0.107", "0.179", "0.428", "0.179", "0.107", "0", "0", "0"});
  expect_outputs({
      {{"-f", "-e", "1"}, impulse, kernel},
      {{"-f9", "-e", "1"}, impulse, kernel},  // the tap count leaves the kernel as it is
      // Summed in extended precision: a double sum would end in ...946.
      {{"-f", "-e", "1", "-x", "1"},
       lines({"-352.334 1", "-698.302 2", "301.869 3", "-855.127 4", "71.764 5"}),
       lines({"-352.334000000000003 1", "-698.302000000000021 2", "-178.884848999999974 3",
              "-855.126999999999953 4", "71.7639999999999958 5"})},
      {{"-f", "-e", "2"},
       lines({"1 2.50", "2 2.5", "3 2.5", "4 2.5", "5 2.5", "6 2.5"}),
       lines({"1 2.5", "2 2.5", "3 2.5", "4 2.5", "5 2.5", "6 2.5"})},
      {{"-a", "-f", "-e", "1"}, "# dropped\n1\n9\n3\n9\n", lines({"1", "9", "3", "9"})},
  });
}

TEST_F(FiltersCli, Median) {
  expect_outputs({
      {{"-u", "1", "-e", "1"},
       lines({"1 10", "9 20", "2 30", "8 40", "3 50"}),
       lines({"1 10", "2 20", "8 30", "3 40", "3 50"})},
      {{"-u", "2", "-e", "1"}, lines({"1", "2", "30", "4", "5"}), lines({"1", "2", "4", "4", "5"})},
      // NaN after every number, -0 before +0.
      {{"-u", "1", "-e", "1-2"},
       lines({"nan 5", "inf -0", "-inf 0", "nan 5", "1 0", "2 -0"}),
       lines({"nan 5", "inf 0", "inf 0", "1 0", "2 0", "2 -0"})},
      {{"-a", "-u", "1", "-e", "1"}, "# kept\n3\n1\n2\n", "# kept\n3\n2\n2\n"},
  });
  expect_refusals({
      {{"-u", "3", "-e", "1"},
       lines({"1", "2", "3", "4", "5", "6"}),
       "Too many filtertaps(=3) for data (filtertaps*2+1)(=7) > 6"},
      {{"-u", "1", "-e", "1"}, "", "Too many filtertaps(=1) for data (filtertaps*2+1)(=3) > 0"},
  });
  // Data lines beyond the counted rows are refused once the output is open.
  write("in", lines({"1 2", "3 4", "5 6", "7"}));
  RunResult r = run({"-u", "1", "-e", "1", "in", "out"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(ends_with(r.err, "Can't read all lines\n")) << r.err;
}

// Against a plain sort of each window, on columns full of ties, infinities and NaN
// (the row number beside each value makes every line a data line).
TEST_F(FiltersCli, MedianMatchesSortedWindows) {
  const std::vector<std::string> tokens = {"nan", "inf", "-inf", "0", "-0", "1", "2", "3", "-4"};
  const auto less = [](double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return !std::isnan(a) && std::isnan(b);
    return a < b || (a == b && std::signbit(a) && !std::signbit(b));
  };
  std::mt19937 random(12345);
  for (std::uint32_t k : {1u, 4u, 30u}) {
    std::vector<std::string> column;
    for (int i = 0; i < 400; ++i) column.push_back(tokens[random() % tokens.size()]);
    std::vector<std::string> expected = column;
    std::vector<std::string> input = column;
    for (std::size_t i = k; i + k < column.size(); ++i) {
      std::vector<std::string> window(column.begin() + (i - k), column.begin() + (i + k + 1));
      std::sort(window.begin(), window.end(), [&](const std::string& a, const std::string& b) {
        return less(std::stod(a), std::stod(b));
      });
      expected[i] = window[k];
    }
    for (std::size_t i = 0; i < column.size(); ++i) {
      input[i].append(" ").append(std::to_string(i));
      expected[i].append(" ").append(std::to_string(i));
    }
    expect_outputs({{{"-u", std::to_string(k), "-e", "1"}, lines(input), lines(expected)}});
  }
}

TEST_F(FiltersCli, SincKernelsAsImpulseResponses) {
  // A 1 in row 9 of 12 comes out as the kernel reversed, h[M] ... h[0], in rows 9-M ... 9.
  const std::string impulse = lines({"0", "0", "0", "0", "0", "0", "0", "0", "1", "0", "0", "0"});
  expect_outputs({
      {{"--sinc-lp=0.1,6", "-x", "-1", "-e", "1"},
       impulse,
       lines({"0", "0", "-2.87853833507649722e-21", "0.0414177347793441217", "0.248099503589505999",
              "0.420965523262299801", "0.248099503589505804", "0.0414177347793441217",
              "-2.87853833507649722e-21", "0", "0", "0"})},
      {{"--sinc-hp=0.2,6", "-x", "-1", "-e", "1"},
       impulse,
       lines({"0", "0", "-1.04896334242210891e-21", "-0.0150929674898836064",
              "-0.236695210238910686", "0.503576355457588498", "-0.236695210238910519",
              "-0.0150929674898836064", "-1.04896334242210891e-21", "0", "0", "0"})},
      {{"--sinc-bp=0.1,0.3,8", "-x", "-1", "-e", "1"},
       impulse,
       lines({"1.706660596277364e-23", "-0.0152270085705476788", "-0.116872394849287797",
              "-0.00389652225194353496", "0.271991851343557967", "-0.00389652225194353496",
              "-0.11687239484928777", "-0.0152270085705476614", "1.706660596277364e-23", "0", "0",
              "0"})},
      {{"--sinc-bs=0.1,0.3,8", "-x", "-1", "-e", "1"},
       impulse,
       lines({"-1.706660596277364e-23", "0.0152270085705476788", "0.116872394849287797",
              "0.00389652225194353496", "0.728008148656442033", "0.00389652225194353496",
              "0.11687239484928777", "0.0152270085705476614", "-1.706660596277364e-23", "0", "0",
              "0"})},
      // A kernel longer than the column: its first taps, scaled by the sum of all.
      {{"--sinc-hp=0.2,6", "-x", "1", "-e", "1"},
       lines({"0 1", "0 2", "1 3"}),
       lines(
           {"-0.236695210238910519 1", "-0.0150929674898836064 2", "-1.04896334242210891e-21 3"})},
      // M = 2: the end taps are about 0, so the column moves up one row.
      {{"--sinc-lp=0.1,2", "-e", "1"},
       lines({"1 7", "2 7", "3 7", "4 7"}),
       lines({"2 7", "3 7", "4 7", "-0 7"})},
  });
}

TEST_F(FiltersCli, SincEdgesAndRefusals) {
  const std::string constant = lines({"5", "5", "5", "5", "5", "5", "5", "5"});
  expect_outputs({
      {{"--sinc-lp=0.2,4", "-e", "1"},
       constant,
       lines({"5", "5", "5", "5", "5", "4.150555", "0.849445", "-0"})},
  });
  for (const char* option : {"--sinc-lp=0.1,0", "--sinc-hp=0.1,-2", "--sinc-bs=0.1,0.2,-4"}) {
    RunResult r = run({option, "-e", "1", "missing", "out"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(ends_with(r.err, "M should be a positive even number\n")) << r.err;
  }
}

TEST_F(FiltersCli, RunningAverageModes) {
  const std::string data = lines({"1 10", "2 20", "3 30", "4 40", "5 50"});
  expect_outputs({
      {{"--running-average=2,0", "-e", "1"}, lines({"2", "4", "6"}), lines({"1", "3", "5"})},
      {{"--running-avg=2,1", "-e", "1"}, lines({"2", "4", "6"}), lines({"2", "3", "5"})},
      {{"--running-mean=3", "-e", "1"}, data, lines({"2 30", "3 40", "4 50"})},
      {{"--running-average=3,2", "-e", "1"}, data, lines({"2 30", "3 40", "4 50"})},
      {{"--running-average=3,3", "-e", "1"}, data, lines({"2 20", "3 30", "4 40"})},
      {{"--running-average=4,3", "-e", "1"}, data, lines({"2.5 30", "3.5 40"})},
      {{"--running-average=5,3", "-e", "1"}, data, lines({"3 30"})},
      {{"--add-line-count", "--running-average=3", "-e", "1"},
       data,
       lines({"3", "2 30", "3 40", "4 50"})},
      {{"-a", "--running-average=2,0", "-e", "1"}, "2\n# between\n4\n", "1\n# between\n3\n"},
  });
  expect_refusals({{{"--running-average=6", "-e", "1"},
                    data,
                    "Too many filtertaps(=6) for data (filtertaps)(=6) > 5"}});
  write("in", data);
  RunResult r = run({"--debug", "--running-average=4,3", "-e", "1", "in", "-"});
  EXPECT_TRUE(contains(r.err, ":: debug: yy=2\n")) << r.err;
}

TEST_F(FiltersCli, EmptyFilesAndNonNumbersPassEveryFilter) {
  const std::string odd = lines({"nan 1", "inf 2", "-inf 3", "1e308 4", "-1e308 5", "0 6"});
  struct Filter {
    std::string option;
    int empty_status;  // the windowed filters refuse a file with fewer rows than their window
  } filters[] = {{"-f", 0}, {"-u1", 1}, {"--sinc-bs=0.1,0.3,4", 0}, {"--running-average=2,1", 1}};
  for (const Filter& f : filters) {
    write("in", odd);
    EXPECT_EQ(run({f.option, "-e", "1-2", "in", "out"}).status, 0) << f.option;
    write("in", "");
    EXPECT_EQ(run({f.option, "-e", "1-2", "in", "out"}).status, f.empty_status) << f.option;
  }
}

}  // namespace
}  // namespace kest_cli
