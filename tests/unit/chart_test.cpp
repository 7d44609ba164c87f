// Tests of the chart module's logic: nice ticks and their labels, XML text, and
// the M4 reduction with its gaps. The documents are tested through --plot.
#include "io/chart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace kest {
namespace {

const double kNaN = std::nan("");

// A chart of one series over rows 1..rows.
ChartSpec spec_of(std::size_t rows, bool log_x = false, bool log_y = false) {
  ChartSpec spec{.title = "data.dat",
                 .x_label = "row",
                 .series_names = {"column 1"},
                 .x_first = 1,
                 .x_last = static_cast<double>(rows)};
  spec.log_x = log_x;
  spec.log_y = log_y;
  return spec;
}

// The chart of one series over rows 1..values.size() (x = row number).
ChartBuilder one_series(const std::vector<double>& values, bool log_y = false) {
  ChartBuilder chart(spec_of(values.size(), false, log_y));
  for (std::size_t i = 0; i < values.size(); ++i)
    chart.add_row(static_cast<double>(i + 1), &values[i]);
  return chart;
}

// The runs of one series, each as "first x-last x:points".
std::vector<std::string> run_shapes(const ChartLines& lines) {
  std::vector<std::string> shapes;
  for (const ChartRun& run : lines) {
    shapes.push_back(std::to_string(static_cast<long>(run.front().x)) + '-' +
                     std::to_string(static_cast<long>(run.back().x)) + ':' +
                     std::to_string(run.size()));
  }
  return shapes;
}

TEST(ChartTicks, NiceStepsAtMostTheLimit) {
  std::vector<std::pair<double, double>> ranges = {
      {0, 1},          {-3.7, 12.1}, {1e-9, 3e-9}, {-DBL_MAX, DBL_MAX}, {1e300, 1.0000001e300},
      {5e-324, 1e-322}};
  // Random ranges of every magnitude, no narrower than a chart makes them.
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> exponent(-20, 20), width(-8, 4);
  for (int i = 0; i < 300; ++i) {
    const double a = std::pow(10.0, exponent(random)) * (random() % 2 ? 1 : -1);
    ranges.emplace_back(a, a + std::fabs(a) * std::pow(10.0, width(random)));
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
      for (const double tick : ticks.values) {
        EXPECT_TRUE(tick >= lo - ticks.step * 1e-6L && tick <= hi + ticks.step * 1e-6L) << tick;
        EXPECT_FALSE(std::signbit(tick) && tick == 0);
      }
      // The next smaller nice step would give too many ticks.
      const long double smaller = ticks.step / (mantissa > 3 && mantissa < 9 ? 2.5L : 2.0L);
      EXPECT_GT(std::floor(hi / smaller + 1e-6L) - std::ceil(lo / smaller - 1e-6L) + 1, limit);
    }
  }
  EXPECT_EQ(nice_ticks(0, 1, 10).values, (std::vector<double>{0, 0.2, 0.4, 0.6, 0.8, 1}));
}

TEST(ChartTicks, LogTicksArePowersOfTenAndAFewBetween) {
  const struct {
    double lo, hi;
    int limit;
    std::vector<double> ticks;
  } cases[] = {
      {1, 1000, 10, {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000}},
      {1, 1000, 9, {1, 3, 10, 30, 100, 300, 1000}},
      {0.7, 1500, 6, {1, 10, 100, 1000}},
      {1e-300, 1e300, 5, {1e-200, 1, 1e200}},
      {5e-324, DBL_MAX, 4, {1e-200, 1, 1e200}},
      {1e-12, 1e12, 4, {1e-10, 1, 1e10}},
      {2, 8, 4, {2, 4, 6, 8}},  // less than a decade: the values' own nice ticks
  };
  for (const auto& c : cases) {
    EXPECT_EQ(log_ticks(c.lo, c.hi, c.limit), c.ticks)
        << c.lo << ".." << c.hi << " at most " << c.limit;
  }
}

// The x axis reaches the ticks at or beyond the data's ends, so no line runs
// past the outer ticks.
TEST(ChartTicks, TheXAxisEndsAtTicks) {
  const struct {
    double first, last;
    bool log;
    long double lo, hi;  // the axis in axis units
  } cases[] = {
      {0, 8970, false, 0, 10000},
      {1, 5, false, 1, 5},
      {-3.7, 12.1, false, -5, 15},
      {1, 1000000, false, 0, 1000000},
      {-DBL_MAX, DBL_MAX, false, -DBL_MAX, DBL_MAX},  // no nice ticks beyond: the data's ends
      {1, 1500, true, 0, std::log10(3000.0L)},
      {3, 8, true, std::log10(3.0L), std::log10(8.0L)},
      {0, 10, true, 0, 1},  // not positive: 1..10
  };
  for (const auto& c : cases) {
    ChartSpec spec = spec_of(2, c.log);
    spec.x_first = c.first;
    spec.x_last = c.last;
    ChartBuilder chart(spec);
    EXPECT_NEAR(static_cast<double>(chart.layout().x_lo), static_cast<double>(c.lo),
                1e-9 * std::fabs(static_cast<double>(c.lo)) + 1e-12)
        << c.first;
    EXPECT_NEAR(static_cast<double>(chart.layout().x_hi), static_cast<double>(c.hi),
                1e-9 * std::fabs(static_cast<double>(c.hi)) + 1e-12)
        << c.last;
  }
}

TEST(ChartTicks, LabelsAreTheDefaultTextOrTellTicksApart) {
  const struct {
    double lo, hi;
    std::vector<std::string> labels;
  } cases[] = {
      {-1, 1, {"-1", "-0.5", "0", "0.5", "1"}},
      {0, 4e-7, {"0", "1e-07", "2e-07", "3e-07", "4e-07"}},  // "%f" would say 0 for all
      {1e15, 4e15, {"1e+15", "2e+15", "3e+15", "4e+15"}},    // too long as default text
      {1.5e-6, 2e-6, {"1.5e-06", "1.6e-06", "1.7e-06", "1.8e-06", "1.9e-06", "2e-06"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(tick_labels(nice_ticks(c.lo, c.hi, 6)), c.labels) << c.lo << ".." << c.hi;
  }
}

TEST(ChartText, EscapesMarkupAndCleansBytes) {
  const std::string bad = "\xEF\xBF\xBD";  // U+FFFD
  const std::pair<std::string, std::string> cases[] = {
      {"<it's> & \"1\"", "&lt;it&apos;s&gt; &amp; &quot;1&quot;"},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {std::string("a\tb\nc\r nul\0 bell\x07", 17), "a b c  nul" + bad + " bell" + bad},
      // Latin-1, overlong, a surrogate, a cut sequence, a non-character.
      {"\xE9t \xC0\xAF \xED\xA0\x80 \xE2\x82 \xEF\xBF\xBF",
       bad + "t " + bad + bad + ' ' + bad + bad + bad + ' ' + bad + bad + ' ' + bad},
  };
  for (const auto& [in, expected] : cases) {
    std::string out;
    append_xml_text(out, in);
    EXPECT_EQ(out, expected) << in;
  }
}

TEST(ChartM4, KeepsFirstLastLowestHighestOfEveryPixelColumn) {
  // Noise with spikes, many rows a pixel column. x is the row number, then a
  // shuffle of it (an x column that does not grow), then the row number on a
  // logarithmic axis.
  const std::size_t rows = 100003;
  std::mt19937_64 random(11);
  std::normal_distribution<double> noise(0, 1);
  std::vector<double> values(rows);
  for (double& v : values) v = noise(random) * (random() % 997 == 0 ? 50 : 1);
  std::vector<std::size_t> x_of(rows);
  std::iota(x_of.begin(), x_of.end(), 1);
  for (const int mode : {0, 1, 2}) {
    const bool shuffled = mode == 1, log = mode == 2;
    SCOPED_TRACE(shuffled ? "shuffled x" : log ? "log x" : "x is the row");
    if (shuffled) std::shuffle(x_of.begin(), x_of.end(), random);
    if (log) std::sort(x_of.begin(), x_of.end());
    ChartBuilder chart(spec_of(rows, log));
    std::vector<std::size_t> row_at(rows + 1);
    for (std::size_t i = 0; i < rows; ++i) {
      chart.add_row(static_cast<double>(x_of[i]), &values[i]);
      row_at[x_of[i]] = i;
    }
    const ChartLayout& layout = chart.layout();
    const std::uint32_t columns = layout.pixel_columns();
    const auto column_of = [&](long double x) {
      const long double at = log ? std::log10(x) : x;
      return std::min(
          static_cast<std::uint32_t>((at - layout.x_lo) * (columns / (layout.x_hi - layout.x_lo))),
          columns - 1);
    };
    std::vector<std::size_t> first(columns, SIZE_MAX), last(columns), low(columns), high(columns);
    for (std::size_t i = 0; i < rows; ++i) {
      const std::uint32_t c = column_of(x_of[i]);
      if (first[c] == SIZE_MAX) first[c] = low[c] = high[c] = i;
      last[c] = i;
      if (values[i] < values[low[c]]) low[c] = i;
      if (values[i] > values[high[c]]) high[c] = i;
    }
    std::map<std::uint32_t, std::set<std::size_t>> expected, kept;
    std::size_t expected_points = 0;
    for (std::uint32_t c = 0; c < columns; ++c) {
      if (first[c] == SIZE_MAX) continue;
      expected[c] = {first[c], last[c], low[c], high[c]};
      expected_points += expected[c].size();
    }
    const std::vector<ChartLines> lines = chart.reduced_lines();
    ASSERT_EQ(lines[0].size(), 1u) << "no gap, one line";
    EXPECT_EQ(lines[0][0].size(), expected_points) << "each kept point once";
    double previous_x = 0;
    for (const ChartPoint& p : lines[0][0]) {
      const std::size_t row = row_at[static_cast<std::size_t>(p.x)];
      ASSERT_EQ(p.y, values[row]) << "a point of the data";
      EXPECT_TRUE(shuffled || p.x > previous_x) << "points in row order";
      previous_x = p.x;
      kept[column_of(p.x)].insert(row);
    }
    EXPECT_EQ(kept, expected);
  }
  // So the document's size depends on the page, not on the rows.
  const std::vector<double> fifth(values.begin(), values.begin() + rows / 5);
  EXPECT_LT(one_series(values).svg().size(), one_series(fifth).svg().size() * 11 / 10);
}

TEST(ChartM4, MissingValuesBreakTheLine) {
  const double inf = INFINITY;
  const struct {
    std::vector<double> values;
    std::vector<std::string> runs;
    bool log_y = false;
  } sparse[] = {
      // Fewer rows than pixel columns: every finite value is kept.
      {{1, 2, kNaN, kNaN, 5, 6}, {"1-2:2", "5-6:2"}},
      {{1, -inf, 3, inf, 5, 6}, {"1-1:1", "3-3:1", "5-6:2"}},
      {{kNaN, 2, 3, 4, kNaN}, {"2-4:3"}},
      {{kNaN, kNaN, kNaN}, {}},
      // On a logarithmic y axis, values that are not positive as well.
      {{1, 0, 3, -2, 5, 6}, {"1-1:1", "3-3:1", "5-6:2"}, true},
      {{1, 0, 3, -2, 5, 6}, {"1-6:6"}, false},
  };
  for (const auto& c : sparse) {
    EXPECT_EQ(run_shapes(one_series(c.values, c.log_y).reduced_lines()[0]), c.runs) << &c - sparse;
  }

  // Many rows a pixel column: a gap over whole columns stays a gap, and one
  // inside a column breaks the line between the kept points it separates.
  std::vector<double> values(20000);
  for (std::size_t i = 0; i < values.size(); ++i)
    values[i] = std::sin(static_cast<double>(i) * 1e-3);
  for (std::size_t i = 5000; i < 7000; ++i) values[i] = kNaN;  // rows 5001..7000
  values[12345] = kNaN;                                        // row 12346
  const ChartLines lines = one_series(values).reduced_lines()[0];
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].back().x, 5000);
  EXPECT_EQ(lines[1].front().x, 7001);
  EXPECT_LT(lines[1].back().x, 12346);
  EXPECT_GT(lines[2].front().x, 12346);
}

}  // namespace
}  // namespace kest
