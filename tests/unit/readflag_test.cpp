// Selection strings and files: indices below one, steps below one, printing,
// inverting and counting. (The item grammar against the library's own scanner is
// the selection fuzz target's check, replayed by the fuzz replay test.)
#include "select/readflag.h"

#include <gtest/gtest.h>

#include "base/settings.h"
#include "io/reader.h"
#include "support.h"

namespace kest {
namespace {

constexpr std::uint32_t kN = 23;
using Indices = std::vector<std::uint32_t>;

// The 1-based indices selected by `strings` (and the file, when given).
Indices selected(const std::forward_list<std::string>& strings,
                 const std::optional<std::string>& file = std::nullopt) {
  SelectionFlags flags(kN + 102, 0);
  parse_selection(file, flags.data(), false, strings, kN);
  Indices indices;
  for (std::uint32_t i = 0; i < flags.size(); ++i) {
    if (flags[i] != 0) indices.push_back(i + 1);
  }
  return indices;
}

TEST(Selection, StringsAreCommaSeparatedItems) {
  EXPECT_EQ(selected({"1,3,5-7,10:5:-1", "x,,2,"}), (Indices{1, 2, 3, 5, 6, 7, 10, 15, 20}));
}

TEST(Selection, ReportsIndicesAndStepsBelowOne) {
  reset_settings();
  mutable_settings().debug = true;
  testing::Ending ending = testing::run_ending([] {
    EXPECT_EQ(selected({"-3,0,2", "10:5:-1"}), (Indices{2, 10, 15, 20}));
  });
  EXPECT_TRUE(testing::contains(ending.err, "invalid index=-3\ninvalid index=0\n")) << ending.err;
  EXPECT_TRUE(testing::contains(ending.err, ":: debug: first:10 step:5last:-1\n")) << ending.err;
  for (const char* text : {"1:0:5", "4, 1 : -2 : 5"}) {
    reset_settings();
    ending = testing::run_ending([&] { selected({text}); });
    EXPECT_EQ(ending.kind, testing::Ending::kFatal);
    EXPECT_TRUE(testing::contains(ending.message, "Error: step can't be less than 1: "));
  }
}

std::string printed(const SelectionFlags& flags, std::uint32_t n) {
  testing::Capture out(1);
  print_selection(stdout, flags.data(), n);
  return out.text();
}

// Only the first n flags are inverted; the runs printed are those of the flags
// that differ from the inverse setting.
TEST(Selection, InvertsPrintsAndCounts) {
  reset_settings();
  SelectionFlags flags(kN + 102, 0);
  parse_selection(std::nullopt, flags.data(), true, {"1,3,5-7,10:5:-1,22-23"}, kN);
  EXPECT_EQ(count_unselected(flags.data(), kN + 102), 10u + 102);
  EXPECT_EQ(printed(flags, kN), "2 4 8-9 11-14 16-19 21 ");
  mutable_settings().inverse = true;
  EXPECT_EQ(printed(flags, kN), "1 3 5-7 10 15 20 22-23 ");
  EXPECT_EQ(printed(SelectionFlags(5, 1), 5), "");
  reset_settings();
}

TEST(Selection, AddSelectionStringChecksTheFirstCharacter) {
  std::forward_list<std::string> list;
  add_selection_string(list, nullptr);
  for (const char* good : {"1,3", "-2", ",4", " 5", "9x", ""}) add_selection_string(list, good);
  EXPECT_EQ(std::distance(list.begin(), list.end()), 6);
  for (const std::string bad : {"a1", ":3", "+4"}) {
    EXPECT_EQ(testing::fatal_message([&] { add_selection_string(list, bad.c_str()); }),
              "invalid characters in option argument for option -e: " + bad + ".\n");
  }
}

// A selection file is read with a stream of its own: the data file's skipped
// rows and kept comments are untouched.
using SelectionFile = testing::TempDirTest;

TEST_F(SelectionFile, LinesAreSelectionStrings) {
  reset_settings();
  reset_pending_comments();
  write("sel", "3\n# columns to use\n2,4-6\n\nnames only\n10:5:-1\r\n1 3 5\n");
  mutable_settings().keep_comments = true;
  mutable_settings().skip_rows = 1;
  EXPECT_EQ(selected({"8"}, path("sel")), (Indices{1, 2, 4, 5, 6, 8, 10, 15, 20}));
  EXPECT_TRUE(pending_comments().empty());
  EXPECT_EQ(testing::fatal_message([&] { selected({}, path("missing")); }),
            "Could not open kest file: " + path("missing"));
  reset_settings();
}

// The windowed row selection flags exactly the rows parse_selection flags, on
// both sides of every window edge, whatever order the rows are asked in.
TEST(Selection, RowSelectionMatchesTheFlagsWindowByWindow) {
  reset_settings();
  const std::vector<std::forward_list<std::string>> selections = {
      {},
      {"1"},
      {"65536,65537", "131072-131073"},
      {"3:65535:-1", "70000-65000"},
      {"5:7:200000", "65530-65540,1:1:2", "-3"},
      {"1:1:-1"},
      {"140000-999999"}};
  for (const std::uint32_t n : {0u, 1u, 65535u, 65536u, 65537u, 140001u}) {
    for (const auto& strings : selections) {
      for (const bool invert : {false, true}) {
        SelectionFlags flags(n + 1, 0);
        testing::Capture err(2);  // "invalid index=-3"
        parse_selection(std::nullopt, flags.data(), invert, strings, n);
        RowSelection rows(std::nullopt, strings, invert, n);
        err.text();
        std::uint32_t set = 0;
        for (std::uint32_t i = 0; i <= n; ++i) {
          ASSERT_EQ(rows.flagged(i), flags[i] != 0) << n << " " << strings.front() << " " << i;
          set += flags[i];
        }
        EXPECT_EQ(rows.count(true), set);
        EXPECT_EQ(rows.flagged(0), flags[0] != 0);  // back to the start
        EXPECT_EQ(rows.flagged(n / 2), flags[n / 2] != 0);
      }
    }
  }
  std::FILE* out = std::tmpfile();
  RowSelection rows(std::nullopt, {"2-3,65536:2:65540"}, false, 70000);
  rows.print(out, false);
  rows.print(out, true);
  std::string text(static_cast<std::size_t>(std::ftell(out)), '\0');
  std::rewind(out);
  EXPECT_EQ(std::fread(text.data(), 1, text.size(), out), text.size());
  std::fclose(out);
  EXPECT_EQ(text, "2-3 65536 65538 65540 1 4-65535 65537 65539 65541-70000 ");
}

}  // namespace
}  // namespace kest
