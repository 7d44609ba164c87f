// The help text, printed directly and through the pager, the version lines and
// the closing banner.
#include "driver/help.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "base/settings.h"
#include "support.h"
#include "base/diagnostics.h"

namespace kest {
namespace {

using testing::Ending;

template <class Call>
Ending show(Call call) {
  return testing::run_ending(call);
}

std::string tail_lines() {
  return std::string(version_line()) + "\n" + notice_line() + "\n" + contact_line() + "\n";
}

TEST(Help, VersionLinesHaveTheirShape) {
  std::regex shape(
      "kest Version \\S+ [A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4} [0-2][0-9]:[0-5][0-9]:[0-5][0-9] by "
      "the kest developers");
  EXPECT_TRUE(std::regex_match(version_line(), shape)) << version_line();
  std::string notice = notice_line();
  EXPECT_EQ(std::count(notice.begin(), notice.end(), '\n'), 1);
  EXPECT_EQ(std::strchr(contact_line(), '\n'), nullptr);

  reset_settings();
  Ending v = show([] { print_version(); });
  EXPECT_EQ(v.status, 0);
  EXPECT_EQ(v.out, tail_lines());
  EXPECT_EQ(std::count(v.out.begin(), v.out.end(), '\n'), 4);
}

TEST(Help, ClosingBanner) {
  reset_settings();
  Ending loud = show([] { print_closing_banner(); });
  EXPECT_EQ(loud.err, "\n" + std::string(version_line()) + "\n" + notice_line() + "\n");
  mutable_settings().quiet = true;
  Ending quiet = show([] { print_closing_banner(); });
  EXPECT_EQ(quiet.err, "\n");
}

TEST(Help, WithMoreTheTextGoesStraightToStandardOutput) {
  reset_settings();
  mutable_settings().more = true;
  Ending help = show([] { usage("/usr/local/bin/kest.exe"); });
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  const std::string head = std::string(version_line()) + "\n" + notice_line() +
                           "\n\nUsage: kest -options infile outfile [kestfile] [-e \"string\"]\n"
                           "infile               - original file\n";
  EXPECT_EQ(help.out.rfind(head, 0), 0u);
  const std::string end =
      "-?                   - shows this text\n"
      "-v, --version        - show version of program\n\n" +
      tail_lines();
  ASSERT_GE(help.out.size(), end.size());
  EXPECT_EQ(help.out.substr(help.out.size() - end.size()), end);
  for (const char* entry : {
           "                       to filenames (default ext: .out)\n",
           "                       adds +/-epsilon to level (default: 2.22045e-16)\n",
           "                       assigning to n[#] (# max 100). c[#] are treated\n",
           "--maxbuff=#          - make buffers # bytes instead of 131072 bytes.\n",
           "                       -z\\t gives tab between numbers\n",
           "                       -zx   gives x between numbers\n\n\n-n, --noise[=level]",
           "-k, --remove--columns, --columns\n",
           "                        3 Central moving average (CMA). Average of n-floor(#/2) to "
           "n+floor(#/2).\n-j, --shift=#",
       }) {
    EXPECT_NE(help.out.find(entry), std::string::npos) << entry;
  }
}

TEST(Help, AProgramNameOfAnyLengthIsShownWhole) {
  reset_settings();
  mutable_settings().more = true;
  const std::string path = "/bin/" + std::string(300, 'k') + ".exe";
  Ending help = show([&] { usage(path.c_str()); });
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_NE(help.out.find("Usage: " + std::string(300, 'k') + " -options"), std::string::npos);
}

TEST(Help, AfterAParserErrorTheStatusIsOne) {
  reset_settings();
  mutable_settings().more = true;
  Ending help = show([] { usage_after_error("kest"); });
  EXPECT_EQ(help.status, 1);
  EXPECT_NE(help.out.find("Usage: kest -options"), std::string::npos);
}

// Runs the help through a pager in a scratch directory: a stand-in program that
// prints its arguments and a stand-in "more" found through PATH.
class Pager : public testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    reset_settings();
    // Would run something else if the path ever went through a command interpreter.
    program_ = path("x\"; echo INJECTED; \"y $(echo SUBST) 'z");
    script(program_, "printf '%s|' \"$@\"\n");
    script(path("plainkest"), "printf 'plain:%s|' \"$@\"\n");
    const char* search = std::getenv("PATH");
    saved_path_ = search ? search : "";
    setenv("PATH", dir_.c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", saved_path_.c_str(), 1);
    TempDirTest::TearDown();
  }
  void script(const std::string& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\n" << body;
    chmod(path.c_str(), 0755);
  }
  void pager(const std::string& body) { script(path("more"), body); }

  std::string program_, saved_path_;
};

TEST_F(Pager, TheProgramRunsItselfIntoThePager) {
  pager("/bin/cat\n");
  Ending help = show([&] { usage(program_.c_str()); });
  EXPECT_EQ(help.out, "--more|-?|");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");

  // A bare name is looked up in PATH.
  help = show([] { usage("plainkest"); });
  EXPECT_EQ(help.out, "plain:--more|plain:-?|");
}

TEST_F(Pager, TheRunEndsWithThePagersStatus) {
  pager("/bin/cat >/dev/null\nexit 3\n");
  EXPECT_EQ(show([&] { usage(program_.c_str()); }).status, 3);
  EXPECT_EQ(show([&] { usage_after_error(program_.c_str()); }).status, 1);
  pager("kill -9 $$\n");
  EXPECT_EQ(show([&] { usage(program_.c_str()); }).status, 1);
  std::remove(path("more").c_str());
  EXPECT_EQ(show([&] { usage(program_.c_str()); }).status, 1);
}

TEST_F(Pager, AProgramThatCannotStartEndsWithStatusOne) {
  pager("/bin/cat\n");
  const std::string missing = path("missing");
  Ending help = show([&] { usage(missing.c_str()); });
  EXPECT_EQ(help.status, 1);
  EXPECT_EQ(help.out, "");
  EXPECT_NE(help.err.find(missing), std::string::npos);
}

}  // namespace
}  // namespace kest
