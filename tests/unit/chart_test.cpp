// Tests of the chart module: ticks, labels, XML text, the M4 reduction with its
// gaps, the degenerate documents, and (where Chromium is installed) what the
// rendered chart shows.
#include "io/chart.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "picture.h"
#include "support.h"

namespace kest {
namespace {

const double kNaN = std::nan("");

ChartSpec spec_of(std::size_t series, double x_first, double x_last, std::uint32_t width = 960,
                  std::uint32_t height = 540) {
  ChartSpec spec;
  spec.width = width;
  spec.height = height;
  spec.title = "data.dat";
  spec.x_label = "row";
  for (std::size_t s = 0; s < series; ++s) spec.series_names.push_back("column " + std::to_string(s + 1));
  spec.x_first = x_first;
  spec.x_last = x_last;
  return spec;
}

// Feeds rows 1..values.size() of one series (x = row number).
ChartBuilder one_series(const std::vector<double>& values, std::uint32_t width = 960) {
  ChartBuilder chart(spec_of(1, 1, static_cast<double>(values.size()), width));
  for (std::size_t i = 0; i < values.size(); ++i) chart.add_row(static_cast<double>(i + 1), &values[i]);
  return chart;
}

std::size_t point_count(const ChartLines& lines) {
  std::size_t count = 0;
  for (const ChartRun& run : lines) count += run.size();
  return count;
}

// The pixel column of row i of 1..rows: x runs over the plot's width, the last
// row on its right edge.
std::uint32_t pixel_column(long double i, long double rows, std::uint32_t columns) {
  const auto column = static_cast<std::uint32_t>((i - 1) * (columns / (rows - 1)));
  return std::min(column, columns - 1);
}

// A file name of this test process in the temporary directory.
std::string temp_path(const std::string& name) {
  return ::testing::TempDir() + "kest_chart_" + std::to_string(getpid()) + '_' + name;
}

std::string write_temp(const std::string& name, const std::string& text) {
  const std::string path = temp_path(name);
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// The document is well-formed XML (when xmllint is installed) and stays
// self-contained.
void expect_valid_document(const std::string& svg, const std::string& name) {
  EXPECT_EQ(svg.find("<script"), std::string::npos);
  EXPECT_EQ(svg.find("href"), std::string::npos);
  EXPECT_EQ(svg.find("url("), std::string::npos);
  EXPECT_EQ(svg.find("nan"), std::string::npos) << name;
  EXPECT_EQ(svg.find("inf"), std::string::npos) << name;
  if (!kest_picture::have_xmllint()) return;
  std::string errors;
  const std::string path = write_temp("valid.svg", svg);
  EXPECT_TRUE(kest_picture::xml_well_formed(path, errors)) << name << errors;
  std::remove(path.c_str());
}

TEST(ChartTicks, NiceStepsAtMostTheLimit) {
  std::mt19937_64 random(7);
  std::vector<std::array<double, 2>> ranges = {
      {0, 1},      {1, 2e6},        {1, 300},     {-3.7, 12.1}, {1e-9, 3e-9},   {-DBL_MAX, DBL_MAX},
      {1e300, 1.0000001e300},      {5e-324, 1e-322},            {-1e-7, 1e-7}, {99999, 100001}};
  // Random ranges of every magnitude, no narrower than a chart makes them.
  std::uniform_real_distribution<double> exponent(-20, 20);
  std::uniform_real_distribution<double> width(-8, 4);
  for (int i = 0; i < 500; ++i) {
    const double a = std::pow(10.0, exponent(random)) * (random() % 2 ? 1 : -1);
    ranges.push_back({a, a + std::fabs(a) * std::pow(10.0, width(random))});
  }
  for (const auto& [lo, hi] : ranges) {
    for (const int limit : {2, 5, 10}) {
      const ChartTicks ticks = nice_ticks(lo, hi, limit);
      SCOPED_TRACE(::testing::Message() << lo << ".." << hi << " at most " << limit);
      ASSERT_GE(ticks.values.size(), 1u);
      EXPECT_LE(ticks.values.size(), static_cast<std::size_t>(limit));
      const long double mantissa = ticks.step / std::pow(10.0L, std::floor(std::log10(ticks.step)));
      EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-6 || std::fabs(mantissa - 2) < 1e-6 ||
                  std::fabs(mantissa - 5) < 1e-6 || std::fabs(mantissa - 10) < 1e-5)
          << "step " << ticks.step;
      const long double slack = ticks.step * 1e-6L;
      for (const double tick : ticks.values) {
        EXPECT_TRUE(tick >= lo - slack && tick <= hi + slack) << tick;
        EXPECT_FALSE(std::signbit(tick) && tick == 0);
      }
      // The next smaller nice step would give too many ticks.
      const long double smaller =
          ticks.step / (mantissa > 1.5 && mantissa < 9 && mantissa > 3 ? 2.5L : 2.0L);
      EXPECT_GT(std::floor(hi / smaller + 1e-6L) - std::ceil(lo / smaller - 1e-6L) + 1, limit);
    }
  }
  const ChartTicks unit = nice_ticks(0, 1, 10);
  EXPECT_EQ(unit.values, (std::vector<double>{0, 0.2, 0.4, 0.6, 0.8, 1}));
  EXPECT_EQ(nice_ticks(1, 2e6, 10).step, 200000);
}

TEST(ChartTicks, LabelsAreTheDefaultTextOrTellTicksApart) {
  const struct {
    double lo, hi;
    std::vector<std::string> labels;
  } cases[] = {
      {-1, 1, {"-1", "-0.5", "0", "0.5", "1"}},
      {0, 1e6, {"0", "200000", "400000", "600000", "800000", "1000000"}},
      {0, 4e-7, {"0", "1e-07", "2e-07", "3e-07", "4e-07"}},        // "%f" would say 0 for all
      {1e15, 4e15, {"1e+15", "2e+15", "3e+15", "4e+15"}},           // too long as default text
      {1.5e-6, 2e-6, {"1.5e-06", "1.6e-06", "1.7e-06", "1.8e-06", "1.9e-06", "2e-06"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(tick_labels(nice_ticks(c.lo, c.hi, 6)), c.labels) << c.lo << ".." << c.hi;
  }
}

TEST(ChartText, EscapesMarkupAndCleansBytes) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"a<b&\"c\".dat", "a&lt;b&amp;&quot;c&quot;.dat"},
      {"it's > 1", "it&apos;s &gt; 1"},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"a\tb\nc\r", "a b c "},
      {std::string("nul\0x", 5), "nul\xEF\xBF\xBDx"},
      {"bell\x07", "bell\xEF\xBF\xBD"},
      {"latin1 \xE9t\xE9", "latin1 \xEF\xBF\xBDt\xEF\xBF\xBD"},
      {"overlong \xC0\xAF", "overlong \xEF\xBF\xBD\xEF\xBF\xBD"},
      {"surrogate \xED\xA0\x80", "surrogate \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"cut \xE2\x82", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},
      {"not a character \xEF\xBF\xBF", "not a character \xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    std::string out;
    append_xml_text(out, c.in);
    EXPECT_EQ(out, c.out) << c.in;
  }
  ChartSpec spec = spec_of(1, 1, 2);
  spec.title = "a<b&\"c\".dat \xFF";
  spec.series_names = {"<col>"};
  const std::string svg = render_chart(spec, {});
  EXPECT_NE(svg.find("a&lt;b&amp;&quot;c&quot;.dat \xEF\xBF\xBD</text>"), std::string::npos);
  expect_valid_document(svg, "escaped");
}

TEST(ChartM4, KeepsFirstLastLowestHighestOfEveryPixelColumn) {
  // Dense noise with spikes: every pixel column holds many rows.
  std::mt19937_64 random(11);
  std::normal_distribution<double> noise(0, 1);
  std::vector<double> values(100003 / kest::testing::kScale);
  for (double& v : values) v = noise(random) * (random() % 997 == 0 ? 50 : 1);
  const ChartBuilder chart = one_series(values);
  const std::uint32_t columns = chart.layout().pixel_columns();
  const long double rows = static_cast<long double>(values.size());

  // The expected points of each column, by row.
  std::map<std::uint32_t, std::set<std::size_t>> expected;
  std::vector<std::size_t> first(columns, SIZE_MAX), last(columns), low(columns), high(columns);
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::uint32_t c = pixel_column(static_cast<double>(i + 1), rows, columns);
    if (first[c] == SIZE_MAX) first[c] = low[c] = high[c] = i;
    last[c] = i;
    if (values[i] < values[low[c]]) low[c] = i;
    if (values[i] > values[high[c]]) high[c] = i;
  }
  for (std::uint32_t c = 0; c < columns; ++c) {
    if (first[c] != SIZE_MAX) expected[c] = {first[c], last[c], low[c], high[c]};
  }
  std::map<std::uint32_t, std::set<std::size_t>> kept;
  const std::vector<ChartLines> lines = chart.reduced_lines();
  ASSERT_EQ(lines[0].size(), 1u) << "no gap, one line";
  double previous_x = 0;
  for (const ChartPoint& p : lines[0][0]) {
    EXPECT_GT(p.x, previous_x) << "points in row order";
    previous_x = p.x;
    const auto row = static_cast<std::size_t>(p.x) - 1;
    ASSERT_EQ(p.y, values[row]) << "a point of the data";
    kept[pixel_column(p.x, rows, columns)].insert(row);
  }
  EXPECT_EQ(kept, expected);
  EXPECT_LE(point_count(lines[0]), 4u * columns);
}

// Runs of one series as row-number ranges: each run as "first-last:points".
std::vector<std::string> run_shapes(const ChartLines& lines) {
  std::vector<std::string> shapes;
  for (const ChartRun& run : lines) {
    shapes.push_back(std::to_string(static_cast<long>(run.front().x)) + '-' +
                     std::to_string(static_cast<long>(run.back().x)) + ':' + std::to_string(run.size()));
  }
  return shapes;
}

TEST(ChartM4, NonFiniteValuesBreakTheLine) {
  const double inf = INFINITY;
  const struct {
    const char* what;
    std::vector<double> values;
    std::vector<std::string> runs;
  } sparse[] = {
      // Fewer rows than pixel columns: every row is kept.
      {"gap in the middle", {1, 2, kNaN, kNaN, 5, 6}, {"1-2:2", "5-6:2"}},
      {"infinities too", {1, -inf, 3, inf, 5, 6}, {"1-1:1", "3-3:1", "5-6:2"}},
      {"leading and trailing", {kNaN, 2, 3, 4, kNaN}, {"2-4:3"}},
      {"all missing", {kNaN, kNaN, kNaN}, {}},
      {"single value", {7}, {"1-1:1"}},
  };
  for (const auto& c : sparse) {
    EXPECT_EQ(run_shapes(one_series(c.values).reduced_lines()[0]), c.runs) << c.what;
  }

  // Many rows a pixel column: a gap over whole columns stays a gap, and one
  // inside a column breaks the line between the kept points it separates.
  std::vector<double> values(20000);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = std::sin(static_cast<double>(i) * 1e-3);
  for (std::size_t i = 5000; i < 7000; ++i) values[i] = kNaN;  // rows 5001..7000
  values[12345] = kNaN;                                          // row 12346
  const ChartBuilder chart = one_series(values);
  const ChartLines lines = chart.reduced_lines()[0];
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].back().x, 5000);
  EXPECT_EQ(lines[1].front().x, 7001);
  EXPECT_LT(lines[1].back().x, 12346);
  EXPECT_GT(lines[2].front().x, 12346);
  const std::uint32_t columns = chart.layout().pixel_columns();
  EXPECT_LE(point_count(lines), 4u * columns);
}

TEST(ChartM4, RowsOutsideTheRangeBreakEveryLine) {
  ChartBuilder chart(spec_of(2, 0, 10));
  const double row[2] = {1, 2};
  for (const double x : {0.0, 1.0, 2.0, kNaN, 3.0, 11.0, -1.0, 4.0, 5.0}) chart.add_row(x, row);
  EXPECT_EQ(chart.rows_outside(), 3u);
  for (const ChartLines& lines : chart.reduced_lines()) {
    EXPECT_EQ(run_shapes(lines), (std::vector<std::string>{"0-2:3", "3-3:1", "4-5:2"}));
  }

  // An x column that does not grow: the kept points stay bounded and the
  // extremes of each pixel column stay.
  ChartBuilder scatter(spec_of(1, 0, 1, 200, 200));
  std::mt19937_64 random(3);
  std::uniform_real_distribution<double> unit(0, 1);
  double highest = -1;
  for (int i = 0; i < 50000; ++i) {
    const double y = unit(random);
    highest = std::max(highest, y);
    scatter.add_row(unit(random), &y);
  }
  const ChartLines lines = scatter.reduced_lines()[0];
  EXPECT_LE(point_count(lines), 4u * scatter.layout().pixel_columns());
  double kept_highest = -1;
  for (const ChartPoint& p : lines[0]) kept_highest = std::max(kept_highest, p.y);
  EXPECT_EQ(kept_highest, highest);
}

// The y pixel of every point of every polyline in the document.
std::vector<double> polyline_ys(const std::string& svg) {
  std::vector<double> ys;
  for (std::size_t at = svg.find("points=\""); at != std::string::npos; at = svg.find("points=\"", at)) {
    at += 8;
    const std::size_t end = svg.find('"', at);
    for (std::size_t comma = svg.find(',', at); comma < end; comma = svg.find(',', comma + 1)) {
      ys.push_back(std::stod(svg.substr(comma + 1)));
    }
  }
  return ys;
}

TEST(ChartDocument, DegenerateDataGiveValidCharts) {
  const ChartLayout layout = chart_layout(spec_of(1, 1, 1));
  const double top = layout.plot.y + 2;
  const double bottom = layout.plot.y + layout.plot.height - 2;
  const struct {
    const char* what;
    std::size_t series;
    std::vector<double> values;  // rows of one value a series
    bool no_data;
    std::size_t polylines;
  } cases[] = {
      {"empty file", 0, {}, true, 0},
      {"no rows", 1, {}, true, 0},
      {"all missing", 1, {kNaN, kNaN}, true, 0},
      {"constant", 1, {3, 3, 3, 3}, false, 1},
      {"constant zero", 1, {0, 0}, false, 1},
      {"single point", 1, {42}, false, 1},
      {"huge", 1, {-DBL_MAX, DBL_MAX, 0, DBL_MAX}, false, 1},
      {"denormal", 1, {5e-324, 0, 1e-320}, false, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ChartBuilder chart(spec_of(c.series, 1, static_cast<double>(std::max<std::size_t>(c.values.size(), 1))));
    if (c.series > 0) {
      for (std::size_t i = 0; i < c.values.size(); ++i) chart.add_row(static_cast<double>(i + 1), &c.values[i]);
    }
    const std::string svg = chart.svg();
    expect_valid_document(svg, c.what);
    EXPECT_EQ(svg.find(">no data</text>") != std::string::npos, c.no_data);
    std::size_t polylines = 0;
    for (std::size_t at = svg.find("<polyline"); at != std::string::npos; at = svg.find("<polyline", at + 1)) {
      ++polylines;
    }
    EXPECT_EQ(polylines, c.polylines);
    for (std::size_t s = 0; s < c.series; ++s) {
      EXPECT_NE(svg.find("<title>column " + std::to_string(s + 1) + "</title>"), std::string::npos);
    }
    for (const double y : polyline_ys(svg)) {
      EXPECT_TRUE(y >= top && y <= bottom) << "visible inside the plot: " << y;
    }
  }
}

TEST(ChartDocument, SizeDependsOnWidthAndSeriesNotRows) {
  std::mt19937_64 random(5);
  std::normal_distribution<double> noise(0, 1);
  std::size_t sizes[2];
  for (const int pass : {0, 1}) {
    const std::size_t rows = pass == 0 ? 20000 : 400000 / kest::testing::kScale;
    ChartBuilder chart(spec_of(3, 1, static_cast<double>(rows)));
    for (std::size_t i = 1; i <= rows; ++i) {
      const double row[3] = {noise(random), noise(random) * 1e6, noise(random) * 1e-6};
      chart.add_row(static_cast<double>(i), row);
    }
    sizes[pass] = chart.svg().size();
  }
  EXPECT_LT(sizes[1], 3 * 100000u);
  EXPECT_LT(sizes[1], sizes[0] + sizes[0] / 10);
}

TEST(ChartDocument, LayoutFitsEverySize) {
  for (const std::uint32_t width : {0u, 100u, 333u, 960u, 10000u, 20000u}) {
    for (const std::size_t series : {0u, 1u, 9u, 200u}) {
      const ChartSpec spec = spec_of(series, 1, 100, width, width / 2);
      const ChartLayout layout = chart_layout(spec);
      SCOPED_TRACE(::testing::Message() << width << " wide, " << series << " series");
      EXPECT_EQ(layout.width, std::clamp(width, kChartMinSize, kChartMaxSize));
      EXPECT_GE(layout.plot.width, layout.width / 3.0);
      EXPECT_GE(layout.plot.height, 1);
      EXPECT_LE(layout.plot.x + layout.plot.width, layout.width);
      EXPECT_LE(layout.legend.x + layout.legend.width, layout.width);
      if (series > 0) {
        EXPECT_GE(layout.legend_entries + 1, std::min<std::size_t>(series, 2));
      }
      expect_valid_document(render_chart(spec, {}), "layout");
    }
  }
}

// ---- what a person sees ------------------------------------------------------------

class ChartPicture : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!kest_picture::have_chromium()) GTEST_SKIP() << "chromium is not installed";
  }
  void TearDown() override {
    for (const std::string& path : files_) std::remove(path.c_str());
  }
  std::string keep_temp(const std::string& name, const std::string& text) {
    files_.push_back(write_temp(name, text));
    return files_.back();
  }
  // Writes `svg`, renders it at the chart's size and returns the PNG's path.
  std::string render(const std::string& name, const std::string& svg, const ChartLayout& layout) {
    const std::string png = temp_path(name + ".png");
    files_.push_back(png);
    EXPECT_TRUE(kest_picture::render(keep_temp(name + ".svg", svg), png, static_cast<int>(layout.width),
                                     static_cast<int>(layout.height)));
    return png;
  }

 private:
  std::vector<std::string> files_;
};

TEST_F(ChartPicture, SeriesGapsLegendAndTitleShow) {
  const std::size_t rows = 30000;
  ChartSpec spec = spec_of(3, 1, rows);
  spec.title = "a<b&\"c\".dat";
  ChartBuilder chart(spec);
  for (std::size_t i = 1; i <= rows; ++i) {
    const double t = static_cast<double>(i) * 1e-3;
    const bool gap = i > 10000 && i <= 15000;
    const double row[3] = {10 + std::sin(t), gap ? kNaN : 5 + std::sin(t), std::cos(t)};
    chart.add_row(static_cast<double>(i), row);
  }
  const std::string svg = chart.svg();
  const std::string svg_path = keep_temp("layout.svg", svg);
  kest_picture::Layout layout;
  ASSERT_TRUE(kest_picture::read_layout(svg_path, layout));
  ASSERT_EQ(layout.series.size(), 3u);
  EXPECT_EQ(layout.series[1].polylines, 2);
  EXPECT_EQ(layout.series[1].name, "column 2");
  const long columns = chart.layout().pixel_columns();
  for (const kest_picture::SeriesInfo& series : layout.series) {
    EXPECT_LE(series.points, 4 * columns) << series.name;
    EXPECT_GE(series.points, columns * 5 / 6) << series.name;  // series 2 misses a sixth
  }

  const std::string png = render("picture", svg, chart.layout());
  kest_picture::Questions questions;
  std::size_t present[3];
  for (int s = 0; s < 3; ++s) present[s] = questions.ask_colour(layout.series[s].colour, layout.plot);
  const std::size_t gap_columns = questions.ask_columns(layout.series[1].colour, layout.plot, 0.2);
  const std::size_t title = questions.ask_text(layout.title);
  const std::size_t legend = questions.ask_text(layout.legend);
  const std::size_t plot_text = questions.ask_text(layout.plot);
  ASSERT_TRUE(questions.answer(png));
  for (int s = 0; s < 3; ++s) EXPECT_GT(questions.count(present[s]), 100) << "series " << s;
  EXPECT_GT(questions.count(title), 50);
  EXPECT_GT(questions.count(legend), 50);
  EXPECT_EQ(questions.count(plot_text), 0) << "no text inside the plot";

  // Rows 10001..15000 are missing: their pixel columns, less one at each end
  // for the line's caps, hold nothing of series 2.
  const ChartBox& plot = chart.layout().plot;
  const double first_gap = plot.x + (10001.0 - 1) * plot.width / (rows - 1);
  const double last_gap = plot.x + (15000.0 - 1) * plot.width / (rows - 1);
  std::vector<int> inside;
  for (const int column : questions.columns(gap_columns)) {
    if (column > first_gap + 1 && column < last_gap - 1) inside.push_back(column);
  }
  EXPECT_TRUE(inside.empty()) << inside.size() << " columns from " << inside.front();
  EXPECT_GT(questions.columns(gap_columns).size(), plot.width * 0.7);
}

TEST_F(ChartPicture, ReducedChartMatchesEveryPointDrawn) {
  // Noise, spikes and a gap at a size where each pixel column holds about 600 rows.
  const std::size_t rows = 200000;
  const ChartSpec spec = spec_of(2, 1, rows, 480, 320);
  ChartBuilder chart(spec);
  std::vector<ChartLines> full(2, ChartLines(1));
  ChartLines sampled(1);
  std::mt19937_64 random(9);
  std::uniform_real_distribution<double> noise(-0.5, 0.5);
  for (std::size_t i = 1; i <= rows; ++i) {
    const double x = static_cast<double>(i);
    // The lines do not cross (blends of two colours are no test of coverage),
    // and the control below keeps the extremes, so both draw on the same axes.
    double row[2] = {1.5 + 2 * std::sin(x * 4e-5) + noise(random) * 0.3,
                     i == 1 ? -2.0 : i % 5000 < 3 ? -1.0 : -1.98 + noise(random) * 0.02};
    if (i > 80000 && i < 90000) row[0] = kNaN;
    chart.add_row(x, row);
    for (int s = 0; s < 2; ++s) {
      if (std::isfinite(row[s])) {
        full[s].back().push_back({x, row[s]});
        if (s == 1 && (i % 500 == 250 || i == 1)) sampled.back().push_back({x, row[s]});
      } else if (!full[s].back().empty()) {
        full[s].emplace_back();
      }
    }
  }
  const ChartLayout& layout = chart.layout();
  const std::string reduced = render("reduced", chart.svg(), layout);
  const std::string every = render("every", render_chart(spec, full), layout);
  EXPECT_EQ(kest_picture::mismatches(reduced, every), 0);

  // The comparison notices a reduction that loses the spikes: every 500th row.
  full[1] = sampled;
  const std::string naive = render("naive", render_chart(spec, full), layout);
  EXPECT_GT(kest_picture::mismatches(naive, every), 20);
}

}  // namespace
}  // namespace kest
