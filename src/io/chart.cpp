// Line charts as SVG: page layout, nice ticks, XML text, the M4 reduction and the
// document writer.
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

// Colour-blind-safe colours of Okabe and Ito, the most visible on white first.
constexpr std::array<const char*, 8> kPalette = {"#0072b2", "#d55e00", "#009e73", "#e69f00",
                                                 "#56b4e9", "#cc79a7", "#f0e442", "#000000"};
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

// The x range as drawn: finite and not empty.
struct Range {
  long double lo;
  long double hi;
};

Range widen_if_empty(long double lo, long double hi) {
  // A span below a billionth of the magnitude has no distinct ticks in double.
  const long double magnitude = std::max(std::fabs(lo), std::fabs(hi));
  if (hi - lo > magnitude * 1e-9L) return {lo, hi};
  const long double centre = lo / 2 + hi / 2;
  const long double half = magnitude > 0 ? magnitude * 0.1L : 1.0L;
  return {centre - half, centre + half};
}

Range x_range(const ChartSpec& spec) {
  if (!std::isfinite(spec.x_first) || !std::isfinite(spec.x_last) || spec.x_first > spec.x_last) {
    return {0, 1};
  }
  return widen_if_empty(spec.x_first, spec.x_last);
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
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
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

ChartTicks ticks_between(long double lo, long double hi, int max_ticks) {
  ChartTicks ticks;
  max_ticks = std::max(max_ticks, 2);
  const long double span = hi - lo;
  if (!(span > 0) || !std::isfinite(span)) {
    if (std::isfinite(lo) && std::fabs(lo) <= DBL_MAX) ticks.values.push_back(static_cast<double>(lo) + 0.0);
    return ticks;
  }
  // Start a little below the step that gives max_ticks intervals and walk up the
  // 1-2-5 ladder; ten times that step always leaves few enough ticks.
  int exponent = static_cast<int>(std::floor(std::log10(span / max_ticks))) - 1;
  for (int attempt = 0; attempt < 64; ++attempt, ++exponent) {
    const long double power = std::pow(10.0L, std::abs(exponent));
    for (const int multiple : {1, 2, 5}) {
      const long double step = exponent < 0 ? multiple / power : multiple * power;
      // A tick within a millionth of a step of an end counts as inside: 1 / 0.1
      // is a hair below 10 in binary.
      const long double first = std::ceil(lo / step - kTickSlack);
      const long double last = std::floor(hi / step + kTickSlack);
      if (last - first + 1 > max_ticks) continue;
      ticks.step = step;
      for (long double i = first; i <= last; ++i) {
        // multiple * i is an exact integer; dividing by an exact power of ten
        // rounds once, so 0.3 is the double nearest to 3/10.
        const long double value = exponent < 0 ? multiple * i / power : multiple * i * power;
        if (std::fabs(value) > DBL_MAX) continue;
        ticks.values.push_back(static_cast<double>(value) + 0.0);  // never -0
      }
      return ticks;
    }
  }
  return ticks;
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

// ---- layout ----------------------------------------------------------------------

struct Geometry {
  ChartLayout layout;
  Range x;
  Range y;
  bool has_data = false;

  long double x_pixel(long double x) const {
    return layout.plot.x + (x - this->x.lo) * (layout.plot.width / (this->x.hi - this->x.lo));
  }
  long double y_pixel(long double y) const {
    return layout.plot.y + (this->y.hi - y) * (layout.plot.height / (this->y.hi - this->y.lo));
  }
};

// Grid line positions sit on pixel centres so that one-pixel lines stay crisp.
long double crisp(long double position) { return std::floor(position) + 0.5L; }

// The ticks along an axis of `length` pixels whose labels take `char_width`
// pixels a character, with at least `gap` pixels between neighbours (0: none).
ChartTicks axis_ticks(const Range& range, double length, double spacing, double char_width,
                      std::vector<std::string>& labels) {
  int max_ticks = std::clamp(static_cast<int>(length / spacing), 2, 10);
  for (;; --max_ticks) {
    ChartTicks ticks = ticks_between(range.lo, range.hi, max_ticks);
    labels = tick_labels(ticks);
    if (max_ticks == 2 || char_width == 0 || ticks.values.size() < 2) return ticks;
    std::size_t widest = 0;
    for (const std::string& label : labels) widest = std::max(widest, label.size());
    const double pixels_between = static_cast<double>(length * ticks.step / (range.hi - range.lo));
    if (static_cast<double>(widest) * char_width + 10 <= pixels_between) return ticks;
  }
}

void append_svg(std::string& out, const ChartSpec& spec, const Geometry& g,
                const std::vector<ChartLines>& series) {
  const ChartLayout& lay = g.layout;
  const ChartBox& plot = lay.plot;
  const std::string title = clean_text(spec.title);
  const long double plot_right = plot.x + plot.width;
  const long double plot_bottom = plot.y + plot.height;

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
  append_box(out, plot);
  out += " fill=\"#ffffff\"/>\n";

  // Ticks and grid.
  std::vector<std::string> x_labels;
  std::vector<std::string> y_labels;
  const double label_char = kLabelFont * kCharWidth;
  const ChartTicks x_ticks = axis_ticks(g.x, plot.width, 80, label_char, x_labels);
  const ChartTicks y_ticks = axis_ticks(g.y, plot.height, 40, 0, y_labels);

  out += "<g id=\"grid\" stroke=\"";
  out += kGridColour;
  out += "\" stroke-width=\"1\">\n";
  for (const double tick : x_ticks.values) {
    const long double x = crisp(g.x_pixel(tick));
    if (x <= plot.x + 0.5L || x >= plot_right) continue;
    out += "<line";
    append_attribute(out, "x1", x);
    append_attribute(out, "y1", plot.y);
    append_attribute(out, "x2", x);
    append_attribute(out, "y2", plot_bottom);
    out += "/>\n";
  }
  for (const double tick : y_ticks.values) {
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

  // The lines: one group per series, one polyline per run.
  out += "<g id=\"series\" fill=\"none\" stroke-width=\"1.5\" stroke-linejoin=\"round\" "
         "stroke-linecap=\"round\">\n";
  for (std::size_t s = 0; s < spec.series_names.size(); ++s) {
    out += "<g stroke=\"";
    out += kPalette[s % kPalette.size()];
    out += "\"><title>";
    append_escaped(out, clean_text(spec.series_names[s]));
    out += "</title>\n";
    if (s < series.size()) {
      for (const ChartRun& run : series[s]) {
        const auto drawable = [](const ChartPoint& p) { return std::isfinite(p.x) && std::isfinite(p.y); };
        const auto count = std::count_if(run.begin(), run.end(), drawable);
        if (count == 0) continue;
        // A lone value is the same point twice, which round caps draw as a dot.
        out += count == 1 ? "<polyline stroke-width=\"4\" points=\"" : "<polyline points=\"";
        const char* separator = "";
        for (const ChartPoint& point : run) {
          if (!drawable(point)) continue;
          for (int copies = count == 1 ? 2 : 1; copies > 0; --copies) {
            out += separator;
            separator = " ";
            append_coordinate(out, g.x_pixel(point.x));
            out += ',';
            append_coordinate(out, g.y_pixel(point.y));
          }
        }
        out += "\"/>\n";
      }
    }
    out += "</g>\n";
  }
  out += "</g>\n";

  // Axes with their tick marks.
  out += "<path id=\"axes\" fill=\"none\" stroke=\"";
  out += kTextColour;
  out += "\" stroke-width=\"1\" d=\"M";
  append_coordinate(out, plot.x - 0.5L);
  out += ',';
  append_coordinate(out, plot.y);
  out += 'V';
  append_coordinate(out, plot_bottom + 0.5L);
  out += 'H';
  append_coordinate(out, plot_right);
  for (const double tick : x_ticks.values) {
    out += 'M';
    append_coordinate(out, crisp(g.x_pixel(tick)));
    out += ',';
    append_coordinate(out, plot_bottom + 0.5L);
    out += 'v';
    append_coordinate(out, kTickLength);
  }
  for (const double tick : y_ticks.values) {
    out += 'M';
    append_coordinate(out, plot.x - 0.5L);
    out += ',';
    append_coordinate(out, crisp(g.y_pixel(tick)));
    out += 'h';
    append_coordinate(out, -kTickLength);
  }
  out += "\"/>\n";

  // Tick labels; y labels wider than their margin get a smaller font.
  std::size_t widest_y = 1;
  for (const std::string& label : y_labels) widest_y = std::max(widest_y, label.size());
  const double y_room = plot.x - kTickLength - 6;
  const double y_font = std::clamp(y_room / (static_cast<double>(widest_y) * kCharWidth), 8.0, kLabelFont);
  out += "<g id=\"tick-labels\" font-family=\"sans-serif\" font-size=\"12\" fill=\"";
  out += kTextColour;
  out += "\">\n";
  for (std::size_t i = 0; i < x_ticks.values.size(); ++i) {
    append_text_element(out, g.x_pixel(x_ticks.values[i]), plot_bottom + kTickLength + 14,
                        " text-anchor=\"middle\"", x_labels[i]);
  }
  std::string y_extra = " text-anchor=\"end\"";
  if (y_font < kLabelFont) {
    y_extra += " font-size=\"";
    append_coordinate(y_extra, y_font);
    y_extra += '"';
  }
  for (std::size_t i = 0; i < y_ticks.values.size(); ++i) {
    append_text_element(out, plot.x - kTickLength - 4, g.y_pixel(y_ticks.values[i]) + 4,
                        y_extra.c_str(), y_labels[i]);
  }
  out += "</g>\n";

  const std::string text_style = std::string(" font-family=\"sans-serif\" font-size=\"12\" fill=\"") +
                                 kTextColour + "\" text-anchor=\"middle\"";
  const std::size_t plot_chars = static_cast<std::size_t>(plot.width / (kLabelFont * kCharWidth));
  if (lay.height - plot_bottom >= kLabelFont * 3) {  // room under the tick labels
    append_text_element(out, plot.x + plot.width / 2, lay.height - 8.0L,
                        (" id=\"x-label\"" + text_style).c_str(),
                        fit_text(clean_text(spec.x_label), plot_chars));
  }
  if (!g.has_data) {
    append_text_element(out, plot.x + plot.width / 2, plot.y + plot.height / 2,
                        (" id=\"no-data\"" + text_style).c_str(), "no data");
  }

  // Legend: a swatch and the name of each series, column by column.
  if (lay.legend_columns > 0) {
    const ChartBox& box = lay.legend;
    out += "<g id=\"legend\" font-family=\"sans-serif\" font-size=\"12\" fill=\"";
    out += kTextColour;
    out += "\">\n<rect";
    append_box(out, box);
    out += " fill=\"#ffffff\" stroke=\"";
    out += kFrameColour;
    out += "\"/>\n";
    const std::size_t name_chars = static_cast<std::size_t>(
        std::max(0.0, (lay.legend_column_width - kLegendSwatch - 14) / (kLabelFont * kCharWidth)));
    const std::size_t count = spec.series_names.size();
    const std::size_t slots = std::min<std::size_t>(count, lay.legend_entries + (count > lay.legend_entries));
    for (std::size_t i = 0; i < slots; ++i) {
      const long double left = box.x + 6 + static_cast<double>(i / lay.legend_rows) * lay.legend_column_width;
      const long double middle = box.y + 4 + (static_cast<double>(i % lay.legend_rows) + 0.5) * kLegendRowHeight;
      if (i == lay.legend_entries) {
        const std::string more = "+" + std::to_string(count - i) + " more";
        append_text_element(out, left, middle + 4, "", fit_text(more, name_chars + 4));
        break;
      }
      out += "<line";
      append_attribute(out, "x1", left);
      append_attribute(out, "y1", middle);
      append_attribute(out, "x2", left + kLegendSwatch);
      append_attribute(out, "y2", middle);
      out += " stroke=\"";
      out += kPalette[i % kPalette.size()];
      out += "\" stroke-width=\"3\"/>\n";
      append_text_element(out, left + kLegendSwatch + 6, middle + 4, "",
                          fit_text(clean_text(spec.series_names[i]), name_chars));
    }
    out += "</g>\n";
  }

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
  ChartLayout lay;
  lay.width = clamp_size(spec.width);
  lay.height = clamp_size(spec.height);
  const double width = lay.width;
  const double height = lay.height;
  const double char_px = kLabelFont * kCharWidth;

  const double top = std::min(38.0, std::floor(height * 0.2));
  const double bottom = std::min(44.0, std::floor(height * 0.25));
  const double left =
      std::min(std::ceil(kYLabelChars * char_px + kTickLength + 8), std::floor(width * 0.2));

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
    lay.legend_column_width = std::min(room - 12, text_width(longest, kLabelFont) + kLegendSwatch + 14);
    lay.legend_column_width = std::max(lay.legend_column_width, 1.0);
    lay.legend_rows = static_cast<std::uint32_t>(std::max(1.0, std::floor((plot_height - 8) / kLegendRowHeight)));
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
  return lay;
}

ChartTicks nice_ticks(double lo, double hi, int max_ticks) {
  return ticks_between(lo, hi, max_ticks);
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
  g.layout = chart_layout(spec);
  g.x = x_range(spec);

  long double lo = INFINITY;
  long double hi = -INFINITY;
  for (std::size_t s = 0; s < std::min(series.size(), spec.series_names.size()); ++s) {
    for (const ChartRun& run : series[s]) {
      for (const ChartPoint& point : run) {
        if (!std::isfinite(point.x) || !std::isfinite(point.y)) continue;
        lo = std::min<long double>(lo, point.y);
        hi = std::max<long double>(hi, point.y);
      }
    }
  }
  g.has_data = lo <= hi;
  if (g.has_data) {
    const Range data = widen_if_empty(lo, hi);
    const long double margin = (data.hi - data.lo) * kYMargin;
    g.y = {data.lo - margin, data.hi + margin};
  } else {
    g.y = {0, 1};
  }

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
  const Range x = x_range(spec_);
  x_lo_ = x.lo;
  x_hi_ = x.hi;
  x_scale_ = columns_ / (x.hi - x.lo);
  cells_ = vector_or_die<Cell>(__FILE_NAME__, __LINE__, static_cast<std::size_t>(columns_) * series_count_);
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
  if (!(x >= x_lo_ && x <= x_hi_)) {  // NaN fails both
    ++rows_outside_;
    if (any_row_) {
      Cell* cells = &cells_[static_cast<std::size_t>(last_column_) * series_count_];
      for (std::size_t s = 0; s < series_count_; ++s) mark_gap(cells[s]);
    }
    return;
  }
  const long double position = (x - x_lo_) * x_scale_;
  const std::uint32_t column =
      position >= columns_ ? columns_ - 1 : static_cast<std::uint32_t>(position);
  last_column_ = column;
  any_row_ = true;
  Cell* cells = &cells_[static_cast<std::size_t>(column) * series_count_];
  for (std::size_t s = 0; s < series_count_; ++s) {
    const double value = values[s];
    Cell& cell = cells[s];
    if (!std::isfinite(value)) {
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
      append_column_points(cells_[static_cast<std::size_t>(column) * series_count_ + s], lines[s], open);
    }
  }
  return lines;
}

}  // namespace kest
