// The chart operation end to end: the series a selection draws, the reading
// options that apply and the output options that do not, the reduction that keeps
// the document small, the refusals, and (where Chromium is installed) what the
// rendered chart shows.
#include <cmath>
#include <cstdio>
#include <random>

#include "cli_harness.h"
#include "io/chart.h"
#include "picture.h"

namespace kest_cli {
namespace {

using kest_picture::Layout;

class PlotCli : public CliTest {
 protected:
  void SetUp() override {
    if (!kest_picture::have_program("python3")) GTEST_SKIP() << "python3 is not installed";
    CliTest::SetUp();
    // Five rows; column 3 misses its third value.
    write("in", "# <b> & \"c\"\nx y z\n1 11 21\n2 12 22\n3 13 nan\n4 14 24\n5 15 25\n");
  }

  // Runs kest, which must write a well-formed chart into `svg`, and returns
  // what the chart says about itself.
  Layout chart(const std::vector<std::string>& args, const std::string& svg = "c.svg") {
    const RunResult r = run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    std::string errors;
    if (kest_picture::have_xmllint()) {
      EXPECT_TRUE(kest_picture::xml_well_formed(path(svg), errors)) << errors;
    }
    Layout layout;
    EXPECT_TRUE(kest_picture::read_layout(path(svg), layout)) << read(svg);
    return layout;
  }

  // The text of the element with the given id.
  static std::string text_of(const std::string& svg, const std::string& id) {
    const std::size_t at = svg.find("id=\"" + id + '"');
    if (at == std::string::npos) return "<none>";
    const std::size_t from = svg.find('>', at) + 1;
    return svg.substr(from, svg.find('<', from) - from);
  }

  // "name polylines points" of every series, joined by "|".
  static std::string series_of(const Layout& layout) {
    std::string text;
    for (const kest_picture::SeriesInfo& s : layout.series) {
      text += (text.empty() ? "" : "|") + s.name + ' ' + std::to_string(s.polylines) + ' ' +
              std::to_string(s.points);
    }
    return text;
  }
};

TEST_F(PlotCli, SeriesAreTheSelectedColumnsLessTheXColumn) {
  write("in.csv", "t,a\nr:1,5\nr:2,nan\nr:3,7\n");
  struct Case {
    std::vector<std::string> args;
    std::string series;
    std::string x_label;
  } cases[] = {
      {{"in"}, "column 1 1 5|column 2 1 5|column 3 2 4", "row"},
      {{"-e", "1,3", "in"}, "column 1 1 5|column 3 2 4", "row"},
      {{"-i", "-e", "2", "in"}, "column 1 1 5|column 3 2 4", "row"},
      {{"--plot-x=2", "in"}, "column 1 1 5|column 3 2 4", "column 2"},
      {{"--plot-x=2", "-e", "2-3", "in"}, "column 3 2 4", "column 2"},
      {{"--skip-rows=3", "in"}, "column 1 1 4|column 2 1 4|column 3 2 3", "row"},
      // Two dots: a lone value between breaks is one point.
      {{"--plot-x=1", "--input-delimiter=,", "--skip-columns=2", "in.csv"}, "column 2 2 2", "column 1"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--plot"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back("c.svg");
    EXPECT_EQ(series_of(chart(args)), c.series) << args[1];
    EXPECT_EQ(text_of(read("c.svg"), "x-label"), c.x_label) << args[1];
  }

  // Output styles, number formats and kept comments do not reach the document,
  // and it is written whole even with --append.
  chart({"--plot", "in", "plain.svg"}, "plain.svg");
  write("c.svg", "earlier text\n");
  chart({"--plot", "--output-latex", "--add-line-count", "-x", "1", "--format=%.1f", "-a",
         "--append", "in", "c.svg"});
  EXPECT_EQ(read("c.svg"), read("plain.svg"));
  EXPECT_FALSE(contains(read("c.svg"), "<b>"));
}

TEST_F(PlotCli, TitlesEmptyInputsAndPipes) {
  write("a<b&\"c\".dat", "1 2\n3 4\n");
  chart({"--plot", "a<b&\"c\".dat", "c.svg"});
  EXPECT_EQ(text_of(read("c.svg"), "title"), "a&lt;b&amp;&quot;c&quot;.dat");

  write("empty", "# nothing\n");
  for (const std::string option : {"--plot-size=200x100", "--plot-x=2"}) {
    EXPECT_EQ(chart({"--plot", option, "empty", "c.svg"}).series.size(), 0u) << option;
    EXPECT_EQ(text_of(read("c.svg"), "no-data"), "no data") << option;
  }

  // A pipe is read twice like a file; the document goes to standard output.
  chart({"--plot", "--plot-x=1", "in", "c.svg"});
  RunResult r = shell("cat in | $KEST_BIN --plot --plot-x=1 - -");
  EXPECT_EQ(r.status, 0) << r.err;
  std::string piped = r.out;
  for (std::size_t at; (at = piped.find("standard input")) != std::string::npos;) piped.replace(at, 14, "in");
  EXPECT_EQ(piped, read("c.svg"));
}

TEST_F(PlotCli, RefusalsAreFatalAndLeaveNoChart) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--plot-x=4", "in", "c.svg"}, "Invalid column for --plot-x: 4 (in has 3 columns)\n"},
      {{"--plot-x=0", "in", "c.svg"}, "Invalid column for --plot-x: 0 (a column number from 1)\n"},
      {{"--plot-size=100x10001", "in", "c.svg"},
       "Invalid plot size 100x10001 (WxH, each from 100 to 10000)\n"},
      {{"in", "no/dir/c.svg"}, "Could not open file no/dir/c.svg for writing\n"},
      {{"in", "/dev/full"}, "Could not write file /dev/full\n"},
      {{"in", "in"}, "Input and output are the same file: in\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--plot"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult r = run(args);
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_TRUE(contains(r.err, c.message)) << r.err;
    EXPECT_FALSE(exists("c.svg")) << c.message;
  }
  EXPECT_TRUE(contains(read("in"), "5 15 25"));
}

// ---- what a person sees ------------------------------------------------------------

class PlotPicture : public PlotCli {
 protected:
  void SetUp() override {
    if (!kest_picture::have_chromium()) GTEST_SKIP() << "chromium is not installed";
    PlotCli::SetUp();
  }
  std::string render(const std::string& svg, const Layout& layout) {
    const std::string png = path(svg + ".png");
    EXPECT_TRUE(kest_picture::render(path(svg), png, layout.width, layout.height));
    return png;
  }
};

// Writes `rows` rows of one noisy column with spikes, as three-decimal text, and
// hands back the values as kest reads them.
std::vector<double> noisy_column(const std::string& file, std::size_t rows) {
  std::vector<double> values;
  std::string text;
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> noise(-0.3, 0.3);
  char number[32];
  for (std::size_t i = 1; i <= rows; ++i) {
    const double value = i % 40000 < 2 ? 4.0 : 1.5 + 2 * std::sin(i * 4e-6) + noise(random);
    text.append(number, std::snprintf(number, sizeof number, "%.3f\n", value));
    values.push_back(std::strtod(number, nullptr));
  }
  std::ofstream(file, std::ios::binary) << text;
  return values;
}

TEST_F(PlotPicture, TheReductionBoundsTheDocumentAndDrawsWhatEveryPointDraws) {
  noisy_column(path("small.dat"), 100000);
  const std::vector<double> values = noisy_column(path("big.dat"), 1000000);
  const Layout small = chart({"--plot", "small.dat", "small.svg"}, "small.svg");
  const Layout big = chart({"--plot", "big.dat", "big.svg"}, "big.svg");
  ASSERT_EQ(big.series.size(), 1u);
  EXPECT_EQ(big.series[0].polylines, 1);
  EXPECT_LE(big.series[0].points, 4 * (big.plot.x1 - big.plot.x0));
  const auto size = [&](const char* name) { return static_cast<double>(read(name).size()); };
  EXPECT_LT(size("big.svg"), 1.2 * size("small.svg"));
  EXPECT_LT(size("big.svg"), 100000);

  kest::ChartSpec spec;
  spec.title = "big.dat";
  spec.x_label = "row";
  spec.series_names = {"column 1"};
  spec.x_first = 1;
  spec.x_last = static_cast<double>(values.size());
  // Every point drawn. Chromium strokes a polyline of a million points for
  // minutes; runs of a thousand that share their ends cover the same pixels
  // (round joins and caps) in seconds.
  kest::ChartLines every(1);
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (every.back().size() == 1000) every.push_back({every.back().back()});
    every.back().push_back({i + 1.0, values[i]});
  }
  write("every.svg", kest::render_chart(spec, {every}));
  EXPECT_EQ(kest_picture::mismatches(render("big.svg", big), render("every.svg", big)), 0);
}

TEST_F(PlotPicture, SeriesGapsLegendAndTitleShow) {
  std::string text;
  for (int i = 1; i <= 3000; ++i) {
    const double t = i * 2e-3;
    const std::string middle = i > 1000 && i <= 1500 ? "nan" : std::to_string(5 + std::sin(t));
    text += std::to_string(10 + std::sin(t)) + ' ' + middle + ' ' + std::to_string(std::cos(t)) + '\n';
  }
  write("three.dat", text);
  const Layout layout = chart({"--plot", "three.dat", "c.svg"});
  ASSERT_EQ(layout.series.size(), 3u);
  kest_picture::Questions questions;
  std::size_t present[3];
  for (int s = 0; s < 3; ++s) present[s] = questions.ask_colour(layout.series[s].colour, layout.plot);
  const std::size_t gap = questions.ask_columns(layout.series[1].colour, layout.plot, 0.2);
  const std::size_t title = questions.ask_text(layout.title);
  const std::size_t legend = questions.ask_text(layout.legend);
  ASSERT_TRUE(questions.answer(render("c.svg", layout)));
  for (int s = 0; s < 3; ++s) EXPECT_GT(questions.count(present[s]), 100) << "series " << s;
  EXPECT_GT(questions.count(title), 50);
  EXPECT_GT(questions.count(legend), 50);
  // Rows 1001..1500 are missing: their pixel columns, less one at each end for
  // the line's caps, hold nothing of column 2.
  const double width = layout.plot.x1 - layout.plot.x0;
  const double first = layout.plot.x0 + 1000 * width / 2999 + 1;
  const double last = layout.plot.x0 + 1499 * width / 2999 - 1;
  for (const int column : questions.columns(gap)) {
    EXPECT_FALSE(column > first && column < last) << "column 2 drawn at " << column;
  }
}

}  // namespace
}  // namespace kest_cli
