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
  for (const char* value : {"(default ext: .txt)\n", "(default: 0.5)\n", "(# max 100)",
                            "instead of 131072 bytes.\n"}) {
    EXPECT_TRUE(contains(help.out, value)) << value;
  }
}

TEST(Help, AProgramNameOfAnyLengthIsShownWhole) {
  reset_settings();
  const std::string name(300, 'k');
  const Ending help = help_with_more("/bin/" + name + ".exe");
  EXPECT_TRUE(contains(help.out, "Usage: " + name + " -options"));
  reset_settings();
}

// Without --more the program runs itself with "--more -?" into a pager found
// through PATH, and the run ends with the pager's status (1 after a parser
// error, or when the pager or the program cannot start). Stand-ins print their
// arguments; the program path would run something else if it ever went through
// a command interpreter.
using Pager = testing::TempDirTest;

TEST_F(Pager, TheRunEndsWithThePagersStatus) {
  reset_settings();
  auto script = [](const std::string& file, const std::string& body) {
    std::ofstream(file) << "#!/bin/sh\n" << body;
    chmod(file.c_str(), 0755);
  };
  const std::string program = path("x\"; echo INJECTED; \"y $(echo SUBST) 'z");
  const std::string missing = path("missing");
  script(program, "printf '%s|' \"$@\"\n");
  script(path("plainkest"), "printf 'plain:%s|' \"$@\"\n");
  struct Case {
    const char* pager;  // nullptr: none
    std::string program;
    bool after_error;
    int status;
    std::string out;
  } cases[] = {
      {"/bin/cat\n", program, false, 0, "--more|-?|"},
      {"/bin/cat\n", "plainkest", false, 0, "plain:--more|plain:-?|"},
      {"/bin/cat >/dev/null\nexit 3\n", program, false, 3, ""},
      {"/bin/cat\n", program, true, 1, "--more|-?|"},
      {"kill -9 $$\n", program, false, 1, ""},
      {nullptr, program, false, 1, ""},
      {"/bin/cat\n", missing, false, 1, ""},
  };
  const char* search = std::getenv("PATH");
  const std::string saved_path = search != nullptr ? search : "";
  setenv("PATH", dir_.c_str(), 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program + " " + (c.pager != nullptr ? c.pager : "no pager"));
    std::remove(path("more").c_str());
    if (c.pager != nullptr) script(path("more"), c.pager);
    const Ending help = testing::run_ending([&] {
      c.after_error ? usage_after_error(c.program.c_str()) : usage(c.program.c_str());
    });
    EXPECT_EQ(help.status, c.status);
    EXPECT_EQ(help.out, c.out);
    EXPECT_TRUE(c.program == missing ? contains(help.err, missing) : help.err.empty());
  }
  setenv("PATH", saved_path.c_str(), 1);
}

}  // namespace
}  // namespace kest
