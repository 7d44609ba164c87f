// Argument files: "@file"/"$file" expansion, dropped "#" arguments, long lines
// and files that name each other.
#include "driver/argfiles.h"

#include <gtest/gtest.h>

#include "support.h"

namespace kest {
namespace {

using Args = std::vector<std::string>;

class ArgFiles : public testing::TempDirTest {
 protected:
  static std::optional<Args> expand(Args args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return expand_arguments(static_cast<int>(args.size()), argv.data());
  }
};

TEST_F(ArgFiles, FileLinesBecomeArgumentsAndHashArgumentsAreDropped) {
  const std::string missing = "@" + path("missing");
  const std::string args =
      write("args", "-k\n-e\n1, 3\n\n#comment\r\nwin\r\n$" + path("more") + "\nlast");
  write("more", "in\n" + missing + "\n");
  struct Case {
    Args args;
    std::optional<Args> expanded;  // nothing: the arguments stay as they are
  } cases[] = {
      {{"kest", "-k", "in", "out"}, std::nullopt},
      {{"kest", missing, "$" + path("missing"), "", "a#b"}, std::nullopt},
      {{"kest", "#note", "-k", "#"}, Args{"kest", "-k"}},
      {{"#kest"}, Args{}},
      {{"kest", "#x", missing}, Args{"kest", missing}},  // the count alone changes
      {{"kest", "@" + args, "tail"},
       Args{"kest", "-k", "-e", "1, 3", "", "win\r", "in", missing, "last", "tail"}},
      {{"$" + args}, Args{"-k", "-e", "1, 3", "", "win\r", "in", missing, "last"}},
      {{"kest", "@" + write("one", "x\n")}, Args{"kest", "x"}},  // the count stays
      {{"kest", "@" + write("empty", "")}, Args{"kest"}},
      {{"kest", "@" + write("blank", "\n")}, Args{"kest", ""}},
  };
  for (const Case& c : cases) EXPECT_EQ(expand(c.args), c.expanded) << c.args.back();
}

TEST_F(ArgFiles, LongLinesAreCutInto4095CharacterArguments) {
  for (std::size_t length : {4094u, 4095u, 4096u, 8190u, 9000u}) {
    std::string line(length, 'a');
    line[0] = 'b';
    Args expected;
    for (std::size_t at = 0; at < length; at += 4095) expected.push_back(line.substr(at, 4095));
    expected.push_back("end");
    EXPECT_EQ(expand({"@" + write("long", line + "\nend\n")}), expected) << length;
  }
}

// A chain of kMaxArgumentFileDepth files is fine, one more is not; files that
// name themselves or each other, or multiply each other (2^20 readings of the
// last one), end with an error.
TEST_F(ArgFiles, EndlessExpansionsEndWithAnError) {
  auto name = [](const char* prefix, int i) { return prefix + std::to_string(i); };
  auto chain = [&](int depth) {
    for (int i = 1; i <= depth; ++i) {
      write(name("f", i), i == depth ? "leaf\n" : "@" + path(name("f", i + 1)));
    }
    return testing::run_ending([&] { expand({"kest", "@" + path("f1")}); });
  };
  EXPECT_EQ(chain(kMaxArgumentFileDepth).kind, testing::Ending::kReturned);
  const std::string deepest = path(name("f", kMaxArgumentFileDepth + 1));
  EXPECT_EQ(chain(kMaxArgumentFileDepth + 1).message,
            "Argument files nested too deeply: " + deepest + "\n");
  for (int i = 0; i < 20; ++i) {
    const std::string next = "@" + path(name("m", i + 1)) + "\n";
    write(name("m", i), next + next);
  }
  write("m20", "#\n");
  write("a", "$" + path("b") + "\n");
  write("b", "@" + path("a") + "\n");
  write("self", "x\n@" + path("self") + "\n");
  for (const char* first : {"self", "a", "m0"}) {
    EXPECT_EQ(testing::run_ending([&] {
                expand({"kest", "@" + path(first)});
              }).kind,
              testing::Ending::kFatal)
        << first;
  }
}

}  // namespace
}  // namespace kest
