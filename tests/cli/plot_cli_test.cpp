// The chart operation end to end: the series it draws, the documents of odd
// inputs, its refusals, and (where Chromium is installed) what a person sees.
// Every chart must be well-formed XML where xmllint is installed.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

#include "cli_harness.h"
#include "io/chart.h"

namespace kest_cli {
namespace {

// What the document draws of one series: its colour, dashes and name, its
// polylines and every point in them (a lone value is its point twice), and its
// dots.
struct Series {
  std::string colour, dashes, name;
  int polylines = 0, dots = 0;
  std::vector<double> xs, ys;
};

std::vector<Series> series_of(const std::string& svg) {
  std::vector<Series> all;
  for (std::size_t at = svg.find("<g stroke=\""); at != std::string::npos;
       at = svg.find("<g stroke=\"", at + 1)) {
    const std::string open = svg.substr(at, svg.find('>', at) - at);
    if (contains(open, "stroke-width")) continue;  // a legend's dot
    Series& s = all.emplace_back();
    s.colour = svg.substr(at + 11, 7);
    const std::size_t name = svg.find("<title>", at) + 7;
    s.name = svg.substr(name, svg.find('<', name) - name);
    const std::size_t dashes = open.find("dasharray=\"");
    if (dashes != std::string::npos) s.dashes = open.substr(dashes + 11, open.size() - dashes - 12);
    const std::size_t end = svg.find("</g>", at);
    for (std::size_t p = svg.find("points=\"", at); p < end; p = svg.find("points=\"", p + 1)) {
      ++s.polylines;
      const std::size_t quote = svg.find('"', p + 8);
      for (std::size_t c = svg.find(',', p); c < quote; c = svg.find(',', c + 1)) {
        s.xs.push_back(std::strtod(svg.c_str() + svg.find_last_of(" \"", c) + 1, nullptr));
        s.ys.push_back(std::strtod(svg.c_str() + c + 1, nullptr));
      }
    }
    for (std::size_t d = svg.find(" d=\"", at); d < end; d = svg.find(" d=\"", d + 1)) {
      const std::size_t quote = svg.find('"', d + 4);
      s.dots += static_cast<int>(std::count(svg.begin() + d, svg.begin() + quote, 'h'));
    }
  }
  return all;
}

// The text of the element with the given id ("-" without one).
std::string text_of(const std::string& svg, const std::string& id) {
  const std::size_t at = svg.find("id=\"" + id + '"');
  if (at == std::string::npos) return "-";
  const std::size_t text = svg.find('>', at) + 1;
  return svg.substr(text, svg.find('<', text) - text);
}

// The x axis label (and " / " the y axis label where there is one), "no data"
// where it shows, and "name polylines points [dots]" of every series, joined by
// "|".
std::string summary(const std::string& svg) {
  std::string text = text_of(svg, "x-label");
  if (contains(svg, "id=\"y-label\"")) text += " / " + text_of(svg, "y-label");
  if (contains(svg, ">no data</text>")) text += " (no data)";
  for (const Series& s : series_of(svg)) {
    text += '|' + s.name + ' ' + std::to_string(s.polylines) + ' ' + std::to_string(s.ys.size());
    if (s.dots != 0) text += ' ' + std::to_string(s.dots);
  }
  return text;
}

// The x tick labels: their x and text, left to right.
std::vector<std::pair<double, std::string>> x_ticks(const std::string& svg) {
  std::vector<std::pair<double, std::string>> ticks;
  const std::size_t group = svg.find("id=\"tick-labels\"");
  const std::size_t end = svg.find("</g>", group);
  for (std::size_t at = svg.find("<text x=\"", group); at < end;
       at = svg.find("<text x=\"", at + 1)) {
    const std::size_t text = svg.find('>', at) + 1;
    if (svg.find("\"middle\"", at) > text) continue;  // a y label
    ticks.emplace_back(std::strtod(&svg[at + 9], nullptr),
                       svg.substr(text, svg.find('<', text) - text));
  }
  return ticks;
}

// The contrast of a colour "#rrggbb" with white (1 to 21).
double contrast_on_white(const std::string& colour) {
  double luminance = 0;
  const double weights[] = {0.2126, 0.7152, 0.0722};
  for (int i = 0; i < 3; ++i) {
    const double c = std::strtol(colour.substr(1 + 2 * i, 2).c_str(), nullptr, 16) / 255.0;
    luminance += weights[i] * (c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
  }
  return 1.05 / (luminance + 0.05);
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

// The series are the selected columns less the x column, named by the file's
// header where it names every column; a value or an x that is missing (or not
// positive on a logarithmic axis) breaks the line; odd inputs give valid charts
// that show what they hold. The title, the file's name or the user's, is escaped.
TEST_F(PlotCli, DrawsTheSeriesOfEveryInput) {
  const std::string name = "a<b&\"c\".dat";
  // Five rows under a header; column 3 misses its third value.
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
      {five, {}, "row|x 1 5|y 1 5|z 2 4"},
      {five, {"-e", "1,3"}, "row|x 1 5|z 2 4"},
      {five, {"-i", "-e", "2"}, "row|x 1 5|z 2 4"},
      {five, {"--plot-x=2"}, "y|x 1 5|z 2 4"},
      {five, {"--plot-x=2", "-e", "2-3"}, "y|z 2 4"},
      {five, {"--plot-x=3"}, "z|x 2 4|y 2 4"},
      {five, {"--skip-rows=3"}, "row|1 1 4|11 1 4|21 2 4"},  // a skipped line is a comment
      {five, {"--plot-style=points"}, "row|x 0 0 5|y 0 0 5|z 0 0 4"},
      {five, {"--plot-style=both", "-e", "3"}, "row|z 2 4 4"},
      {five,
       {"--plot-x=1", "--plot-xlabel=when", "--plot-ylabel=<how>", "--plot-title=T&\xFF"},
       "when / &lt;how&gt;|y 1 5|z 2 4"},
      // Headers that do not name every column, and one of quoted words.
      {"# a b\n1 2 3\n4 5 6\n", {}, "row|column 1 1 2|column 2 1 2|column 3 1 2"},
      {"!! \"t\",\"v\"\n\n1,2\n3,4\n", {"--plot-x=1"}, "t|v 1 2"},
      // Two dots: a lone value between breaks.
      {"t,a\nr:1,5\nr:2,nan\nr:3,7\n",
       {"--plot-x=1", "--input-delimiter=,", "--skip-columns=2"},
       "t|a 2 4"},
      {"1 5\n2 0\n3 7\n4 -1\n5 9\n", {"--plot-x=1", "--plot-log=y"}, "column 1|column 2 3 6"},
      {"0 1\n-1 2\n1 3\n2 4\n10 5\n", {"--plot-x=1", "--plot-log=x"}, "column 1|column 2 1 3"},
      {"1e-300 5e-324\n1e300 1.7e308\n", {"--plot-x=1", "--plot-log=xy"}, "column 1|column 2 1 2"},
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
    std::string title;
    const auto given = std::find_if(c.options.begin(), c.options.end(), [](const std::string& o) {
      return o.starts_with("--plot-title=");
    });
    kest::append_xml_text(title, given == c.options.end() ? name : given->substr(13));
    EXPECT_EQ(text_of(svg, "title"), title);
    // What is drawn lies inside the plot and within the outer x ticks, the
    // legend inside the page, and the legend names the first series even when
    // it has no point. The first 24 series differ in colour or dashes, and no
    // colour is faint on white.
    const auto [x, y0, width, height] = box_of(svg, "plot-area");
    const auto ticks = x_ticks(svg);
    const double first_tick = ticks.front().first, last_tick = ticks.back().first;
    const std::vector<Series> series = series_of(svg);
    std::set<std::string> looks;
    for (const Series& s : series) {
      for (const double y : s.ys) EXPECT_TRUE(y >= y0 + 2 && y <= y0 + height - 2) << y;
      for (const double x : s.xs) EXPECT_TRUE(x >= first_tick && x <= last_tick) << x;
      if (looks.size() < kest::kChartDistinctSeries) {
        EXPECT_TRUE(looks.insert(s.colour + s.dashes).second) << s.colour << ' ' << s.dashes;
      }
      EXPECT_GE(contrast_on_white(s.colour), 2.2) << s.colour;
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
      {{"-e", "0", "in", "c.svg"}, "No column selected for the chart\n"},
      {{"-e", "99999999", "in", "c.svg"}, "No column selected for the chart\n"},
      {{"--plot-x=1", "-e", "1", "in", "c.svg"}, "No column selected for the chart\n"},
      {{"wide", "c.svg"}, "Too many columns for a chart: 300 (at most 256; choose them with -e)\n"},
      {{"--plot-log=yx", "in", "c.svg"}, "Invalid value for --plot-log: yx (x, y or xy)\n"},
      {{"--plot-style=", "in", "c.svg"},
       "Invalid value for --plot-style:  (lines, points or both)\n"},
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

// What a person sees of a chart drawn with every option: its title and axis
// labels, legend names from the file's header, logarithmic ticks, dots on the
// lines, and series of one colour told apart by their dashes.
TEST_F(PlotCli, TheChartShowsLabelsLogTicksDotsAndDashes) {
  if (!have("chromium") || !have("python3")) GTEST_SKIP() << "chromium is not installed";
  // 17 series a factor of two apart, so 0, 8 and 16 share a colour; on log axes
  // they are straight lines that never come near each other.
  std::string text = "# time";
  for (int k = 0; k < 17; ++k) text += " level" + std::to_string(k);
  for (const int x : {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000}) {
    text += '\n' + std::to_string(x);
    for (int k = 0; k < 17; ++k) text += ' ' + std::to_string(std::ldexp(std::pow(x, 0.1), k));
  }
  write("levels.dat", text + '\n');
  const std::string svg =
      chart({"--plot-x=1", "--plot-log=xy", "--plot-style=both", "--plot-title=Tank",
             "--plot-xlabel=time (s)", "--plot-ylabel=level (cm)", "levels.dat"});
  EXPECT_EQ(text_of(svg, "title") + '|' + text_of(svg, "x-label") + '|' + text_of(svg, "y-label"),
            "Tank|time (s)|level (cm)");
  EXPECT_TRUE(contains(svg, ">level0</text>") && contains(svg, ">level16</text>"));
  // The decades 1, 10, 100 and 1000 are ticks, equally far apart.
  std::map<std::string, double> tick_x;
  for (const auto& [x, label] : x_ticks(svg)) tick_x[label] = x;
  ASSERT_TRUE(tick_x.count("1") && tick_x.count("10") && tick_x.count("100") &&
              tick_x.count("1000"));
  const double decade = tick_x["10"] - tick_x["1"];
  EXPECT_NEAR(tick_x["100"] - tick_x["10"], decade, 0.02);
  EXPECT_NEAR(tick_x["1000"] - tick_x["100"], decade, 0.02);

  const Box plot = box_of(svg, "plot-area");
  const std::vector<Series> series = series_of(svg);
  ASSERT_EQ(series.size(), 17u);
  // The segment of series s from x = 10 to x = 20, less the dots at its ends.
  const auto segment = [&](std::size_t s) {
    const Series& one = series[s];
    const double top = std::min(one.ys[3], one.ys[4]) - 3;
    return one.colour + ' ' +
           box_words({one.xs[3] + 6, top, one.xs[4] - one.xs[3] - 12,
                      std::fabs(one.ys[4] - one.ys[3]) + 6});
  };
  const auto around = [&](double x, double y) {
    return series[0].colour + ' ' + box_words({x - 1.5, y - 1.5, 3, 3});
  };
  std::string command = "python3 \"" KEST_PICTURE_TOOL "\" c.svg 960 540";
  for (const std::string& question :
       {"text " + box_words({0, 0, 960, plot[1]}),                                     // title
        "text " + box_words({plot[0], plot[1] + plot[3] + 24, plot[2], 540}),          // x label
        "text " + box_words({0, plot[1], 20, plot[3]}),                                // y label
        "text " + box_words({plot[0] - 10, plot[1] + plot[3] + 6, plot[2] + 20, 16}),  // x ticks
        "text " + box_words(box_of(svg, "legend")),
        "colour " + around(series[0].xs[3], series[0].ys[3]),  // a dot
        "colour " + around((series[0].xs[3] + series[0].xs[4]) / 2,
                           (series[0].ys[3] + series[0].ys[4]) / 2),
        "colour " + segment(0), "colour " + segment(8), "colour " + segment(16)}) {
    command += " \"" + question + '"';
  }
  const RunResult r = shell(command);
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream answers(r.out);
  long count = -1;
  for (const auto& [what, least] : {std::pair{"title", 20},
                                    {"x label", 30},
                                    {"y label", 30},
                                    {"x tick labels", 60},
                                    {"legend", 200}}) {
    EXPECT_TRUE(answers >> count && count > least) << what << " shows " << count << " pixels";
  }
  long dot = 0, line = 0, solid = 0, dashed = 0, dotted = 0;
  ASSERT_TRUE(answers >> dot >> line >> solid >> dashed >> dotted);
  EXPECT_GE(dot, 8) << "of 9 pixels at a point, where a dot sits on the line";
  EXPECT_LE(line, 6) << "of 9 pixels between dots, where the line is alone";
  EXPECT_TRUE(dotted > 0 && dotted * 10 < dashed * 8 && dashed * 10 < solid * 9)
      << "solid " << solid << ", dashed " << dashed << ", dotted " << dotted;
}

}  // namespace
}  // namespace kest_cli
