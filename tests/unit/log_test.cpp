// The log file entry and the quoting of logged arguments. (The debug and error
// lines show in the option and selection tests.)
#include "base/log.h"

#include <gtest/gtest.h>

#include <clocale>

#include "base/settings.h"
#include "support.h"

namespace kest {
namespace {

TEST(Log, QuotesArgumentsWithBlanksCommasOrStars) {
  for (const auto& [arg, logged] : std::initializer_list<std::pair<const char*, const char*>>{
           {"-k", " -k"},
           {"1,3", " \"1,3\""},
           {"*.dat", " \"*.dat\""},
           {"--eval=r[1] = c[1]*2", " --eval=\"r[1] = c[1]*2\""},
           {"--no equals", " \"--no equals\""},
           {"-x=a b", " \"-x=a b\""},
           {"a\"b\\c", " a\"b\\c"},
           {"say \"hi\" c:\\", " \"say \\\"hi\\\" c:\\\\\""},
           {"", " "}}) {
    EXPECT_EQ(log_quote(arg), logged) << arg;
  }
}

using LogEntry = testing::TempDirTest;

// One line per run: the "%x %X" date and time (one blank inside), then the
// arguments. A file that does not open is reported; the time category of the
// locale is put back either way.
TEST_F(LogEntry, AppendsOneLinePerRun) {
  const std::string before = std::setlocale(LC_TIME, nullptr);
  log_entry(path("logfile").c_str(), {"/usr/bin/kest", "-k", "-e", "1, 3", "in", "out"});
  log_entry(path("logfile").c_str(), {"kest", "--eval=r[1] = c[1]*2"});
  testing::Capture err(2);
  log_entry(path("no/logfile").c_str(), {"kest", "-k"});
  EXPECT_EQ(err.text(), "No logfile entry\n");
  EXPECT_EQ(std::string(std::setlocale(LC_TIME, nullptr)), before);
  std::istringstream lines(read("logfile"));
  for (const std::string args :
       {" /usr/bin/kest -k -e \"1, 3\" in out", " kest --eval=\"r[1] = c[1]*2\""}) {
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    const std::size_t at = line.size() - std::min(line.size(), args.size());
    EXPECT_EQ(line.substr(at), args);
    EXPECT_TRUE(testing::contains(line.substr(0, at), " ")) << line;
  }
  EXPECT_TRUE(lines.peek() == EOF);
}

}  // namespace
}  // namespace kest
