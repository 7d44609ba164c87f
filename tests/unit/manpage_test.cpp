// The manual page and the bash completion name every long option of the option
// table, aliases included, and no long option that the program does not have.
#include <cctype>
#include <set>
#include <sstream>
#include <string_view>

#include "driver/options.h"
#include "support.h"

namespace kest {
namespace {

std::string source_file(const std::string& relative) {
  const std::string text = testing::slurp(std::string(KEST_SOURCE_DIR) + "/" + relative);
  EXPECT_FALSE(text.empty()) << "cannot read " << relative;
  return text;
}

// Both ways: every table name is in `found`, and every name in `found` is one the
// parser accepts (a table name or the prefix of exactly one).
void expect_same_options(const std::set<std::string>& found, const std::string& where) {
  const std::vector<std::string_view> table = long_option_names();
  for (std::string_view name : table) {
    EXPECT_TRUE(found.count(std::string(name))) << where << " lacks --" << name;
  }
  for (const std::string& name : found) {
    std::size_t exact = 0, prefix_of = 0;
    for (std::string_view option : table) {
      exact += option == name;
      prefix_of += option.starts_with(name);
    }
    EXPECT_TRUE(exact > 0 || prefix_of == 1) << where << " names --" << name << ", no option";
  }
}

// Every "--name" of the page as a reader sees it: \- is a hyphen and the font
// changes \fB, \fI, \fP are dropped.
TEST(ManPage, DocumentsEveryLongOption) {
  const std::string roff = source_file("docs/kest.1");
  std::string text;
  for (std::size_t i = 0; i < roff.size(); ++i) {
    if (roff.compare(i, 2, "\\-") == 0) {
      text.push_back('-');
      ++i;
    } else if (roff.compare(i, 2, "\\f") == 0) {
      i += 2;
    } else {
      text.push_back(roff[i]);
    }
  }
  auto is_name_char = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
  };
  std::set<std::string> names;
  for (std::size_t at = text.find("--"); at != std::string::npos; at = text.find("--", at + 2)) {
    if (at > 0 && is_name_char(text[at - 1])) continue;
    std::size_t end = at + 2;
    while (end < text.size() && is_name_char(text[end])) ++end;
    if (end > at + 2) names.insert(text.substr(at + 2, end - at - 2));
  }
  expect_same_options(names, "docs/kest.1");
}

// The names of the bash arrays of long options.
TEST(BashCompletion, OffersEveryLongOption) {
  const std::string script = source_file("completions/kest.bash");
  std::set<std::string> names;
  for (const std::string array :
       {"_kest_long_plain", "_kest_long_required", "_kest_long_optional"}) {
    const std::size_t open = script.find("\n" + array + "=(");
    ASSERT_NE(open, std::string::npos) << array;
    const std::size_t from = open + array.size() + 3;
    std::istringstream words(script.substr(from, script.find(')', open) - from));
    for (std::string word; words >> word;) names.insert(word);
  }
  expect_same_options(names, "completions/kest.bash");
}

}  // namespace
}  // namespace kest
