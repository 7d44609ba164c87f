// Argument files: "@file"/"$file" expansion, dropped "#" arguments, long lines
// and files that name each other.
#include "driver/argfiles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "base/settings.h"
#include "base/diagnostics.h"

namespace kest {
namespace {

class ArgFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_settings();
    std::string pattern = ::testing::TempDir() + "kest_argfiles_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern + "/";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Writes a file in the scratch directory and gives its path.
  std::string file(const std::string& name, const std::string& text) {
    std::ofstream(dir_ + name, std::ios::binary) << text;
    return dir_ + name;
  }

  static std::optional<std::vector<std::string>> expand(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return expand_arguments(static_cast<int>(args.size()), argv.data());
  }

  std::string dir_;
};

using Args = std::vector<std::string>;

// "f1", "f2", ...
std::string numbered(const char* prefix, int i) {
  std::string name(prefix);
  name += std::to_string(i);
  return name;
}

TEST_F(ArgFiles, ArgumentsWithoutFilesAreLeftAlone) {
  EXPECT_FALSE(expand({"kest", "-k", "in", "out"}));
  EXPECT_FALSE(expand({"kest", "@" + dir_ + "missing", "$" + dir_ + "missing"}));
  EXPECT_FALSE(expand({"kest", "", "a#b"}));
}

TEST_F(ArgFiles, HashArgumentsAreDroppedEverywhere) {
  EXPECT_EQ(expand({"kest", "#note", "-k", "#"}), (Args{"kest", "-k"}));
  EXPECT_EQ(expand({"#kest"}), Args{});
  // An unopenable file passes through while the count still changes.
  const std::string missing = "@" + dir_ + "missing";
  EXPECT_EQ(expand({"kest", "#x", missing}), (Args{"kest", missing}));
}

TEST_F(ArgFiles, FileLinesBecomeArguments) {
  std::string args = file("args", "-k\n-e\n1, 3\n\n#comment\r\nwin\r\n$" + dir_ + "more\nlast");
  file("more", "in\n@" + dir_ + "missing\n");
  const std::string missing = "@" + dir_ + "missing";
  EXPECT_EQ(expand({"kest", "@" + args, "tail"}),
            (Args{"kest", "-k", "-e", "1, 3", "", "win\r", "in", missing, "last", "tail"}));
  EXPECT_EQ(expand({"$" + args}), (Args{"-k", "-e", "1, 3", "", "win\r", "in", missing, "last"}));
  // Same count, but a file was expanded.
  std::string one = file("one", "x\n");
  EXPECT_EQ(expand({"kest", "@" + one}), (Args{"kest", "x"}));
  std::string empty = file("empty", "");
  EXPECT_EQ(expand({"kest", "@" + empty}), Args{"kest"});
  std::string blank = file("blank", "\n");
  EXPECT_EQ(expand({"kest", "@" + blank}), (Args{"kest", ""}));
}

TEST_F(ArgFiles, LongLinesAreCutInto4095CharacterArguments) {
  for (std::size_t length : {4094u, 4095u, 4096u, 8190u, 9000u}) {
    std::string line(length, 'a');
    line[0] = 'b';
    std::string path = file("long", line + "\nend\n");
    auto args = expand({"@" + path});
    ASSERT_TRUE(args);
    std::size_t pieces = (length + 4094) / 4095;
    ASSERT_EQ(args->size(), pieces + 1) << length;
    std::string joined;
    for (std::size_t i = 0; i < pieces; ++i) {
      EXPECT_LE((*args)[i].size(), 4095u);
      joined += (*args)[i];
    }
    EXPECT_EQ(joined, line);
    EXPECT_EQ(args->back(), "end");
  }
}

TEST_F(ArgFiles, NestingIsLimited) {
  // A chain of kMaxArgumentFileDepth files is fine, one more is not.
  for (int depth : {kMaxArgumentFileDepth, kMaxArgumentFileDepth + 1}) {
    for (int i = 1; i <= depth; ++i) {
      std::string next = "@" + dir_ + numbered("f", i + 1);
      file(numbered("f", i), i == depth ? "leaf\n" : next);
    }
    if (depth == kMaxArgumentFileDepth) {
      EXPECT_EQ(expand({"kest", "@" + dir_ + "f1"}), (Args{"kest", "leaf"}));
    } else {
      try {
        expand({"kest", "@" + dir_ + "f1"});
        ADD_FAILURE() << "no error";
      } catch (const FatalError& e) {
        EXPECT_EQ(e.message(),
                  "Argument files nested too deeply: " + dir_ + "f" + std::to_string(depth) + "\n");
      }
    }
  }
}

TEST_F(ArgFiles, FilesThatNameThemselvesEndWithAnError) {
  std::string self = file("self", "x\n@" + dir_ + "self\n");
  EXPECT_THROW(expand({"kest", "@" + self}), FatalError);
  std::string a = file("a", "$" + dir_ + "b\n");
  file("b", "@" + a + "\n");
  EXPECT_THROW(expand({"kest", "@" + a}), FatalError);
}

TEST_F(ArgFiles, FilesThatMultiplyEachOtherEndWithAnError) {
  // 2^20 readings of the last file if nothing stopped it.
  const int levels = 20;
  for (int i = 0; i < levels; ++i) {
    std::string next = "@" + dir_ + numbered("m", i + 1) + "\n";
    file(numbered("m", i), next + next);
  }
  file(numbered("m", levels), "#\n");
  EXPECT_THROW(expand({"kest", "@" + dir_ + "m0"}), FatalError);
}

}  // namespace
}  // namespace kest
