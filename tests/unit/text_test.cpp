// Bounded copies.
#include "base/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace kest {
namespace {

TEST(BoundedCopy, CopiesCutsAndReportsTheSourceLength) {
  struct Case {
    const char* source;
    std::size_t size, result;
    const char* copy;  // nullptr: nothing written
  } cases[] = {{"abc", 10, 3, "abc"}, {"abc", 4, 3, "abc"}, {"abc", 3, 3, "ab"},
               {"abc", 1, 3, ""},     {"", 5, 0, ""},       {nullptr, 5, 0, ""},
               {"abc", 0, 3, nullptr}};
  for (const Case& c : cases) {
    char buffer[16];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(bounded_copy(buffer, c.source, c.size), c.result) << c.size;
    EXPECT_TRUE(c.copy == nullptr || std::string(buffer) == c.copy) << c.size;
    EXPECT_EQ(buffer[c.size], 'X') << "wrote beyond the buffer, size " << c.size;
  }
}

// Line feeds are counted wherever they stand, next to bytes one bit away.
TEST(Text, LineFeedsAreCountedAtEveryPlace) {
  std::mt19937 rng(10);
  const char neighbours[] = {'\n', '\x0b', '\x8a', '\x0a' ^ 0x7f, '\0', 'x'};
  for (int round = 0; round < 2000; ++round) {
    std::string text(rng() % 40, 'x');
    std::size_t feeds = 0;
    for (char& c : text) {
      c = neighbours[rng() % std::size(neighbours)];
      feeds += c == '\n';
    }
    ASSERT_EQ(count_line_feeds(text.data(), text.data() + text.size()), feeds) << round;
  }
}

}  // namespace
}  // namespace kest
