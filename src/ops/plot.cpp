// Line charts (--plot): draws the selected columns (every column without a
// selection) against the row number, or against the column of --plot-x, and
// writes the chart as a standalone SVG document.
//
// Two passes over the input. The first fixes the x range, so that every row's
// pixel column is known when the row is read: the number of data rows (lines are
// counted, no number is parsed), or the least and greatest finite value of the x
// column (its least and greatest positive value on a logarithmic x axis). The
// first pass also keeps the file's header: the last comment line before the
// first data line names the columns when it holds one word for each. The
// second streams the rows into the chart's reduction, which keeps a
// few points per pixel column and series. Memory therefore depends on the
// chart's width and the number of series, never on the number of rows; nothing is
// allocated per row.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/diagnostics.h"
#include "base/settings.h"
#include "base/text.h"
#include "io/chart.h"
#include "ops/frame.h"

namespace kest {

namespace {

// What the chart's options give.
struct ChartOptions {
  std::optional<std::uint32_t> x;  ///< --plot-x column, 1-based
  std::uint32_t width = kChartDefaultWidth;
  std::uint32_t height = kChartDefaultHeight;
  std::optional<std::string> title;   ///< the input's name without
  std::optional<std::string> xlabel;  ///< "row" or the x column's name without
  std::optional<std::string> ylabel;  ///< none without
  bool log_x = false;
  bool log_y = false;
  bool lines = true;  ///< --plot-style: lines or both
  bool points = false;
};
ChartOptions g_chart;

// The most series one chart draws.
constexpr std::size_t kMaxChartSeries = 256;

// Remembers the last comment line that is not blank, for the comment lines
// before the first data line: the file's header.
class HeaderSink final : public CommentSink {
 public:
  void comment(std::string_view text) override {
    if (text.find_first_not_of(" \t") != std::string_view::npos) header_.assign(text);
  }
  const std::string& header() const { return header_; }

 private:
  std::string header_;
};

// The sink for one read of a first pass: the first read hands the comment lines
// before the first data line to `sink` whatever --keep-comments says (comment
// keeping is the stream's for this pass; the rewind sets it back), later reads
// drop them.
CommentSink* header_pass(InputStream& in, HeaderSink& sink, bool first) {
  in.set_keep_comments(first);
  return first ? &sink : nullptr;
}

// The data rows the data pass reads: every data line up to the end of the input
// or up to the first line that --skip-columns leaves empty, where the data end.
std::uint64_t count_data_rows(InputStream& in, HeaderSink& header) {
  const std::size_t skip = settings().skip_columns;
  std::uint64_t rows = 0;
  std::size_t length = 0;
  while (read_data_line(in, header_pass(in, header, rows == 0), &length) != nullptr &&
         length > skip) {
    ++rows;
  }
  return rows;
}

// The least and greatest finite value of column `x` (0-based) over the data
// rows, positive ones only with `positive`; lo > hi when there is none. Only
// the columns up to x are parsed.
struct XRange {
  double lo = INFINITY;
  double hi = -INFINITY;
};
XRange x_column_range(InputStream& in, std::uint32_t x, double* values, bool positive,
                      HeaderSink& header) {
  XRange range;
  bool first = true;
  while (read_row(in, values, header_pass(in, header, first), x + 1) != nullptr) {
    first = false;
    const double value = values[x];
    if (!std::isfinite(value) || (positive && !(value > 0))) continue;
    range.lo = std::min(range.lo, value);
    range.hi = std::max(range.hi, value);
  }
  return range;
}

// The words of a header line after its leading blanks and comment characters,
// split at blanks, tabs and commas (and at the input delimiter), each without
// enclosing quotes.
std::vector<std::string> header_words(std::string_view line) {
  const std::size_t start = line.find_first_not_of("#!; \t");
  line.remove_prefix(start == std::string_view::npos ? line.size() : start);
  std::string separators = " \t\r,";
  if (settings().input_delimiter != 0) separators += static_cast<char>(settings().input_delimiter);
  std::vector<std::string> words;
  for (std::size_t at = line.find_first_not_of(separators); at != std::string_view::npos;) {
    const std::size_t end = std::min(line.find_first_of(separators, at), line.size());
    std::string_view word = line.substr(at, end - at);
    if (word.size() >= 2 && word.front() == '"' && word.back() == '"') {
      word = word.substr(1, word.size() - 2);
    }
    words.emplace_back(word);
    at = line.find_first_not_of(separators, end);
  }
  return words;
}

std::string column_name(std::uint32_t index) {
  return "column " + std::to_string(index + 1);
}

OpResult run(const Job& job) {
  const Settings& s = settings();
  const ChartOptions& params = g_chart;
  announce(job);
  Frame frame(job, {.comments = false, .another_pass = true});
  const std::uint32_t cols = frame.cols();
  const std::optional<std::uint32_t> plot_x = params.x;
  // An input without data gives the chart that says so, whatever --plot-x names.
  if (plot_x && cols != 0 && *plot_x > cols) {
    KEST_FATAL("Invalid column for --plot-x: %lu (%s has %lu columns)\n",
               static_cast<unsigned long>(*plot_x), job.in.c_str(),
               static_cast<unsigned long>(cols));
  }
  const bool against_column = plot_x && cols != 0;
  const std::uint32_t x = against_column ? *plot_x - 1 : 0;

  // The series: the selected columns, or every column without a selection; the
  // x column is never one of them.
  const bool selection = job.selection.kind == SelectionSource::Kind::kFile ||
                         !s.selection_strings.empty() || s.inverse;
  ChartSpec spec;
  spec.width = params.width;
  spec.height = params.height;
  spec.title = params.title.value_or(job.in == "-" ? "standard input" : job.in);
  spec.y_label = params.ylabel.value_or("");
  spec.log_x = params.log_x;
  spec.log_y = params.log_y;
  spec.lines = params.lines;
  spec.points = params.points;
  std::vector<std::uint32_t> series;
  for (std::uint32_t c = 0; c < cols; ++c) {
    if ((selection && !frame.selected(c)) || (against_column && c == x)) continue;
    series.push_back(c);
  }
  if (cols != 0 && series.empty()) KEST_FATAL("No column selected for the chart\n");
  // Each series keeps a few points per pixel column: a bound on them bounds memory.
  if (series.size() > kMaxChartSeries) {
    KEST_FATAL("Too many columns for a chart: %lu (at most %lu; choose them with -e)\n",
               static_cast<unsigned long>(series.size()),
               static_cast<unsigned long>(kMaxChartSeries));
  }
  // Only the columns up to the last one drawn are parsed.
  const std::uint32_t parsed =
      std::max(series.empty() ? 0 : series.back() + 1, against_column ? x + 1 : 0);
  std::vector<double> values = vector_or_die<double>(__FILE_NAME__, __LINE__, std::max(parsed, 1u));

  announce_names(job);
  Output& out = frame.open_document();

  HeaderSink header;
  if (cols != 0) {
    if (against_column) {
      const XRange range = x_column_range(frame.input(), x, values.data(), spec.log_x, header);
      spec.x_first = range.lo;
      spec.x_last = range.hi;
    } else {
      spec.x_first = 1;
      spec.x_last = static_cast<double>(count_data_rows(frame.input(), header));
    }
  }
  frame.rewind(true);

  // The columns' names: the header's words when there is one for each column.
  std::vector<std::string> names = header_words(header.header());
  if (names.size() != cols) names.clear();
  const auto name_of = [&](std::uint32_t c) { return names.empty() ? column_name(c) : names[c]; };
  spec.x_label = params.xlabel.value_or(against_column ? name_of(x) : "row");
  for (const std::uint32_t c : series) spec.series_names.push_back(name_of(c));

  ChartBuilder chart(std::move(spec));
  std::vector<double> row_values =
      vector_or_die<double>(__FILE_NAME__, __LINE__, std::max<std::size_t>(series.size(), 1));
  std::uint64_t rows = 0;
  if (cols != 0) {
    while (frame.read_row(values.data(), parsed) != nullptr) {
      ++rows;
      for (std::size_t i = 0; i < series.size(); ++i) row_values[i] = values[series[i]];
      chart.add_row(against_column ? values[x] : static_cast<double>(rows), row_values.data());
    }
  }
  out.write_text(chart.svg());
  return frame.finish(rows < UINT32_MAX ? static_cast<std::uint32_t>(rows) : UINT32_MAX);
}

// The chart's options: its x column, size, texts, logarithmic axes and style.
void parse_x(const char* arg, OpChoice&) {
  long long column = 0;
  const std::size_t used = scan_width_integer(arg, 10, column);
  if (used == 0 || arg[used] != '\0' || column < 1 || column > UINT32_MAX) {
    KEST_FATAL("Invalid column for --plot-x: %s (a column number from 1)\n", arg);
  }
  g_chart.x = static_cast<std::uint32_t>(column);
}

bool chart_size(long long size) {
  return size >= kChartMinSize && size <= kChartMaxSize;
}

void parse_size(const char* arg, OpChoice&) {
  long long width = 0;
  long long height = 0;
  const std::size_t used = scan_width_integer(arg, 6, width);
  const bool separator = used != 0 && (arg[used] == 'x' || arg[used] == 'X');
  const std::size_t more = separator ? scan_width_integer(arg + used + 1, 6, height) : 0;
  if (more == 0 || arg[used + 1 + more] != '\0' || !chart_size(width) || !chart_size(height)) {
    KEST_FATAL("Invalid plot size %s (WxH, each from %u to %u)\n", arg, kChartMinSize,
               kChartMaxSize);
  }
  g_chart.width = static_cast<std::uint32_t>(width);
  g_chart.height = static_cast<std::uint32_t>(height);
}

// "x", "y" or "xy".
void parse_log(const char* arg, OpChoice&) {
  const std::string_view axes = arg;
  if (axes != "x" && axes != "y" && axes != "xy") {
    KEST_FATAL("Invalid value for --plot-log: %s (x, y or xy)\n", arg);
  }
  g_chart.log_x = axes != "y";
  g_chart.log_y = axes != "x";
}

// "lines", "points" or "both".
void parse_style(const char* arg, OpChoice&) {
  const std::string_view style = arg;
  if (style != "lines" && style != "points" && style != "both") {
    KEST_FATAL("Invalid value for --plot-style: %s (lines, points or both)\n", arg);
  }
  g_chart.lines = style != "points";
  g_chart.points = style != "lines";
}

constexpr OptionArg R = OptionArg::kRequired;
constexpr OptionArg N = OptionArg::kNone;

constexpr OptionSpec kOptions[] = {
    {"plot", 0, N, N, [](const char*, OpChoice& choice) { choice.choose(OpCode::kPlot); }},
    {"plot-x", 0, R, N, parse_x},
    {"plot-size", 0, R, N, parse_size},
    {"plot-title", 0, R, N, [](const char* arg, OpChoice&) { g_chart.title = arg; }},
    {"plot-xlabel", 0, R, N, [](const char* arg, OpChoice&) { g_chart.xlabel = arg; }},
    {"plot-ylabel", 0, R, N, [](const char* arg, OpChoice&) { g_chart.ylabel = arg; }},
    {"plot-log", 0, R, N, parse_log},
    {"plot-style", 0, R, N, parse_style},
};
constexpr Variant kVariants[] = {
    {OpCode::kPlot, true, false, "Draw a line chart\n", "Kest: Plot "},
};

}  // namespace

extern const Operation kPlot = {"plot", kOptions, kVariants, run, [] { g_chart = {}; }};

}  // namespace kest
