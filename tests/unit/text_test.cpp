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
    const char* copy;
  };
  for (const Case& c : {Case{"abc", 10, 3, "abc"}, Case{"abc", 4, 3, "abc"},
                        Case{"abc", 3, 3, "ab"}, Case{"abc", 1, 3, ""}, Case{"", 5, 0, ""},
                        Case{nullptr, 5, 0, ""}, Case{"abc", 0, 3, nullptr}}) {
    char buffer[16];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(bounded_copy(buffer, c.source, c.size), c.result) << c.size;
    if (c.copy != nullptr) {
      EXPECT_STREQ(buffer, c.copy) << c.size;
    }
    EXPECT_EQ(buffer[c.size], 'X') << "wrote beyond the buffer, size " << c.size;
  }
}

TEST(SplitPath, CutsPathsIntoTheirParts) {
  struct Case {
    const char *path, *drive, *directory, *name, *extension;
  };
  for (const Case& c :
       {Case{"C:\\tools\\kest.exe", "C:", "\\tools\\", "kest", ".exe"},
        Case{"kest", "", "", "kest", ""}, Case{"./kest", "", "./", "kest", ""},
        Case{"data.tar.gz", "", "", "data.tar", ".gz"}, Case{".profile", "", "", "", ".profile"},
        Case{"/kest", "", "/", "kest", ""}, Case{"dir.d/kest", "", "dir.d/", "kest", ""},
        Case{"D:/a:b/c.d", "D:/a:", "b/", "c", ".d"}, Case{"out/", "", "out/", "", ""},
        Case{"", "", "", "", ""}, Case{nullptr, "", "", "", ""}}) {
    const char* shown = c.path == nullptr ? "(null)" : c.path;
    char drive[64] = "junk", directory[64] = "junk", name[64] = "junk", extension[64] = "junk";
    EXPECT_EQ(split_path(c.path, drive, sizeof drive, directory, sizeof directory, name,
                         sizeof name, extension, sizeof extension),
              kSplitPathOk)
        << shown;
    EXPECT_STREQ(drive, c.drive) << shown;
    EXPECT_STREQ(directory, c.directory) << shown;
    EXPECT_STREQ(name, c.name) << shown;
    EXPECT_STREQ(extension, c.extension) << shown;
  }
}

TEST(SplitPath, ReportsAPartThatDidNotFitAndFillsTheOthers) {
  std::string long_name(300, 'n');
  std::string path = "/tmp/" + long_name + ".dat";
  char directory[256], name[256], extension[256];
  EXPECT_EQ(split_path(path.c_str(), nullptr, 0, directory, sizeof directory, name, sizeof name,
                       extension, sizeof extension),
            kSplitPathTooLong);
  EXPECT_EQ(std::string(name), long_name.substr(0, 255));
  EXPECT_STREQ(directory, "/tmp/");
  EXPECT_STREQ(extension, ".dat");

  char drive[2];
  EXPECT_EQ(split_path("C:\\x", drive, sizeof drive, nullptr, 0, nullptr, 0, nullptr, 0),
            kSplitPathTooLong);
  EXPECT_STREQ(drive, "C");
}

}  // namespace
}  // namespace kest
