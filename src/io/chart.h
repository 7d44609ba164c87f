// Line charts as standalone SVG 1.1 documents.
//
// `ChartBuilder` takes the rows of a file one at a time and keeps, per series and
// pixel column of the plot area, only the points that decide which pixels the line
// covers there: the first, the last, the lowest and the highest value of the rows
// that fall into the column (the M4 aggregation). Its memory and the size of the
// document depend on the chart's width and the number of series, never on the
// number of rows; nothing is allocated per row.
//
// Values that are not finite break a line: it stops before such a value and
// starts again after it; on a logarithmic axis values that are not positive do
// the same. `render_chart` draws runs of points into the document (white
// background, plot area with axes, nice ticks, light grid, one colour and dash
// pattern per series, lines, dots or both, legend, title, axis labels); it serves
// the builder and draws unreduced data as well, so both can be compared pixel for
// pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace kest {

/// Accepted chart sizes in pixels, for width and height alike.
inline constexpr std::uint32_t kChartMinSize = 100;
inline constexpr std::uint32_t kChartMaxSize = 10000;
inline constexpr std::uint32_t kChartDefaultWidth = 960;
inline constexpr std::uint32_t kChartDefaultHeight = 540;

/// What a chart shows besides its lines.
struct ChartSpec {
  std::uint32_t width = kChartDefaultWidth;    ///< clamped to kChartMinSize..kChartMaxSize
  std::uint32_t height = kChartDefaultHeight;  ///< clamped to kChartMinSize..kChartMaxSize
  std::string title;                           ///< any bytes, like every text here
  std::string x_label;                         ///< "row", a column's name, or the user's
  std::string y_label = {};                    ///< none when empty
  std::vector<std::string> series_names;       ///< one per series
  /// The x range, known before the rows: 1..R for the row number, or the least
  /// and greatest value of the x column (its least and greatest positive value
  /// on a logarithmic x axis). A range that is not finite or runs backwards is
  /// replaced by 0..1 (1..10 on a logarithmic axis, where it must be positive
  /// too); a range of one value is widened around it. The axis then reaches to
  /// the tick at or beyond each end, so no data lie beyond the outer ticks.
  double x_first = 0;
  double x_last = 1;
  bool log_x = false;   ///< logarithmic x axis: x values that are not positive are not drawn
  bool log_y = false;   ///< logarithmic y axis: values that are not positive break the line
  bool lines = true;    ///< join the points of a series by its line
  bool points = false;  ///< mark each point (at most four a pixel column) with a dot
};

/// Series that the colours and dash patterns tell apart; later ones repeat them.
inline constexpr std::size_t kChartDistinctSeries = 24;

/// A rectangle in pixels.
struct ChartBox {
  double x = 0, y = 0, width = 0, height = 0;
};

/// Where things go on the page; a function of the spec alone, so the pixel columns
/// are known before the first row.
struct ChartLayout {
  std::uint32_t width = 0, height = 0;  ///< the page
  /// The plot area; its left and top edges and its size are whole pixels, so
  /// pixel column k of the plot is the page's column plot.x + k.
  ChartBox plot;
  ChartBox legend;                   ///< the legend's frame (empty without series)
  ChartBox title;                    ///< the band above the plot that holds the title
  std::uint32_t legend_rows = 0;     ///< entries per legend column
  std::uint32_t legend_columns = 0;  ///< legend columns
  std::uint32_t legend_entries = 0;  ///< series named; the rest are summed up in one entry
  double legend_column_width = 0;
  /// The x axis from the plot's left to its right edge, in axis units: x values,
  /// or their decimal logarithms on a logarithmic axis.
  long double x_lo = 0, x_hi = 1;
  /// The plot's width in whole pixels: the number of M4 columns.
  std::uint32_t pixel_columns() const { return static_cast<std::uint32_t>(plot.width); }
};

/// The layout of a chart of `spec` (its size clamped to the accepted range) with
/// its x axis.
ChartLayout chart_layout(const ChartSpec& spec);

/// A point in data units.
struct ChartPoint {
  double x;
  double y;
};
/// Points joined by one line (one polyline in the document); a run of one point is
/// drawn as a dot, a polyline of that point twice. A point that cannot be drawn
/// (not finite, or not positive on a logarithmic axis) breaks the run.
using ChartRun = std::vector<ChartPoint>;
/// The runs of one series, in x order.
using ChartLines = std::vector<ChartRun>;

/// Equally spaced tick values, all inside the axis range (within a millionth of a
/// step).
struct ChartTicks {
  long double step = 0;  ///< may exceed the largest double (axes of +-DBL_MAX)
  std::vector<double> values;
};

/// Ticks inside [lo, hi] (lo < hi, both finite) whose step is 1, 2 or 5 times a
/// power of ten: the smallest such step that gives at most `max_ticks` ticks (a
/// limit below 2 counts as 2). There is at least one tick; zero is +0, never -0.
ChartTicks nice_ticks(double lo, double hi, int max_ticks);

/// Ticks of a logarithmic axis inside [lo, hi] (0 < lo < hi, both finite), in
/// ascending order, at most `max_ticks` (a limit below 2 counts as 2): 1, 2 and 5
/// times each power of ten, 1 and 3 times, each power of ten, or every 2nd, 5th,
/// 10th ... power, whichever is the densest that keeps to the limit; over less
/// than a decade, the ticks of nice_ticks.
std::vector<double> log_ticks(double lo, double hi, int max_ticks);

/// The labels of `ticks`: the default number text of each value, or, where that
/// text would show two ticks alike, misstate a value (steps below a millionth)
/// or take more than ten characters, the shortest "%.<p>g" text that tells the
/// ticks apart and states them.
std::vector<std::string> tick_labels(const ChartTicks& ticks);

/// Appends `text` to `out` as XML character data: & < > " ' become entities,
/// bytes that are not UTF-8 and characters XML does not allow become U+FFFD, and
/// tabs and line ends become blanks.
void append_xml_text(std::string& out, std::string_view text);

/// The whole SVG document of `series` (one entry per name of the spec; missing
/// entries draw nothing). The y range covers every finite point drawn.
std::string render_chart(const ChartSpec& spec, const std::vector<ChartLines>& series);

/// Streams rows into per-pixel-column M4 points and writes the chart at the end.
///
/// Per series and pixel column at most four points are kept (first, lowest,
/// highest, last in row order); a non-finite value breaks the line between the
/// kept points it separates, so gaps that span whole pixel columns stay gaps. The
/// line joins the pixel columns from left to right; for an x column that does not
/// grow, each pixel column shows the range of the values that fall into it.
class ChartBuilder {
 public:
  explicit ChartBuilder(ChartSpec spec);

  /// Adds one row: its x and one value per series. A row whose x cannot be drawn
  /// or lies outside the x axis is not drawn; it breaks every line like a
  /// non-finite value.
  void add_row(double x, const double* values);

  const ChartLayout& layout() const { return layout_; }

  /// The kept points as runs, one ChartLines per series.
  std::vector<ChartLines> reduced_lines() const;
  /// The SVG document of the kept points.
  std::string svg() const { return render_chart(spec_, reduced_lines()); }

 private:
  static constexpr std::uint64_t kNoGap = std::numeric_limits<std::uint64_t>::max();

  struct Kept {
    double x;
    double y;
    std::uint64_t row;        // row order, for the order of the points and the gaps
    std::uint64_t gap_after;  // the first gap after this point in its column, or kNoGap
  };
  // The M4 points of one series in one pixel column.
  struct Cell {
    Kept first, low, high, last;
    bool has_points = false;
    bool has_gap = false;
    bool gap_before_first = false;  // a gap came in this column before its first point
  };

  void mark_gap(Cell& cell) const;
  void append_column_points(const Cell& cell, ChartLines& lines, bool& open) const;

  ChartSpec spec_;
  ChartLayout layout_;
  std::size_t series_count_;
  std::uint32_t columns_;
  long double x_lo_;
  long double x_hi_;
  long double x_scale_;      // pixel columns per x unit
  std::vector<Cell> cells_;  // column-major: cells_[column * series_count_ + series]
  std::uint64_t row_ = 0;
  std::uint32_t last_column_ = 0;
  bool any_row_ = false;
};

}  // namespace kest
