// Checks of what a person sees in a chart: renders an SVG with headless Chromium
// and asks tests/picture/picture.py about the PNG. Tests skip these checks where
// Chromium (or xmllint) is not installed.
//
// The tests' build defines KEST_PICTURE_TOOL as the path of picture.py.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace kest_picture {

/// A rectangle of page pixels, ends excluded.
struct Box {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

/// What a chart document says about itself (picture.py layout).
struct SeriesInfo {
  std::string colour;
  long polylines = 0;
  long points = 0;
  std::string name;
};
struct Layout {
  int width = 0, height = 0;
  Box plot, legend, title;
  std::vector<SeriesInfo> series;
};

/// The words of `text` quoted for the shell.
inline std::string quote(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

/// Runs a shell command; its standard output, and whether it exited with 0.
inline bool run_command(const std::string& command, std::string& output) {
  output.clear();
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  char block[4096];
  std::size_t got;
  while ((got = std::fread(block, 1, sizeof block, pipe)) > 0) output.append(block, got);
  const int status = pclose(pipe);
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

inline bool have_program(const std::string& name) {
  std::string ignored;
  return run_command("command -v " + quote(name) + " >/dev/null 2>&1", ignored);
}
inline bool have_chromium() { return have_program("chromium") && have_program("python3"); }
inline bool have_xmllint() { return have_program("xmllint"); }

/// True when `path` is well-formed XML (xmllint --noout); the diagnostics in `errors`.
inline bool xml_well_formed(const std::string& path, std::string& errors) {
  return run_command("xmllint --noout " + quote(path) + " 2>&1", errors);
}

inline bool tool(const std::string& arguments, std::string& output) {
  return run_command("python3 " + quote(KEST_PICTURE_TOOL) + ' ' + arguments, output);
}

/// Renders `svg` into `png` in a window of width x height.
inline bool render(const std::string& svg, const std::string& png, int width, int height) {
  std::string output;
  return tool("render " + quote(svg) + ' ' + quote(png) + ' ' + std::to_string(width) + ' ' +
                  std::to_string(height) + " 2>&1",
              output);
}

inline bool read_layout(const std::string& svg, Layout& layout) {
  std::string output;
  if (!tool("layout " + quote(svg), output)) return false;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string kind;
    words >> kind;
    Box box;
    if (kind == "size") {
      words >> layout.width >> layout.height;
    } else if (kind == "series") {
      SeriesInfo info;
      int index;
      words >> index >> info.colour >> info.polylines >> info.points;
      std::getline(words >> std::ws, info.name);
      layout.series.push_back(info);
    } else if (words >> box.x0 >> box.y0 >> box.x1 >> box.y1) {
      box.x1 += box.x0;  // x y width height
      box.y1 += box.y0;
      if (kind == "plot") layout.plot = box;
      if (kind == "legend") layout.legend = box;
      if (kind == "title") layout.title = box;
    }
  }
  return layout.width > 0;
}

inline std::string box_words(const Box& box) {
  std::ostringstream words;
  words << box.x0 << ' ' << box.y0 << ' ' << box.x1 << ' ' << box.y1;
  return words.str();
}

/// Questions about one PNG, answered in one run of the tool (the PNG is decoded
/// once). Each ask_* returns the index of its answer.
class Questions {
 public:
  /// Pixels in `box` holding `colour` ("#rrggbb") at an opacity of `alpha` or more.
  std::size_t ask_colour(const std::string& colour, const Box& box, double alpha = 0.5) {
    return add("colour " + colour + ' ' + box_words(box) + ' ' + std::to_string(alpha));
  }
  /// Page columns in `box` that hold `colour`.
  std::size_t ask_columns(const std::string& colour, const Box& box, double alpha = 0.5) {
    return add("columns " + colour + ' ' + box_words(box) + ' ' + std::to_string(alpha));
  }
  /// Pixels in `box` of the text colour.
  std::size_t ask_text(const Box& box) { return add("text " + box_words(box)); }

  /// Answers every question about `png`; false when the tool failed.
  bool answer(const std::string& png) {
    std::string arguments = "query " + quote(png);
    for (const std::string& question : questions_) arguments += ' ' + quote(question);
    std::string output;
    if (!tool(arguments, output)) return false;
    std::istringstream lines(output);
    answers_.clear();
    for (std::string line; std::getline(lines, line);) answers_.push_back(line);
    return answers_.size() == questions_.size();
  }

  /// A pixel count (colour, text).
  long count(std::size_t index) const {
    std::istringstream words(answers_.at(index));
    std::string kind;
    long value = -1;
    words >> kind >> value;
    return value;
  }
  /// The columns of a columns question, expanded.
  std::vector<int> columns(std::size_t index) const {
    std::istringstream words(answers_.at(index));
    std::string item;
    words >> item;  // "columns"
    std::vector<int> result;
    while (words >> item) {
      const std::size_t dash = item.find('-');
      const int first = std::stoi(item.substr(0, dash));
      const int last = dash == std::string::npos ? first : std::stoi(item.substr(dash + 1));
      for (int c = first; c <= last; ++c) result.push_back(c);
    }
    return result;
  }

 private:
  std::size_t add(std::string question) {
    questions_.push_back(std::move(question));
    return questions_.size() - 1;
  }
  std::vector<std::string> questions_;
  std::vector<std::string> answers_;
};

/// Pixels that differ between two renderings beyond anti-aliasing; -1 on failure.
inline long mismatches(const std::string& a, const std::string& b) {
  std::string output;
  if (!tool("compare " + quote(a) + ' ' + quote(b), output)) return -1;
  std::istringstream words(output);
  std::string kind;
  long count = -1;
  words >> kind >> count;
  return count;
}

}  // namespace kest_picture
