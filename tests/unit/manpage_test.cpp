// The manual page and the bash completion name every long option of the option
// table, aliases included, and no long option that the program does not have.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "driver/options.h"

namespace kest {
namespace {

std::string read_source_file(const std::string& relative) {
  std::ifstream in(std::string(KEST_SOURCE_DIR) + "/" + relative);
  EXPECT_TRUE(in) << "cannot read " << relative;
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool is_name_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_';
}

// The text of a roff page as a reader sees it, as far as option names go:
// comment lines dropped, \- as a hyphen, font changes and the zero-width
// escapes \& and \% removed.
std::string roff_to_text(const std::string& roff) {
  std::string text;
  std::istringstream lines(roff);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind(".\\\"", 0) == 0 || line.rfind("'\\\"", 0) == 0) continue;
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (line[i] != '\\' || i + 1 == line.size()) {
        text.push_back(line[i]);
        continue;
      }
      const char escape = line[++i];
      if (escape == '-') {
        text.push_back('-');
      } else if (escape == 'f') {  // \fB, \f(CW, \f[BI]
        if (i + 1 < line.size() && line[i + 1] == '(') {
          i += 3;
        } else if (i + 1 < line.size() && line[i + 1] == '[') {
          i = std::min(line.find(']', i), line.size());
        } else {
          ++i;
        }
      } else if (escape != '&' && escape != '%') {
        text.push_back('\\');
        text.push_back(escape);
      }
    }
    text.push_back('\n');
  }
  return text;
}

// Every word written as "--name" in the text.
std::set<std::string> long_options_in(const std::string& text) {
  std::set<std::string> names;
  for (std::size_t at = text.find("--"); at != std::string::npos; at = text.find("--", at + 2)) {
    if (at > 0 && is_name_char(text[at - 1])) continue;
    std::size_t end = at + 2;
    while (end < text.size() && is_name_char(text[end])) ++end;
    if (end > at + 2) names.insert(text.substr(at + 2, end - at - 2));
  }
  return names;
}

// The bare names in the bash arrays `array=( ... )` of the completion.
std::set<std::string> names_in_arrays(const std::string& script,
                                      const std::vector<std::string>& arrays) {
  std::set<std::string> names;
  for (const std::string& array : arrays) {
    const std::size_t open = script.find("\n" + array + "=(");
    EXPECT_NE(open, std::string::npos) << array;
    if (open == std::string::npos) continue;
    const std::size_t close = script.find(')', open);
    std::istringstream words(script.substr(open + array.size() + 3, close - open - array.size() - 3));
    for (std::string word; words >> word;) names.insert(word);
  }
  return names;
}

// A name the parser accepts: a table name or the prefix of exactly one.
bool accepted(const std::string& name, const std::vector<std::string_view>& table) {
  std::size_t prefix_of = 0;
  for (std::string_view option : table) {
    if (option == name) return true;
    if (option.substr(0, name.size()) == name) ++prefix_of;
  }
  return prefix_of == 1;
}

// Both ways: every table name is in `found`, and every name in `found` is one
// the parser accepts.
void expect_same_options(const std::set<std::string>& found, const std::string& where) {
  const std::vector<std::string_view> table = long_option_names();
  for (std::string_view name : table) {
    EXPECT_TRUE(found.count(std::string(name))) << where << " lacks --" << name;
  }
  for (const std::string& name : found) {
    EXPECT_TRUE(accepted(name, table)) << where << " names --" << name << ", which is no option";
  }
}

TEST(ManPage, RoffTextKeepsOptionNamesWhole) {
  struct Case {
    std::string roff;
    std::set<std::string> names;
  };
  const Case cases[] = {
      {"\\fB\\-\\-sum\\-vertical\\fP, \\fB\\-\\-sum_vertical\\fP\n", {"sum-vertical", "sum_vertical"}},
      {".BR \\-\\-c\\-output \", \" \\-\\-output\\-c\n", {"c-output", "output-c"}},
      {"\\fB\\-\\-skip\\-rows=\\fP\\fIn\\fP and \\f(CW\\-\\-more\\fR\n", {"skip-rows", "more"}},
      {"\\-\\-\\&eval\\%\\-prolog\n", {"eval-prolog"}},
      {".\\\" \\-\\-commented\nan argument \\fB\\-\\-\\fP ends; a\\-\\-b\n", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(long_options_in(roff_to_text(c.roff)), c.names) << c.roff;
  }
}

TEST(ManPage, DocumentsEveryLongOption) {
  expect_same_options(long_options_in(roff_to_text(read_source_file("docs/kest.1"))),
                      "docs/kest.1");
}

TEST(BashCompletion, OffersEveryLongOption) {
  expect_same_options(
      names_in_arrays(read_source_file("completions/kest.bash"),
                      {"_kest_long_plain", "_kest_long_required", "_kest_long_optional"}),
      "completions/kest.bash");
}

}  // namespace
}  // namespace kest
