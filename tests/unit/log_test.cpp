#include "base/log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>

#include "base/settings.h"

namespace kest {
namespace {

TEST(LogQuote, QuotesArgumentsWithBlanksCommasOrStars) {
  for (const auto& [arg, logged] : std::initializer_list<std::pair<const char*, const char*>>{
           {"-k", " -k"},
           {"1, 3", " \"1, 3\""},
           {"1,3", " \"1,3\""},
           {"*.dat", " \"*.dat\""},
           {"--eval=r[1] = c[1]*2", " --eval=\"r[1] = c[1]*2\""},
           {"--eval=a=b c", " --eval=\"a=b c\""},
           {"--no equals", " \"--no equals\""},
           {"-x=a b", " \"-x=a b\""},
           {"a\"b\\c", " a\"b\\c"},
           {"say \"hi\" c:\\", " \"say \\\"hi\\\" c:\\\\\""},
           {"", " "}}) {
    EXPECT_EQ(log_quote(arg), logged) << arg;
  }
  EXPECT_EQ(escape_quotes("a\"b\\c"), "a\\\"b\\\\c");
}

TEST(LogMessages, WritePrefixModuleLineAndMessage) {
  reset_settings();
  testing::internal::CaptureStderr();
  debug_message("readflag", 42, "first:%d step:%dlast:%d\n", 1, 2, 3);
  error_message("my_eval", 7, "variable/constant (%s) not found\n", "zz");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "readflag:42:: debug: first:1 step:2last:3\n"
            "my_eval:7:: error: variable/constant (zz) not found\n");
}

TEST(LogEntry, AppendsOneLinePerRun) {
  reset_settings();
  std::string path = testing::TempDir() + "/kest_logfile_" + std::to_string(getpid());
  std::remove(path.c_str());
  log_entry(path.c_str(), {"/usr/bin/kest", "-k", "-e", "1, 3", "in", "out"});
  log_entry(path.c_str(), {"kest", "--eval=r[1] = c[1]*2"});
  std::ifstream in(path);
  std::string first, second, third;
  std::getline(in, first);
  std::getline(in, second);
  EXPECT_FALSE(std::getline(in, third));
  std::remove(path.c_str());
  for (const auto& [line, args] : {std::pair{first, " /usr/bin/kest -k -e \"1, 3\" in out"},
                                   std::pair{second, " kest --eval=\"r[1] = c[1]*2\""}}) {
    // The line is the "%x %X" date and time (one blank inside), then the arguments.
    std::size_t at = line.find(args);
    ASSERT_NE(at, std::string::npos) << line;
    EXPECT_EQ(at + std::string(args).size(), line.size()) << line;
    EXPECT_NE(line.substr(0, at).find(' '), std::string::npos) << line;
  }
}

TEST(LogEntry, ReportsAFileThatCannotBeOpened) {
  reset_settings();
  std::string before = std::setlocale(LC_TIME, nullptr);
  std::string path = testing::TempDir() + "/kest_no_such_dir/logfile";
  testing::internal::CaptureStderr();
  log_entry(path.c_str(), {"kest", "-k"});
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "No logfile entry\n");
  EXPECT_EQ(std::string(std::setlocale(LC_TIME, nullptr)), before);
}

}  // namespace
}  // namespace kest
