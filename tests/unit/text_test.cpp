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

TEST(SplitPath, CutsPathsIntoTheirParts) {
  struct Case {
    const char *path, *drive, *directory, *name, *extension;
  } cases[] = {
      {"C:\\tools\\kest.exe", "C:", "\\tools\\", "kest", ".exe"}, {"kest", "", "", "kest", ""},
      {"data.tar.gz", "", "", "data.tar", ".gz"}, {".profile", "", "", "", ".profile"},
      {"/kest", "", "/", "kest", ""}, {"dir.d/kest", "", "dir.d/", "kest", ""},
      {"D:/a:b/c.d", "D:/a:", "b/", "c", ".d"}, {"out/", "", "out/", "", ""},
      {"", "", "", "", ""}, {nullptr, "", "", "", ""}};
  for (const Case& c : cases) {
    const char* shown = c.path == nullptr ? "(null)" : c.path;
    char drive[64] = "junk", directory[64] = "junk", name[64] = "junk", extension[64] = "junk";
    EXPECT_EQ(split_path(c.path, drive, sizeof drive, directory, sizeof directory, name,
                         sizeof name, extension, sizeof extension),
              kSplitPathOk)
        << shown;
    EXPECT_EQ(std::string(drive) + "|" + directory + "|" + name + "|" + extension,
              std::string(c.drive) + "|" + c.directory + "|" + c.name + "|" + c.extension);
  }
}

TEST(SplitPath, ReportsAPartThatDidNotFitAndFillsTheOthers) {
  const std::string long_name(300, 'n');
  const std::string path = "/tmp/" + long_name + ".dat";
  char directory[256], name[256], extension[256], drive[2];
  EXPECT_EQ(split_path(path.c_str(), nullptr, 0, directory, sizeof directory, name, sizeof name,
                       extension, sizeof extension),
            kSplitPathTooLong);
  EXPECT_EQ(std::string(directory) + "|" + name + "|" + extension,
            "/tmp/|" + long_name.substr(0, 255) + "|.dat");
  EXPECT_EQ(split_path("C:\\x", drive, sizeof drive, nullptr, 0, nullptr, 0, nullptr, 0),
            kSplitPathTooLong);
  EXPECT_STREQ(drive, "C");
}

}  // namespace
}  // namespace kest
