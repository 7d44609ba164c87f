// Bounded copies and the path splitter.
#include "base/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kest {
namespace {

TEST(BoundedCopy, CopiesCutsAndReportsTheSourceLength) {
  struct Case {
    const char* source;
    std::size_t size, result;
    const char* copy;  // nullptr: nothing written
  } cases[] = {{"abc", 10, 3, "abc"}, {"abc", 4, 3, "abc"}, {"abc", 3, 3, "ab"}, {"abc", 1, 3, ""},
               {"", 5, 0, ""},        {nullptr, 5, 0, ""},  {"abc", 0, 3, nullptr}};
  for (const Case& c : cases) {
    char buffer[16];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(bounded_copy(buffer, c.source, c.size), c.result) << c.size;
    EXPECT_TRUE(c.copy == nullptr || std::string(buffer) == c.copy) << c.size;
    EXPECT_EQ(buffer[c.size], 'X') << "wrote beyond the buffer, size " << c.size;
  }
}

// Drive, directory, name and extension; a part too long for its buffer is cut
// and reported while the others are filled.
TEST(SplitPath, CutsPathsIntoTheirParts) {
  const std::string long_name(300, 'n');
  const std::string long_path = "/tmp/" + long_name + ".dat";
  struct Case {
    const char* path;
    std::size_t name_size;
    int result;
    std::string parts;
  } cases[] = {
      {"C:\\tools\\kest.exe", 64, kSplitPathOk, "C:|\\tools\\|kest|.exe"},
      {"kest", 64, kSplitPathOk, "||kest|"},
      {"data.tar.gz", 64, kSplitPathOk, "||data.tar|.gz"},
      {".profile", 64, kSplitPathOk, "|||.profile"},
      {"dir.d/kest", 64, kSplitPathOk, "|dir.d/|kest|"},
      {"D:/a:b/c.d", 64, kSplitPathOk, "D:/a:|b/|c|.d"},
      {"out/", 64, kSplitPathOk, "|out/||"},
      {nullptr, 64, kSplitPathOk, "|||"},
      {long_path.c_str(), 256, kSplitPathTooLong, "|/tmp/|" + long_name.substr(0, 255) + "|.dat"},
  };
  for (const Case& c : cases) {
    char drive[64] = "junk", directory[64] = "junk", name[256] = "junk", extension[64] = "junk";
    EXPECT_EQ(split_path(c.path, drive, sizeof drive, directory, sizeof directory, name,
                         c.name_size, extension, sizeof extension),
              c.result);
    EXPECT_EQ(std::string(drive) + "|" + directory + "|" + name + "|" + extension, c.parts);
  }
  char drive[2];
  EXPECT_EQ(split_path("C:\\x", drive, sizeof drive, nullptr, 0, nullptr, 0, nullptr, 0),
            kSplitPathTooLong);
  EXPECT_STREQ(drive, "C");
}

}  // namespace
}  // namespace kest
