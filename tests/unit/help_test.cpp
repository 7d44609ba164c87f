// The help text, printed directly with --more and through the pager.
#include "driver/help.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <tuple>

#include "base/settings.h"
#include "support.h"

namespace kest {
namespace {

using testing::contains;
using testing::Ending;

Ending help_with_more(const std::string& program) {
  mutable_settings().more = true;
  return testing::run_ending([&] { usage(program.c_str()); });
}

// The text sits between the version lines and shows the run's own values.
TEST(Help, WithMoreTheTextGoesStraightToStandardOutput) {
  reset_settings();
  mutable_settings().extension = ".txt";
  mutable_settings().fuzz = 0.5;
  const Ending help = help_with_more("/usr/bin/kest.exe");
  EXPECT_EQ(std::tie(help.kind, help.status, help.err),
            std::make_tuple(Ending::kExit, 0, std::string()));
  const std::string versions = std::string(version_line()) + "\n" + notice_line() + "\n";
  EXPECT_EQ(help.out.rfind(versions + "\nUsage: kest -options infile outfile [kestfile]", 0), 0u);
  EXPECT_TRUE(testing::ends_with(help.out, "-v, --version        - show version of program\n\n" +
                                               versions + contact_line() + "\n"));
  for (const char* value :
       {"(default ext: .txt)\n", "(default: 0.5)\n", "(# max 100)", "instead of 131072 bytes.\n"}) {
    EXPECT_TRUE(contains(help.out, value)) << value;
  }
}

// On a terminal the text goes through the pager: PAGER split at blanks (no
// command interpreter ever sees it), else "more", both found through PATH; the
// run ends with the pager's status. Off a terminal, with --more, or when no
// pager starts, the text goes straight to standard output with status 0. After
// a parser error it goes to standard error only, status 1. The stand-in pagers
// mark what they show with their arguments.
using Pager = testing::TempDirTest;

TEST_F(Pager, TheHelpReachesTheReaderOnceWithTheRightStatus) {
  reset_settings();
  auto script = [](const std::string& file, const std::string& body) {
    std::ofstream(file) << "#!/bin/sh\n" << body;
    chmod(file.c_str(), 0755);
  };
  const std::string program = "/usr/bin/kest";
  const std::string long_program = "/bin/" + std::string(100000, 'k');  // more than a pipe holds
  const std::string text = testing::run_ending([&] { usage(program.c_str()); }).out;
  ASSERT_TRUE(contains(text, "Usage: kest -options"));
  script(path("pg"), "printf '%s|' pg \"$@\"; /bin/cat\n");
  struct Case {
    const char* more;  // the stand-in "more"; nullptr: none on PATH
    const char* pager;
    bool terminal, with_more;
    int status;
    std::string out;
  } cases[] = {
      {"printf 'more:'; /bin/cat\n", nullptr, true, false, 0, "more:" + text},
      {"printf 'more:'; /bin/cat\n", " \t", true, false, 0, "more:" + text},
      {"printf 'more:'; /bin/cat\n", "pg  -R\tx", true, false, 0, "pg|-R|x|" + text},
      {nullptr, "pg a;echo $(echo S) 'z", true, false, 0, "pg|a;echo|$(echo|S)|'z|" + text},
      {nullptr, nullptr, true, false, 0, text},
      {"printf 'more:'; /bin/cat\n", "missing -x", true, false, 0, text},
      {"printf 'more:'; /bin/cat\n", "pg", false, false, 0, text},
      {"printf 'more:'; /bin/cat\n", nullptr, true, true, 0, text},
      {"/bin/cat >/dev/null\nexit 3\n", nullptr, true, false, 3, ""},
      {"kill -9 $$\n", nullptr, true, false, 1, ""},
  };
  const char* search = std::getenv("PATH");
  const std::string saved_path = search != nullptr ? search : "";
  setenv("PATH", dir_.c_str(), 1);
  auto stand_in = [&](const char* more) {
    std::remove(path("more").c_str());
    if (more != nullptr) script(path("more"), more);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.more != nullptr ? c.more : "no more") +
                 " PAGER=" + (c.pager != nullptr ? c.pager : "unset"));
    stand_in(c.more);
    mutable_settings().more = c.with_more;
    const Ending help =
        testing::run_ending([&] { exit_process(show_help(program.c_str(), c.terminal, c.pager)); });
    EXPECT_EQ(help.status, c.status);
    EXPECT_TRUE(help.out == c.out) << help.out.substr(0, 80);
    EXPECT_EQ(help.err, "");
  }
  reset_settings();
  // A pager that quits before reading all the text leaves the run standing.
  stand_in("exit 4\n");
  EXPECT_EQ(testing::run_ending([&] {
              exit_process(show_help(long_program.c_str(), true, nullptr));
            }).status,
            4);
  stand_in("printf 'more:'; /bin/cat\n");
  const Ending error = testing::run_ending([&] { usage_after_error(program.c_str()); });
  EXPECT_TRUE(std::tie(error.status, error.out, error.err) == std::make_tuple(1, "", text));
  setenv("PATH", saved_path.c_str(), 1);
}

}  // namespace
}  // namespace kest
