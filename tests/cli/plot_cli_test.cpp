// The chart operation end to end: the series it draws, the documents of odd
// inputs, its refusals, and (where Chromium is installed) what a person sees.
// Every chart must be well-formed XML where xmllint is installed.
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>

#include "cli_harness.h"
#include "io/chart.h"

namespace kest_cli {
namespace {

// What the document draws of one series: its colour, its name, its polylines
// and the y pixel of every point in them (a lone value is its point twice).
struct Series {
  std::string colour, name;
  int polylines = 0;
  std::vector<double> ys;
};

std::vector<Series> series_of(const std::string& svg) {
  std::vector<Series> all;
  for (std::size_t at = svg.find("<g stroke=\""); at != std::string::npos;
       at = svg.find("<g stroke=\"", at + 1)) {
    Series& s = all.emplace_back();
    s.colour = svg.substr(at + 11, 7);
    const std::size_t name = svg.find("<title>", at) + 7;
    s.name = svg.substr(name, svg.find('<', name) - name);
    const std::size_t end = svg.find("</g>", at);
    for (std::size_t p = svg.find("points=\"", at); p < end; p = svg.find("points=\"", p + 1)) {
      ++s.polylines;
      const std::size_t quote = svg.find('"', p + 8);
      for (std::size_t c = svg.find(',', p); c < quote; c = svg.find(',', c + 1)) {
        s.ys.push_back(std::strtod(svg.c_str() + c + 1, nullptr));
      }
    }
  }
  return all;
}

// The x axis label, "no data" where it shows, and "name polylines points" of
// every series, joined by "|".
std::string summary(const std::string& svg) {
  const std::size_t at = svg.find("id=\"x-label\"");
  const std::size_t label = svg.find('>', at) + 1;
  std::string text =
      at == std::string::npos ? "-" : svg.substr(label, svg.find('<', label) - label);
  if (contains(svg, ">no data</text>")) text += " (no data)";
  for (const Series& s : series_of(svg)) {
    text += '|' + s.name + ' ' + std::to_string(s.polylines) + ' ' + std::to_string(s.ys.size());
  }
  return text;
}

// The x, y, width and height that follow the element with the given id: a box
// of page pixels.
using Box = std::array<double, 4>;
Box box_of(const std::string& svg, const std::string& id) {
  Box box{};
  const std::size_t at = svg.find("id=\"" + id + '"');
  const std::string names[] = {" x=\"", " y=\"", " width=\"", " height=\""};
  for (int i = 0; i < 4 && at != std::string::npos; ++i) {
    const std::size_t found = svg.find(names[i], at);
    box[i] = found == std::string::npos ? 0 : std::strtod(&svg[found + names[i].size()], nullptr);
  }
  return box;
}
std::string box_words(const Box& box) {
  std::ostringstream text;
  text << box[0] << ' ' << box[1] << ' ' << box[2] << ' ' << box[3];
  return text.str();
}

class PlotCli : public CliTest {
 protected:
  bool have(const std::string& program) const {
    return shell("command -v " + program + " >/dev/null").status == 0;
  }

  // Runs kest --plot on `args` into c.svg and returns the document.
  std::string chart(std::vector<std::string> args) const {
    args.insert(args.begin(), "--plot");
    args.push_back("c.svg");
    const RunResult r = run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    static const bool xmllint = have("xmllint");
    const RunResult lint = xmllint ? shell("xmllint --noout c.svg") : RunResult();
    EXPECT_TRUE(!xmllint || lint.status == 0) << lint.err;
    return read("c.svg");
  }
};

// The series are the selected columns less the x column; a value or an x that
// is missing breaks the line; odd inputs give valid charts that show what they
// hold. The file's name, the title, is escaped.
TEST_F(PlotCli, DrawsTheSeriesOfEveryInput) {
  const std::string name = "a<b&\"c\".dat";
  // Five rows; column 3 misses its third value.
  const std::string five = "# <b> & \"c\"\nx y z\n1 11 21\n2 12 22\n3 13 nan\n4 14 24\n5 15 25\n";
  std::string row, crowd = "-";  // more series than the legend has room for
  for (int c = 1; c <= 40; ++c) {
    row += std::to_string(c) + ' ';
    crowd += "|column " + std::to_string(c) + " 1 2";
  }
  const struct {
    std::string text;
    std::vector<std::string> options;
    std::string expected;
  } cases[] = {
      {five, {}, "row|column 1 1 5|column 2 1 5|column 3 2 4"},
      {five, {"-e", "1,3"}, "row|column 1 1 5|column 3 2 4"},
      {five, {"-i", "-e", "2"}, "row|column 1 1 5|column 3 2 4"},
      {five, {"--plot-x=2"}, "column 2|column 1 1 5|column 3 2 4"},
      {five, {"--plot-x=2", "-e", "2-3"}, "column 2|column 3 2 4"},
      {five, {"--plot-x=3"}, "column 3|column 1 2 4|column 2 2 4"},
      {five, {"--skip-rows=3"}, "row|column 1 1 4|column 2 1 4|column 3 2 4"},
      // Two dots: a lone value between breaks.
      {"t,a\nr:1,5\nr:2,nan\nr:3,7\n",
       {"--plot-x=1", "--input-delimiter=,", "--skip-columns=2"},
       "column 1|column 2 2 4"},
      {"# nothing\n", {"--plot-size=200x100"}, "- (no data)"},
      {"# nothing\n", {"--plot-x=2"}, "row (no data)"},  // whatever --plot-x names
      {"1 nan\n2 nan\n", {"--plot-x=1"}, "column 1 (no data)|column 2 0 0"},
      {"nan 1\nnan 2\n", {}, "row|column 1 0 0|column 2 1 2"},
      {"3\n3\n3\n", {}, "row|column 1 1 3"},
      {"42\n", {}, "row|column 1 1 2"},
      {"-1.7e308\n1.7e308\n0\n", {}, "row|column 1 1 3"},
      {"5e-324\n0\n1e-320\n", {}, "row|column 1 1 3"},
      {row + '\n' + row + '\n', {"--plot-size=400x100"}, crowd},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 20) + ' ' + (c.options.empty() ? "" : c.options[0]));
    write(name, c.text);
    std::vector<std::string> args = c.options;
    args.push_back(name);
    const std::string svg = chart(args);
    EXPECT_EQ(summary(svg), c.expected);
    EXPECT_TRUE(contains(svg, ">a&lt;b&amp;&quot;c&quot;.dat</text>"));
    // What is drawn lies inside the plot, the legend inside the page, and the
    // legend names the first series even when it has no point.
    const auto [x, y0, width, height] = box_of(svg, "plot-area");
    const std::vector<Series> series = series_of(svg);
    for (const Series& s : series) {
      for (const double y : s.ys) EXPECT_TRUE(y >= y0 + 2 && y <= y0 + height - 2) << y;
    }
    const Box legend = box_of(svg, "legend");
    EXPECT_LE(legend[0] + legend[2], std::strtod(&svg[svg.find(" width=\"") + 8], nullptr));
    EXPECT_TRUE(series.empty() || contains(svg, '>' + series[0].name + "</text>"));
  }

  // Output styles, number formats and kept comments do not reach the document,
  // and it is written whole even with --append.
  write("in", five);
  const std::string plain = chart({"in"});
  write("c.svg", "earlier text\n");
  EXPECT_EQ(chart({"--output-latex", "--add-line-count", "-x", "1", "--format=%.1f", "-a",
                   "--append", "in"}),
            plain);

  // A pipe is read twice like a file; the document goes to standard output.
  // Named alike, both have the same title.
  write("standard input", five);
  const RunResult r = shell("cat \"standard input\" | $KEST_BIN --plot --plot-x=1 - -");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, chart({"--plot-x=1", "standard input"}));
}

TEST_F(PlotCli, RefusalsAreFatalAndLeaveNoChart) {
  write("in", "1 2 3\n4 5 6\n");
  std::string wide;
  for (int i = 0; i < 300; ++i) wide += "1 ";
  write("wide", wide + "\n");
  const struct {
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
      {{"-e", "0", "in", "c.svg"}, "No column selected for the chart\n"},
      {{"-e", "99999999", "in", "c.svg"}, "No column selected for the chart\n"},
      {{"--plot-x=1", "-e", "1", "in", "c.svg"}, "No column selected for the chart\n"},
      {{"wide", "c.svg"}, "Too many columns for a chart: 300 (at most 256; choose them with -e)\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--plot"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult r = run(args);
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_TRUE(contains(r.err, c.message)) << r.err;
    EXPECT_FALSE(exists("c.svg")) << c.message;
  }
  EXPECT_EQ(read("in"), "1 2 3\n4 5 6\n");
}

// What a person sees in a chart of a million rows.
TEST_F(PlotCli, TheChartShowsWhatEveryPointShows) {
  if (!have("chromium") || !have("python3")) GTEST_SKIP() << "chromium is not installed";
  // Two noisy lines with spikes that never cross (blends of two colours are no
  // test of coverage); column 2 misses rows 300001..400000.
  const std::size_t rows = 1000000;
  std::vector<kest::ChartLines> every(2, kest::ChartLines(1));
  std::string text;
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> noise(-0.3, 0.3);
  for (std::size_t i = 1; i <= rows; ++i) {
    const double wave = std::sin(static_cast<double>(i) * 4e-6);
    const double y[2] = {i % 40000 < 2 ? 9.0 : 5 + wave + noise(random),
                         i % 40000 == 20000 ? -3.0 : wave + noise(random)};
    for (int s = 0; s < 2; ++s) {
      char number[32];
      const bool gap = s == 1 && i > 300000 && i <= 400000;
      text.append(number, std::snprintf(number, sizeof number, gap ? "nan" : "%.3f", y[s]));
      text += s == 0 ? ' ' : '\n';
      // Every point as kest reads it. Chromium strokes a polyline of a million
      // points for minutes; runs of a thousand that share their ends cover the
      // same pixels (round joins and caps) in seconds.
      if (gap) {
        if (!every[s].back().empty()) every[s].emplace_back();
      } else {
        if (every[s].back().size() == 1000) every[s].push_back({every[s].back().back()});
        every[s].back().push_back({static_cast<double>(i), std::strtod(number, nullptr)});
      }
    }
  }
  const std::string name = "a<b&\"c\".dat";
  write(name, text);
  const std::string svg = chart({name});
  const kest::ChartSpec spec{.title = name,
                             .x_label = "row",
                             .series_names = {"column 1", "column 2"},
                             .x_first = 1,
                             .x_last = static_cast<double>(rows)};
  write("every.svg", kest::render_chart(spec, every));

  // Rendered at the default size, the chart shows each series and its text,
  // column 2 leaves free the pixel columns between row 300000 and 400001 (less
  // one at each end for the line's round caps), and every point shows alike.
  const std::vector<Series> series = series_of(svg);
  ASSERT_EQ(series.size(), 2u);
  const Box plot = box_of(svg, "plot-area");
  const double scale = plot[2] / (rows - 1.0);
  const double gap = std::ceil(plot[0] + 299999 * scale + 1);
  const Box gap_box = {gap, plot[1], std::floor(plot[0] + 400000 * scale - 1) - gap, plot[3]};
  std::string command = "python3 \"" KEST_PICTURE_TOOL "\" c.svg " + std::to_string(spec.width) +
                        ' ' + std::to_string(spec.height);
  for (const std::string& question :
       {"colour " + series[0].colour + ' ' + box_words(plot),
        "colour " + series[1].colour + ' ' + box_words(plot),
        "text " + box_words({0, 0, static_cast<double>(spec.width), plot[1]}),  // the title
        "text " + box_words(box_of(svg, "legend")),
        "colour " + series[1].colour + ' ' + box_words(gap_box) + " 0.2",
        std::string("compare every.svg")}) {
    command += " \"" + question + '"';
  }
  const RunResult r = shell(command);
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream answers(r.out);
  long count = -1;
  for (const auto& [what, least] :
       {std::pair{"column 1", 100}, {"column 2", 100}, {"title", 50}, {"legend", 50}}) {
    EXPECT_TRUE(answers >> count && count > least) << what << " shows " << count << " pixels";
  }
  EXPECT_TRUE(answers >> count && count == 0) << count << " pixels of column 2 in its gap";
  EXPECT_TRUE(answers >> count && count == 0) << count << " pixels unlike every point's";
}

}  // namespace
}  // namespace kest_cli
