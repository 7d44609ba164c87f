// Line charts as SVG: page layout, nice and logarithmic ticks, XML text, the M4
// reduction and the document writer.
//
// Ranges and pixel positions are computed in long double, whose exponent range
// holds the difference of any two doubles, so data near the limits of double
// neither overflow a span nor turn a coordinate into NaN.
#include "io/chart.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "base/diagnostics.h"
#include "io/numtext.h"

namespace kest {
namespace {

// Colour-blind-safe colours of Okabe and Ito, the most visible on white first;
// their pale yellow (#f0e442, 1.3:1 on white) is darkened to a gold of 3.4:1.
constexpr std::array<const char*, 8> kPalette = {"#0072b2", "#d55e00", "#009e73", "#e69f00",
                                                 "#56b4e9", "#cc79a7", "#a08c00", "#000000"};

// After every round of the colours the series take the next dash pattern and
// dot shape. A line (1.5 pixels, round caps) and its legend swatch (3 pixels,
// flat caps) need different arrays to look alike.
struct SeriesLook {
  const char* line_dashes;    // stroke-dasharray of the line; "" for a solid one
  const char* swatch_dashes;  // stroke-dasharray of the legend swatch
  const char* dot_cap;        // stroke-linecap of a dot: round or square, "" for a cross
};
constexpr std::array<SeriesLook, 3> kLooks = {
    {{"", "", "round"}, {"7 4", "8.5 2.5", "square"}, {"1 4", "2.5 2.5", ""}}};
static_assert(kPalette.size() * kLooks.size() == kChartDistinctSeries);

const char* series_colour(std::size_t s) {
  return kPalette[s % kPalette.size()];
}
const SeriesLook& series_look(std::size_t s) {
  return kLooks[s / kPalette.size() % kLooks.size()];
}
constexpr const char* kTextColour = "#222222";
constexpr const char* kGridColour = "#e3e3e3";
constexpr const char* kFrameColour = "#c8c8c8";

constexpr double kLabelFont = 12;
constexpr double kTitleFont = 16;
// Mean advance of a character of the sans-serif face, in font sizes.
constexpr double kCharWidth = 0.64;
constexpr double kTickLength = 5;
constexpr double kLegendRowHeight = 18;
constexpr double kLegendSwatch = 22;
constexpr double kDotSize = 5;      // a round or square dot's width
constexpr double kCrossArm = 3;     // half the width of a cross
constexpr double kYLabelBand = 20;  // room left of the y tick labels for the y axis label
// Characters the y tick labels get at full size.
constexpr double kYLabelChars = 10;
// Steps by which a tick may lie outside its range and still count.
constexpr long double kTickSlack = 1e-6L;
// Share of the y data span added above and below it.
constexpr long double kYMargin = 0.05L;

double text_width(std::size_t chars, double font_size) {
  return static_cast<double>(chars) * font_size * kCharWidth;
}

std::uint32_t clamp_size(std::uint32_t size) {
  return std::clamp(size, kChartMinSize, kChartMaxSize);
}

// A range of an axis in axis units (values, or their decimal logarithms on a
// logarithmic axis): finite and not empty.
struct Range {
  long double lo;
  long double hi;
};

long double axis_units(bool log, long double value) {
  return log ? std::log10(value) : value;
}

Range widen_if_empty(long double lo, long double hi) {
  // A span below a billionth of the magnitude has no distinct ticks in double.
  const long double magnitude = std::max(std::fabs(lo), std::fabs(hi));
  if (hi - lo > magnitude * 1e-9L) return {lo, hi};
  const long double centre = lo / 2 + hi / 2;
  const long double half = magnitude > 0 ? magnitude * 0.1L : 1.0L;
  return {centre - half, centre + half};
}

// The same for a logarithmic axis: a single value gets a decade around it.
Range widen_log_if_empty(long double lo, long double hi) {
  if (hi - lo > 1e-6L) return {lo, hi};
  const long double centre = lo / 2 + hi / 2;
  return {centre - 0.5L, centre + 0.5L};
}

Range widen(bool log, long double lo, long double hi) {
  return log ? widen_log_if_empty(lo, hi) : widen_if_empty(lo, hi);
}

// The x data range in axis units (0..1 stands for 1..10 on a logarithmic axis).
Range x_data_range(const ChartSpec& spec) {
  if (!std::isfinite(spec.x_first) || !std::isfinite(spec.x_last) || spec.x_first > spec.x_last ||
      (spec.log_x && !(spec.x_first > 0))) {
    return {0, 1};
  }
  return widen(spec.log_x, axis_units(spec.log_x, spec.x_first),
               axis_units(spec.log_x, spec.x_last));
}

// ---- text -------------------------------------------------------------------

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

bool xml_allowed(char32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// The length of the well-formed UTF-8 sequence at text[i] and its code point, or
// 0 when the bytes there are no such sequence.
std::size_t utf8_sequence(std::string_view text, std::size_t i, char32_t& code) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  std::size_t length;
  char32_t min;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1F, min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0F, min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

// Text that XML takes as it is: valid UTF-8 of allowed characters, blanks for
// tabs and line ends. Markup characters are still to be escaped.
std::string clean_text(std::string_view text) {
  std::string clean;
  clean.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t code = 0;
    const std::size_t length = utf8_sequence(text, i, code);
    if (length == 0) {
      clean += kReplacement;
      ++i;
      continue;
    }
    if (code == '\t' || code == '\n' || code == '\r') {
      clean += ' ';
    } else if (!xml_allowed(code)) {
      clean += kReplacement;
    } else {
      clean.append(text.substr(i, length));
    }
    i += length;
  }
  return clean;
}

std::size_t count_characters(std::string_view clean) {
  return static_cast<std::size_t>(std::count_if(clean.begin(), clean.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// The clean text cut to at most `max_chars` characters: an ellipsis and the
// text's end, where a file name keeps its most telling part.
std::string fit_text(std::string clean, std::size_t max_chars) {
  const std::size_t chars = count_characters(clean);
  if (chars <= max_chars) return clean;
  if (max_chars == 0) return {};
  std::size_t drop = chars - (max_chars - 1);
  std::size_t cut = 0;
  while (cut < clean.size() && drop > 0) {
    ++cut;
    while (cut < clean.size() && (static_cast<unsigned char>(clean[cut]) & 0xC0) == 0x80) ++cut;
    --drop;
  }
  return "\xE2\x80\xA6" + clean.substr(cut);  // U+2026
}

void append_escaped(std::string& out, std::string_view clean) {
  for (const char c : clean) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
}

// ---- numbers in the document --------------------------------------------------

// A pixel coordinate with at most two decimals ("12.5", "-3", "0.25").
void append_coordinate(std::string& out, long double value) {
  value = std::clamp(value, -1e6L, 1e6L);  // far outside any page; NaN never reaches here
  long long hundredths = std::llround(value * 100);
  if (hundredths < 0) {
    out += '-';
    hundredths = -hundredths;
  }
  out += std::to_string(hundredths / 100);
  const int fraction = static_cast<int>(hundredths % 100);
  if (fraction != 0) {
    out += '.';
    out += static_cast<char>('0' + fraction / 10);
    if (fraction % 10 != 0) out += static_cast<char>('0' + fraction % 10);
  }
}

void append_attribute(std::string& out, const char* name, long double value) {
  out += ' ';
  out += name;
  out += "=\"";
  append_coordinate(out, value);
  out += '"';
}

// The x, y, width and height attributes of a box.
void append_box(std::string& out, const ChartBox& box) {
  append_attribute(out, "x", box.x);
  append_attribute(out, "y", box.y);
  append_attribute(out, "width", box.width);
  append_attribute(out, "height", box.height);
}

void append_text_element(std::string& out, long double x, long double y, const char* extra,
                         std::string_view clean) {
  out += "<text";
  append_attribute(out, "x", x);
  append_attribute(out, "y", y);
  out += extra;
  out += '>';
  append_escaped(out, clean);
  out += "</text>\n";
}

std::string number_text(double value) {
  char text[kNumberTextSize];
  return std::string(text, format_number_default(value, text));
}

// ---- ticks ---------------------------------------------------------------------

// Ticks inside [lo, hi] whose step is 1, 2 or 5 times a power of ten, at most
// max_ticks of them. With `cover` the ticks reach both ends instead, the first at
// or below lo and the last at or above hi, and *cover becomes the range from the
// one to the other. Where no step covers the range with so few ticks and outer
// ticks that double holds (an axis from -DBL_MAX to DBL_MAX), the ticks are those
// inside and *cover is lo..hi.
ChartTicks ticks_between(long double lo, long double hi, int max_ticks, Range* cover = nullptr) {
  ChartTicks ticks;
  max_ticks = std::max(max_ticks, 2);
  if (cover != nullptr) *cover = {lo, hi};
  const long double span = hi - lo;
  if (!(span > 0) || !std::isfinite(span)) {
    if (std::isfinite(lo) && std::fabs(lo) <= DBL_MAX)
      ticks.values.push_back(static_cast<double>(lo) + 0.0);
    return ticks;
  }
  // Start a little below the step that gives max_ticks intervals and walk up the
  // 1-2-5 ladder; ten times that step always leaves few enough ticks inside.
  int exponent = static_cast<int>(std::floor(std::log10(span / max_ticks))) - 1;
  for (int attempt = 0; attempt < 64; ++attempt, ++exponent) {
    const long double power = std::pow(10.0L, std::abs(exponent));
    for (const int multiple : {1, 2, 5}) {
      const long double step = exponent < 0 ? multiple / power : multiple * power;
      // multiple * i is an exact integer; dividing by an exact power of ten
      // rounds once, so 0.3 is the double nearest to 3/10.
      const auto value_at = [&](long double i) {
        return exponent < 0 ? multiple * i / power : multiple * i * power;
      };
      // A tick within a millionth of a step of an end counts as at the end: 1 /
      // 0.1 is a hair below 10 in binary.
      const long double first =
          cover != nullptr ? std::floor(lo / step + kTickSlack) : std::ceil(lo / step - kTickSlack);
      const long double last =
          cover != nullptr ? std::ceil(hi / step - kTickSlack) : std::floor(hi / step + kTickSlack);
      if (last - first + 1 > max_ticks) continue;
      // Outer ticks that double cannot hold would not show where the axis ends.
      if (cover != nullptr &&
          std::max(std::fabs(value_at(first)), std::fabs(value_at(last))) > DBL_MAX) {
        continue;
      }
      ticks.step = step;
      for (long double i = first; i <= last; ++i) {
        const long double value = value_at(i);
        if (std::fabs(value) > DBL_MAX) continue;
        ticks.values.push_back(static_cast<double>(value) + 0.0);  // never -0
      }
      if (cover != nullptr) *cover = {std::min(lo, value_at(first)), std::max(hi, value_at(last))};
      return ticks;
    }
  }
  return cover != nullptr ? ticks_between(lo, hi, max_ticks) : ticks;
}

bool labels_fit(const ChartTicks& ticks, const std::vector<std::string>& labels,
                std::size_t max_length) {
  for (std::size_t i = 0; i < labels.size(); ++i) {
    if (labels[i].size() > max_length) return false;
    if (i > 0 && labels[i] == labels[i - 1]) return false;
    const double read = std::strtod(labels[i].c_str(), nullptr);
    if (!(std::fabs(read - ticks.values[i]) <= std::fabs(ticks.step) * 1e-3)) return false;
  }
  return true;
}

// The ticks of a logarithmic axis over [a, b] (decimal logarithms) at `level`:
// 1, 2 and 5 times every power of ten (level 0), 1 and 3 times (1), every power
// of ten (2), or every 2nd, 5th, 10th, 20th ... power of ten (3 on). They lie inside the range,
// or with `cover` run from the last at or below a to the first at or above b
// (the range they span goes to *cover). False when there would be more than
// max_ticks, or when an outer tick of `cover` is beyond the range of double;
// ticks inside that are beyond it count but are not listed.
bool log_level_ticks(long double a, long double b, int level, int max_ticks,
                     std::vector<double>& values, Range* cover) {
  constexpr long double kMultiples[][3] = {{1, 2, 5}, {1, 3}, {1}};
  constexpr long double kSlack = 1e-9L;  // decades
  const long double* multiple = kMultiples[std::min(level, 2)];
  const int multiples = 3 - std::min(level, 2);
  long double every = 1;  // decades between powers
  if (level >= 3) {
    const int k = level - 3;
    every = (k % 3 == 0 ? 2 : k % 3 == 1 ? 5 : 10) * std::pow(10.0L, k / 3);
  }
  if ((b - a) / every * multiples > max_ticks + 3) return false;
  values.clear();
  const long double first_power = std::floor(a / every) - 1;
  const long double last_power = std::ceil(b / every) + 1;
  // Walks the candidates upwards; with `cover` the list starts again at every
  // candidate at or below a, and ends with the first at or above b.
  long double low = NAN, high = NAN;
  int count = 0;
  bool done = false;
  bool first_held = true, last_held = true;  // whether double holds the outer ticks
  for (long double k = first_power; k <= last_power && !done; ++k) {
    const long double power = k * every;
    for (int m = 0; m < multiples && !done; ++m) {
      const long double position = power + std::log10(multiple[m]);
      if (cover != nullptr) {
        if (position <= a + kSlack) {
          values.clear();
          count = 0;
          low = position;
        } else if (high >= b - kSlack) {
          done = true;
          continue;
        }
      } else {
        if (position < a - kSlack) continue;
        if (position > b + kSlack) {
          done = true;
          continue;
        }
        if (count == 0) low = position;
      }
      high = position;
      if (++count > max_ticks) return false;
      const double value = static_cast<double>(multiple[m] * std::pow(10.0L, power));
      const bool held = value > 0 && value <= DBL_MAX;
      if (held) values.push_back(value);
      if (cover != nullptr && count == 1) first_held = held;
      last_held = held;
    }
  }
  if (count == 0 || (cover != nullptr && !(first_held && last_held))) return false;
  if (cover != nullptr) *cover = {std::min(a, low), std::max(b, high)};
  return true;
}

// The labels of a logarithmic axis's ticks: the default text where it is short
// and reads back as the tick, else the shortest general form that does.
std::vector<std::string> log_tick_labels(const std::vector<double>& values) {
  std::vector<std::string> labels;
  for (const double value : values) {
    std::string text = number_text(value);
    for (int precision = 1;
         precision <= 17 && (text.size() > static_cast<std::size_t>(kYLabelChars) ||
                             std::strtod(text.c_str(), nullptr) != value);
         ++precision) {
      char general[kNumberTextSize];
      text.assign(general, format_general(value, precision, general));
    }
    labels.push_back(std::move(text));
  }
  return labels;
}

// An axis as drawn: its range in axis units, and its ticks as values with their
// labels.
struct Axis {
  bool log = false;
  Range range{0, 1};
  std::vector<double> ticks;
  std::vector<std::string> labels;

  long double units(long double value) const { return axis_units(log, value); }
};

// The ticks of a logarithmic axis, at most max_ticks: the densest level of
// log_level_ticks that fits, or over less than a decade the nice ticks of the
// values themselves.
void log_axis_ticks(Axis& axis, int max_ticks, bool cover) {
  const Range range = axis.range;
  if (range.hi - range.lo < 1) {
    Range covered{};
    const ChartTicks ticks = ticks_between(std::pow(10.0L, range.lo), std::pow(10.0L, range.hi),
                                           max_ticks, cover ? &covered : nullptr);
    if (!cover || covered.lo > 0) {
      axis.ticks = ticks.values;
      axis.labels = tick_labels(ticks);
      if (cover) axis.range = {std::log10(covered.lo), std::log10(covered.hi)};
      return;
    }
  }
  // Without outer ticks that double holds, the ticks inside.
  for (const bool covering : {cover, false}) {
    for (int level = 0; level < 20; ++level) {
      Range covered{};
      if (log_level_ticks(range.lo, range.hi, level, std::max(max_ticks, 2), axis.ticks,
                          covering ? &covered : nullptr)) {
        axis.labels = log_tick_labels(axis.ticks);
        if (covering) axis.range = covered;
        return;
      }
    }
  }
}

Axis make_axis(bool log, Range range, int max_ticks, bool cover) {
  Axis axis;
  axis.log = log;
  axis.range = range;
  if (log) {
    log_axis_ticks(axis, max_ticks, cover);
  } else {
    const ChartTicks ticks =
        ticks_between(range.lo, range.hi, max_ticks, cover ? &axis.range : nullptr);
    axis.ticks = ticks.values;
    axis.labels = tick_labels(ticks);
  }
  return axis;
}

// True when neighbouring tick labels of `axis`, `length` pixels long, keep ten
// pixels apart.
bool labels_apart(const Axis& axis, double length, double char_width) {
  const long double scale = length / (axis.range.hi - axis.range.lo);
  for (std::size_t i = 1; i < axis.ticks.size(); ++i) {
    const long double between = (axis.units(axis.ticks[i]) - axis.units(axis.ticks[i - 1])) * scale;
    const double needed =
        static_cast<double>(axis.labels[i].size() + axis.labels[i - 1].size()) / 2 * char_width +
        10;
    if (between < needed) return false;
  }
  return true;
}

// The x axis of a plot `width` pixels wide: as many ticks as keep their labels
// apart, at most one every 80 pixels, and the axis reaches from the tick at or
// before the first x to the one at or after the last.
Axis x_axis(const ChartSpec& spec, double width) {
  const Range data = x_data_range(spec);
  for (int max_ticks = std::clamp(static_cast<int>(width / 80), 2, 10);; --max_ticks) {
    Axis axis = make_axis(spec.log_x, data, max_ticks, true);
    if (max_ticks == 2 || labels_apart(axis, width, kLabelFont * kCharWidth)) return axis;
  }
}

// ---- layout ----------------------------------------------------------------------

struct Geometry {
  ChartLayout layout;
  Axis x;
  Axis y;
  bool has_data = false;

  long double x_pixel(long double value) const {
    return layout.plot.x +
           (x.units(value) - x.range.lo) * (layout.plot.width / (x.range.hi - x.range.lo));
  }
  long double y_pixel(long double value) const {
    return layout.plot.y +
           (y.range.hi - y.units(value)) * (layout.plot.height / (y.range.hi - y.range.lo));
  }
};

// Whether a point can be drawn: finite, and positive on a logarithmic axis.
bool drawable(const ChartSpec& spec, const ChartPoint& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && (!spec.log_x || p.x > 0) &&
         (!spec.log_y || p.y > 0);
}

// The band left of the y tick labels that holds the y axis label (none without).
double y_label_band(const ChartSpec& spec, double width) {
  return spec.y_label.empty() ? 0 : std::min(kYLabelBand, std::floor(width * 0.05));
}

ChartLayout layout_of(const ChartSpec& spec, Axis* x) {
  ChartLayout lay;
  lay.width = clamp_size(spec.width);
  lay.height = clamp_size(spec.height);
  const double width = lay.width;
  const double height = lay.height;
  const double char_px = kLabelFont * kCharWidth;

  const double top = std::min(38.0, std::floor(height * 0.2));
  const double bottom = std::min(44.0, std::floor(height * 0.25));
  const double left =
      std::min(std::ceil(kYLabelChars * char_px + kTickLength + 8), std::floor(width * 0.2)) +
      y_label_band(spec, width);

  // The legend stands right of the plot, in as many columns as its names need
  // and as fit into three tenths of the page.
  double right = std::min(20.0, std::floor(width * 0.05));
  const std::size_t count = spec.series_names.size();
  const double plot_height = height - top - bottom;
  if (count > 0) {
    std::size_t longest = 1;
    for (const std::string& name : spec.series_names) {
      longest = std::max(longest, count_characters(clean_text(name)));
    }
    const double room = std::floor(width * 0.3);
    lay.legend_column_width =
        std::min(room - 12, text_width(longest, kLabelFont) + kLegendSwatch + 14);
    lay.legend_column_width = std::max(lay.legend_column_width, 1.0);
    lay.legend_rows =
        static_cast<std::uint32_t>(std::max(1.0, std::floor((plot_height - 8) / kLegendRowHeight)));
    const std::size_t needed = (count + lay.legend_rows - 1) / lay.legend_rows;
    const std::size_t fitting =
        std::max<std::size_t>(1, static_cast<std::size_t>((room - 12) / lay.legend_column_width));
    lay.legend_columns = static_cast<std::uint32_t>(std::min(needed, fitting));
    const std::size_t slots = static_cast<std::size_t>(lay.legend_columns) * lay.legend_rows;
    lay.legend_entries = static_cast<std::uint32_t>(count <= slots ? count : slots - 1);
    const std::size_t used_rows = std::min<std::size_t>(count, lay.legend_rows);
    lay.legend.width = std::ceil(lay.legend_columns * lay.legend_column_width + 12);
    lay.legend.height = std::ceil(static_cast<double>(used_rows) * kLegendRowHeight + 8);
    right = lay.legend.width + 12 + std::min(10.0, std::floor(width * 0.02));
  }

  lay.plot.x = left;
  lay.plot.y = top;
  lay.plot.width = std::max(1.0, width - left - right);
  lay.plot.height = std::max(1.0, plot_height);
  if (count > 0) {
    lay.legend.x = lay.plot.x + lay.plot.width + 12;
    lay.legend.y = lay.plot.y;
  }
  lay.title = {0, 0, width, top};
  *x = x_axis(spec, lay.plot.width);
  lay.x_lo = x->range.lo;
  lay.x_hi = x->range.hi;
  return lay;
}

// Grid line positions sit on pixel centres so that one-pixel lines stay crisp.
long double crisp(long double position) {
  return std::floor(position) + 0.5L;
}

// ---- series ----------------------------------------------------------------------

void append_point(std::string& out, long double x, long double y) {
  append_coordinate(out, x);
  out += ',';
  append_coordinate(out, y);
}

// One dot of `look` at page pixel (x, y), as path data.
void append_dot(std::string& path, const SeriesLook& look, long double x, long double y) {
  path += 'M';
  if (*look.dot_cap != '\0') {  // a line of no length, drawn as its caps
    append_point(path, x, y);
    path += "h0";
    return;
  }
  append_point(path, x - kCrossArm, y);
  path += 'h';
  append_coordinate(path, 2 * kCrossArm);
  path += 'M';
  append_point(path, x, y - kCrossArm);
  path += 'v';
  append_coordinate(path, 2 * kCrossArm);
}

// A path element of the dots in `path`.
void append_dots(std::string& out, const SeriesLook& look, const std::string& path) {
  if (*look.dot_cap != '\0') {
    out += "<path stroke-dasharray=\"none\" stroke-width=\"";
    append_coordinate(out, *look.dot_cap == 'r' ? kDotSize : kDotSize - 0.5);
    out += "\" stroke-linecap=\"";
    out += look.dot_cap;
    out += "\" d=\"";
  } else {
    out += "<path stroke-dasharray=\"none\" stroke-linecap=\"butt\" d=\"";
  }
  out += path;
  out += "\"/>\n";
}

// One series: a group of its colour and dashes, a polyline per run of drawable
// points, and a path of its dots.
void append_series(std::string& out, const ChartSpec& spec, const Geometry& g, std::size_t s,
                   const ChartLines* lines) {
  const SeriesLook& look = series_look(s);
  out += "<g stroke=\"";
  out += series_colour(s);
  out += '"';
  if (*look.line_dashes != '\0') {
    out += " stroke-dasharray=\"";
    out += look.line_dashes;
    out += '"';
  }
  out += "><title>";
  append_escaped(out, clean_text(spec.series_names[s]));
  out += "</title>\n";
  std::string dots;
  for (const ChartRun& run : lines != nullptr ? *lines : ChartLines{}) {
    // Each stretch of drawable points is one line.
    for (std::size_t begin = 0; begin < run.size();) {
      if (!drawable(spec, run[begin])) {
        ++begin;
        continue;
      }
      std::size_t end = begin;
      while (end < run.size() && drawable(spec, run[end])) ++end;
      if (spec.lines && (end - begin > 1 || !spec.points)) {
        // A lone value is the same point twice, which round caps draw as a dot.
        const bool lone = end - begin == 1;
        out += lone ? "<polyline stroke-width=\"4\" stroke-dasharray=\"none\" points=\""
                    : "<polyline points=\"";
        const char* separator = "";
        for (std::size_t i = begin; i < end; ++i) {
          for (int copies = lone ? 2 : 1; copies > 0; --copies) {
            out += separator;
            separator = " ";
            append_point(out, g.x_pixel(run[i].x), g.y_pixel(run[i].y));
          }
        }
        out += "\"/>\n";
      }
      if (spec.points) {
        for (std::size_t i = begin; i < end; ++i) {
          append_dot(dots, look, g.x_pixel(run[i].x), g.y_pixel(run[i].y));
        }
      }
      begin = end;
    }
  }
  if (!dots.empty()) append_dots(out, look, dots);
  out += "</g>\n";
}

// The legend's sample of series s, `left` to `left + kLegendSwatch` at `middle`.
void append_swatch(std::string& out, const ChartSpec& spec, std::size_t s, long double left,
                   long double middle) {
  const SeriesLook& look = series_look(s);
  if (spec.lines || !spec.points) {
    out += "<line";
    append_attribute(out, "x1", left);
    append_attribute(out, "y1", middle);
    append_attribute(out, "x2", left + kLegendSwatch);
    append_attribute(out, "y2", middle);
    out += " stroke=\"";
    out += series_colour(s);
    out += "\" stroke-width=\"3\"";
    if (*look.swatch_dashes != '\0') {
      out += " stroke-dasharray=\"";
      out += look.swatch_dashes;
      out += '"';
    }
    out += "/>\n";
  }
  if (spec.points) {
    std::string dot;
    append_dot(dot, look, left + kLegendSwatch / 2, middle);
    out += "<g stroke=\"";
    out += series_colour(s);
    out += "\" stroke-width=\"1.5\">";
    append_dots(out, look, dot);
    out += "</g>\n";
  }
}

// ---- the document ----------------------------------------------------------------

// The document's start: the root element, its title and the white plot area.
void append_head(std::string& out, const ChartLayout& lay, const std::string& title) {
  out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\"";
  append_attribute(out, "width", lay.width);
  append_attribute(out, "height", lay.height);
  out += " viewBox=\"0 0 " + std::to_string(lay.width) + ' ' + std::to_string(lay.height) + "\">\n";
  out += "<title>";
  append_escaped(out, title);
  out += "</title>\n";
  out += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  out += "<rect id=\"plot-area\"";
  append_box(out, lay.plot);
  out += " fill=\"#ffffff\"/>\n";
}

// The grid lines at the ticks inside the plot area.
void append_grid(std::string& out, const Geometry& g) {
  const ChartBox& plot = g.layout.plot;
  const long double plot_right = plot.x + plot.width;
  const long double plot_bottom = plot.y + plot.height;
  out += "<g id=\"grid\" stroke=\"";
  out += kGridColour;
  out += "\" stroke-width=\"1\">\n";
  for (const double tick : g.x.ticks) {
    const long double x = crisp(g.x_pixel(tick));
    if (x <= plot.x + 0.5L || x >= plot_right) continue;
    out += "<line";
    append_attribute(out, "x1", x);
    append_attribute(out, "y1", plot.y);
    append_attribute(out, "x2", x);
    append_attribute(out, "y2", plot_bottom);
    out += "/>\n";
  }
  for (const double tick : g.y.ticks) {
    const long double y = crisp(g.y_pixel(tick));
    if (y <= plot.y + 0.5L || y >= plot_bottom) continue;
    out += "<line";
    append_attribute(out, "x1", plot.x);
    append_attribute(out, "y1", y);
    append_attribute(out, "x2", plot_right);
    append_attribute(out, "y2", y);
    out += "/>\n";
  }
  out += "</g>\n";
}

// The axes with their tick marks, one path.
void append_axes(std::string& out, const Geometry& g) {
  const ChartBox& plot = g.layout.plot;
  const long double plot_bottom = plot.y + plot.height;
  out += "<path id=\"axes\" fill=\"none\" stroke=\"";
  out += kTextColour;
  out += "\" stroke-width=\"1\" d=\"M";
  append_point(out, plot.x - 0.5L, plot.y);
  out += 'V';
  append_coordinate(out, plot_bottom + 0.5L);
  out += 'H';
  append_coordinate(out, plot.x + plot.width);
  for (const double tick : g.x.ticks) {
    out += 'M';
    append_point(out, crisp(g.x_pixel(tick)), plot_bottom + 0.5L);
    out += 'v';
    append_coordinate(out, kTickLength);
  }
  for (const double tick : g.y.ticks) {
    out += 'M';
    append_point(out, plot.x - 0.5L, crisp(g.y_pixel(tick)));
    out += 'h';
    append_coordinate(out, -kTickLength);
  }
  out += "\"/>\n";
}

// The tick labels; y labels wider than their margin get a smaller font.
void append_tick_labels(std::string& out, const ChartSpec& spec, const Geometry& g) {
  const ChartBox& plot = g.layout.plot;
  const long double plot_bottom = plot.y + plot.height;
  std::size_t widest_y = 1;
  for (const std::string& label : g.y.labels) widest_y = std::max(widest_y, label.size());
  const double y_room = plot.x - y_label_band(spec, g.layout.width) - kTickLength - 6;
  const double y_font =
      std::clamp(y_room / (static_cast<double>(widest_y) * kCharWidth), 8.0, kLabelFont);
  out += "<g id=\"tick-labels\" font-family=\"sans-serif\" font-size=\"12\" fill=\"";
  out += kTextColour;
  out += "\">\n";
  for (std::size_t i = 0; i < g.x.ticks.size(); ++i) {
    append_text_element(out, g.x_pixel(g.x.ticks[i]), plot_bottom + kTickLength + 14,
                        " text-anchor=\"middle\"", g.x.labels[i]);
  }
  std::string y_extra = " text-anchor=\"end\"";
  if (y_font < kLabelFont) {
    y_extra += " font-size=\"";
    append_coordinate(y_extra, y_font);
    y_extra += '"';
  }
  for (std::size_t i = 0; i < g.y.ticks.size(); ++i) {
    append_text_element(out, plot.x - kTickLength - 4, g.y_pixel(g.y.ticks[i]) + 4, y_extra.c_str(),
                        g.y.labels[i]);
  }
  out += "</g>\n";
}

// The axis labels where there is room for them, and "no data" on an empty chart.
void append_axis_labels(std::string& out, const ChartSpec& spec, const Geometry& g) {
  const ChartLayout& lay = g.layout;
  const ChartBox& plot = lay.plot;
  const std::string text_style =
      std::string(" font-family=\"sans-serif\" font-size=\"12\" fill=\"") + kTextColour +
      "\" text-anchor=\"middle\"";
  const double char_px = kLabelFont * kCharWidth;
  if (lay.height - (plot.y + plot.height) >= kLabelFont * 3) {  // room under the tick labels
    append_text_element(
        out, plot.x + plot.width / 2, lay.height - 8.0L, (" id=\"x-label\"" + text_style).c_str(),
        fit_text(clean_text(spec.x_label), static_cast<std::size_t>(plot.width / char_px)));
  }
  const double y_band = y_label_band(spec, lay.width);
  if (y_band >= kLabelFont) {  // the text stands on its baseline, turned to read upwards
    const long double x = y_band - 6;
    const long double y = plot.y + plot.height / 2;
    std::string extra = " id=\"y-label\"" + text_style + " transform=\"rotate(-90 ";
    append_point(extra, x, y);
    extra += ")\"";
    extra[extra.rfind(',')] = ' ';
    append_text_element(
        out, x, y, extra.c_str(),
        fit_text(clean_text(spec.y_label), static_cast<std::size_t>(plot.height / char_px)));
  }
  if (!g.has_data) {
    append_text_element(out, plot.x + plot.width / 2, plot.y + plot.height / 2,
                        (" id=\"no-data\"" + text_style).c_str(), "no data");
  }
}

// The legend: a swatch and the name of each series, column by column.
void append_legend(std::string& out, const ChartSpec& spec, const ChartLayout& lay) {
  if (lay.legend_columns == 0) return;
  const ChartBox& box = lay.legend;
  const double char_px = kLabelFont * kCharWidth;
  out += "<g id=\"legend\" font-family=\"sans-serif\" font-size=\"12\" fill=\"";
  out += kTextColour;
  out += "\">\n<rect";
  append_box(out, box);
  out += " fill=\"#ffffff\" stroke=\"";
  out += kFrameColour;
  out += "\"/>\n";
  // The width was made for the longest name: rounding must not cut it.
  const std::size_t name_chars = static_cast<std::size_t>(
      std::max(0.0, (lay.legend_column_width - kLegendSwatch - 14) / char_px + 1e-9));
  const std::size_t count = spec.series_names.size();
  const std::size_t slots =
      std::min<std::size_t>(count, lay.legend_entries + (count > lay.legend_entries));
  for (std::size_t i = 0; i < slots; ++i) {
    const long double left =
        box.x + 6 + static_cast<double>(i / lay.legend_rows) * lay.legend_column_width;
    const long double middle =
        box.y + 4 + (static_cast<double>(i % lay.legend_rows) + 0.5) * kLegendRowHeight;
    if (i == lay.legend_entries) {
      const std::string more = "+" + std::to_string(count - i) + " more";
      append_text_element(out, left, middle + 4, "", fit_text(more, name_chars + 4));
      break;
    }
    append_swatch(out, spec, i, left, middle);
    append_text_element(out, left + kLegendSwatch + 6, middle + 4, "",
                        fit_text(clean_text(spec.series_names[i]), name_chars));
  }
  out += "</g>\n";
}

void append_svg(std::string& out, const ChartSpec& spec, const Geometry& g,
                const std::vector<ChartLines>& series) {
  const ChartLayout& lay = g.layout;
  const std::string title = clean_text(spec.title);
  append_head(out, lay, title);
  append_grid(out, g);
  // The series: one group each, one polyline per run and a path of dots.
  out +=
      "<g id=\"series\" fill=\"none\" stroke-width=\"1.5\" stroke-linejoin=\"round\" "
      "stroke-linecap=\"round\">\n";
  for (std::size_t s = 0; s < spec.series_names.size(); ++s) {
    append_series(out, spec, g, s, s < series.size() ? &series[s] : nullptr);
  }
  out += "</g>\n";
  append_axes(out, g);
  append_tick_labels(out, spec, g);
  append_axis_labels(out, spec, g);
  append_legend(out, spec, lay);

  const std::size_t title_chars =
      static_cast<std::size_t>(std::max(0.0, (lay.width - 20.0) / (kTitleFont * kCharWidth)));
  std::string title_style = " id=\"title\" font-family=\"sans-serif\" font-size=\"16\" fill=\"";
  title_style += kTextColour;
  title_style += "\" text-anchor=\"middle\"";
  append_text_element(out, lay.width / 2.0L, std::min(lay.title.height - 10, 26.0),
                      title_style.c_str(), fit_text(title, title_chars));
  out += "</svg>\n";
}

}  // namespace

// ---- public functions ----------------------------------------------------------

ChartLayout chart_layout(const ChartSpec& spec) {
  Axis x;
  return layout_of(spec, &x);
}

ChartTicks nice_ticks(double lo, double hi, int max_ticks) {
  return ticks_between(lo, hi, max_ticks);
}

std::vector<double> log_ticks(double lo, double hi, int max_ticks) {
  Axis axis;
  axis.log = true;
  axis.range = {std::log10(static_cast<long double>(lo)), std::log10(static_cast<long double>(hi))};
  log_axis_ticks(axis, max_ticks, false);
  return axis.ticks;
}

std::vector<std::string> tick_labels(const ChartTicks& ticks) {
  // The default text, where it is short, tells every tick apart and states it;
  // otherwise the shortest general form that does.
  constexpr std::size_t kLongest = static_cast<std::size_t>(kYLabelChars);
  std::vector<std::string> labels;
  for (const double value : ticks.values) labels.push_back(number_text(value));
  if (labels_fit(ticks, labels, kLongest)) return labels;
  for (int precision = 1; precision <= 17; ++precision) {
    for (std::size_t i = 0; i < labels.size(); ++i) {
      char text[kNumberTextSize];
      labels[i].assign(text, format_general(ticks.values[i], precision, text));
    }
    if (labels_fit(ticks, labels, kNumberTextSize)) break;
  }
  return labels;
}

void append_xml_text(std::string& out, std::string_view text) {
  append_escaped(out, clean_text(text));
}

std::string render_chart(const ChartSpec& spec, const std::vector<ChartLines>& series) {
  Geometry g;
  g.layout = layout_of(spec, &g.x);

  long double lo = INFINITY;
  long double hi = -INFINITY;
  for (std::size_t s = 0; s < std::min(series.size(), spec.series_names.size()); ++s) {
    for (const ChartRun& run : series[s]) {
      for (const ChartPoint& point : run) {
        if (!drawable(spec, point)) continue;
        const long double y = axis_units(spec.log_y, point.y);
        lo = std::min(lo, y);
        hi = std::max(hi, y);
      }
    }
  }
  g.has_data = lo <= hi;
  Range y{0, 1};
  if (g.has_data) {
    const Range data = widen(spec.log_y, lo, hi);
    const long double margin = (data.hi - data.lo) * kYMargin;
    y = {data.lo - margin, data.hi + margin};
  }
  g.y = make_axis(spec.log_y, y, std::clamp(static_cast<int>(g.layout.plot.height / 40), 2, 10),
                  false);

  std::string out;
  append_svg(out, spec, g, series);
  return out;
}

// ---- the streaming builder -----------------------------------------------------

ChartBuilder::ChartBuilder(ChartSpec spec)
    : spec_(std::move(spec)),
      layout_(chart_layout(spec_)),
      series_count_(spec_.series_names.size()),
      columns_(layout_.pixel_columns()) {
  x_lo_ = layout_.x_lo;
  x_hi_ = layout_.x_hi;
  x_scale_ = columns_ / (x_hi_ - x_lo_);
  cells_ = vector_or_die<Cell>(__FILE_NAME__, __LINE__,
                               static_cast<std::size_t>(columns_) * series_count_);
}

void ChartBuilder::mark_gap(Cell& cell) const {
  cell.has_gap = true;
  if (!cell.has_points) {
    cell.gap_before_first = true;
    return;
  }
  for (Kept* kept : {&cell.first, &cell.low, &cell.high, &cell.last}) {
    if (kept->gap_after == kNoGap) kept->gap_after = row_;
  }
}

void ChartBuilder::add_row(double x, const double* values) {
  ++row_;
  const long double at = spec_.log_x ? (x > 0 ? std::log10(static_cast<long double>(x)) : NAN) : x;
  if (!(at >= x_lo_ && at <= x_hi_)) {  // NaN fails both
    if (any_row_) {
      Cell* cells = &cells_[static_cast<std::size_t>(last_column_) * series_count_];
      for (std::size_t s = 0; s < series_count_; ++s) mark_gap(cells[s]);
    }
    return;
  }
  const long double position = (at - x_lo_) * x_scale_;
  const std::uint32_t column =
      position >= columns_ ? columns_ - 1 : static_cast<std::uint32_t>(position);
  last_column_ = column;
  any_row_ = true;
  Cell* cells = &cells_[static_cast<std::size_t>(column) * series_count_];
  for (std::size_t s = 0; s < series_count_; ++s) {
    const double value = values[s];
    Cell& cell = cells[s];
    if (!std::isfinite(value) || (spec_.log_y && !(value > 0))) {
      mark_gap(cell);
      continue;
    }
    const Kept kept{x, value, row_, kNoGap};
    if (!cell.has_points) {
      cell.first = cell.low = cell.high = cell.last = kept;
      cell.has_points = true;
      continue;
    }
    if (value < cell.low.y) cell.low = kept;
    if (value > cell.high.y) cell.high = kept;
    cell.last = kept;
  }
}

void ChartBuilder::append_column_points(const Cell& cell, ChartLines& lines, bool& open) const {
  if (!cell.has_points) {
    if (cell.has_gap) open = false;
    return;
  }
  std::array<Kept, 4> kept = {cell.first, cell.low, cell.high, cell.last};
  std::sort(kept.begin(), kept.end(), [](const Kept& a, const Kept& b) { return a.row < b.row; });
  const auto end = std::unique(kept.begin(), kept.end(),
                               [](const Kept& a, const Kept& b) { return a.row == b.row; });
  if (cell.gap_before_first) open = false;
  for (auto it = kept.begin(); it != end; ++it) {
    if (!open) {
      lines.emplace_back();
      open = true;
    }
    lines.back().push_back({it->x, it->y});
    const auto next = it + 1;
    if (it->gap_after != kNoGap && (next == end || it->gap_after < next->row)) open = false;
  }
}

std::vector<ChartLines> ChartBuilder::reduced_lines() const {
  std::vector<ChartLines> lines(series_count_);
  for (std::size_t s = 0; s < series_count_; ++s) {
    bool open = false;
    for (std::uint32_t column = 0; column < columns_; ++column) {
      append_column_points(cells_[static_cast<std::size_t>(column) * series_count_ + s], lines[s],
                           open);
    }
  }
  return lines;
}

}  // namespace kest
