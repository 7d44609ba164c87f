// The driver end to end: help and version, exit statuses, positional names,
// wildcard mode, the check table, KEST, the log file, failed writes to standard
// output, and arguments that must neither crash nor hang.
#include <sys/stat.h>

#include <filesystem>

#include "cli_harness.h"
#include "driver/help.h"

namespace kest_cli {
namespace {

using DriverCli = CliTest;

// Help and version end the run before anything is logged. Off a terminal the
// help goes straight to standard output with the values a run starts from. An option the
// parser refuses gets its message and the help on standard error only, and fails:
// the next stage of a pipe reads nothing.
TEST_F(DriverCli, HelpAndVersionEndTheRunUnlogged) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* out_has;  // nullptr: standard output stays empty
    const char* err_has;
  } cases[] = {
      {{"-v"}, 0, "kest Version ", ""},
      {{}, 0, "(default ext: .out)", ""},
      {{"-e", "1", "in", "out"}, 0, "(default ext: .out)", ""},
      {{"-w.txt", "-?"}, 0, "(default ext: .out)", ""},
      {{"--more", "-w.txt", "-?"}, 0, "(default ext: .txt)", ""},
      {{"--nop", "-e"}, 1, nullptr, "option requires an argument -- 'e'\n"},
      {{"--bogus", "in", "out"}, 1, nullptr, "unrecognized option '--bogus'\n"},
      {{"--sum", "in", "out"}, 1, nullptr, "option '--sum' is ambiguous"},
  };
  for (const Case& c : cases) {
    RunResult r = run(c.args);
    SCOPED_TRACE(c.err_has);
    EXPECT_EQ(r.status, c.status);
    if (c.out_has != nullptr) {
      EXPECT_TRUE(contains(r.out, c.out_has)) << r.out;
      EXPECT_EQ(r.err, c.err_has);
    } else {
      EXPECT_EQ(r.out, "");
      EXPECT_TRUE(contains(r.err, c.err_has) && contains(r.err, "\nUsage: kest -options") &&
                  ends_with(r.err, std::string(kest::contact_line()) + "\n"))
          << r.err;
    }
  }
  EXPECT_FALSE(exists("logfile"));
}

// On a terminal (script gives one) the help goes through PAGER, split at blanks,
// or "more"; with neither to be found it is written straight out, status 0. PATH
// holds no real pager, so none can wait for a key.
TEST_F(DriverCli, OnATerminalTheHelpGoesThroughThePagerThatStarts) {
  if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script";
  std::filesystem::create_directory(path("empty"));
  write("pg", "#!/bin/sh\necho PAGED \"$@\"; /bin/cat\n");
  chmod(path("pg").c_str(), 0755);
  for (const auto& [pager, head] : std::vector<std::pair<std::string, std::string>>{
           {"", "kest Version "}, {"./pg -R", "PAGED -R\r\nkest Version "}}) {
    RunResult r = shell("PAGER=\"" + pager +
                        "\" script -qec \"env PATH=empty $KEST_BIN -w.txt\" /dev/null </dev/null");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind(head, 0), 0u) << r.out.substr(0, 200);
    EXPECT_TRUE(contains(r.out, "(default ext: .out)\r\n")) << pager;
  }
}

TEST_F(DriverCli, MissingNamesAreFatalAfterTheLogEntry) {
  write("in", "1 2\n");
  struct Case {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--nop"}, "No source filename\n"},
      {{"--nop", "in"}, "No destination filename"},
      {{"-k", "in", "out"}, "No kestfile name or -e option"},
      {{"-c", "-k", "-e", "1", "in"}, "No destination filename"},
  };
  for (const Case& c : cases) {
    RunResult r = run(c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "\nError in File:") && ends_with(r.err, c.message)) << r.err;
    EXPECT_TRUE(exists("logfile"));
  }
}

// Every input gets its own output and skips its rows anew; the check table has
// one heading and a line per input, its name cut to 31 characters.
TEST_F(DriverCli, WildcardModeRunsEveryInputAndTheCheckTableHasOneHeading) {
  std::filesystem::create_directory(path("dir.d"));
  write("a.txt", "9 9\n# c\n1 2\n");
  write("b", "9\n3\n");
  write("dir.d/c", "9 9 9\n4 5 6\n");
  RunResult r = run({"-w", "--skip-rows=1", "--nop", "a.txt", "b", "dir.d/c"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read("a.out") + read("b.out") + read("dir.d/c.out"), "1 2\n3\n4 5 6\n");
  EXPECT_FALSE(exists("dir.out"));
  const std::string long_name(40, 'n');
  write(long_name, "1\n");
  write("bad", "1 2 3\n1 2\n1 2 3\n1 2 3\n4\n1 2 3\n");
  EXPECT_EQ(run({"--check", "-w", "a.txt", "bad", long_name}).out,
            "File:                           Cols:    Rows:\n"
            "a.txt                           2        2\n"
            "bad                             3        6\n" +
                std::string(31, 'n') + " 1        1\n");
  EXPECT_EQ(run({"--get-rows", "bad"}).out + run({"--get-cols", "bad"}).out, "6\n3\n");
}

// A run never writes its log entry into one of its own inputs.
TEST_F(DriverCli, ALogFileThatIsAnInputGetsNoEntry) {
  write("logfile", "1 2 3\n");
  RunResult r = run({"--nop", "logfile", "-"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1 2 3\n");
  EXPECT_TRUE(contains(r.err, "No logfile entry\n"));
  EXPECT_EQ(read("logfile"), "1 2 3\n");
  run({"--nop", "-", "-"}, "4 5\n");
  EXPECT_TRUE(contains(read("logfile"), " --nop - -\n"));  // standard input is not the log
}

// An argument file is an input of the run: it gets no log entry and no output.
TEST_F(DriverCli, AnArgumentFileNamedLogfileKeepsItsArguments) {
  const std::string args = "-k\n-e\n1\na.txt\nout.txt\n";
  write("logfile", args);
  write("a.txt", "1 2\n");
  for (int i = 0; i < 2; ++i) {
    const RunResult r = run({"@logfile"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "No logfile entry\n"));
    EXPECT_EQ(read("logfile"), args);
    EXPECT_EQ(read("out.txt"), "2\n");
  }
  write("more", "--nop\na.txt\nmore\n");
  EXPECT_TRUE(contains(run({"@more"}).err, "Input and output are the same file: more\n"));
  EXPECT_EQ(read("more"), "--nop\na.txt\nmore\n");
}

// The log entry is best effort: only a regular file gets one, and opening it
// never waits; an argument file that is a directory is refused like an input.
TEST_F(DriverCli, ALogfileThatIsNoRegularFileNeitherHangsNorGetsAnEntry) {
  write("a.txt", "1 2\n");
  ASSERT_EQ(mkfifo(path("logfile").c_str(), 0644), 0);
  RunResult r = run({"--nop", "a.txt", "-"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1 2\n");
  EXPECT_TRUE(contains(r.err, "No logfile entry\n"));
  std::filesystem::create_directory(path("dir"));
  r = run({"@dir", "--nop", "a.txt", "-"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "Could not open file dir\n")) << r.err;
}

// Rows, help, version and the check table alike: a failed write to standard
// output fails the run and is reported once, also after another fatal error.
TEST_F(DriverCli, AFailedWriteToStandardOutputIsReportedOnce) {
  std::string rows;
  for (int i = 0; i < 50000; ++i) rows += "1 2 3 4\n";
  write("in", rows);
  for (const auto& [args, tail] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"--nop", "in", "-"}, "Could not write file -\n"},
           {{"-v", "-c", "in"}, "Could not write file stdout\n"},
           {{"--more", "-c", "in"}, "Could not write file stdout\n"},
           {{"-c", "-w", "in", "missing"}, "Could not open file missing\n"}}) {
    RunResult r = run(args, "", {}, "/dev/full");
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_TRUE(ends_with(r.err, tail)) << r.err;
    EXPECT_EQ(r.err.find("Error in File"), r.err.rfind("Error in File")) << r.err;
  }
}

TEST_F(DriverCli, QuietByOptionOrEnvironmentWord) {
  write("in", "1\n");
  for (const auto& [option, words] : std::vector<std::pair<std::string, std::string>>{
           {"--quiet", "debug"}, {"--nop", "quiet:debug"}, {"--nop", "::quiet"}}) {
    EXPECT_EQ(run({option, "--nop", "in", "out"}, "", {{"KEST", words}}).err, "Kest: nop \n");
  }
  EXPECT_TRUE(contains(run({"--nop", "in", "out"}, "", {{"KEST", "Quiet"}}).err, "Do nothing\n"));
}

// Header figures belong to the operation that runs: an overridden option's shift
// never reaches the header, and a shift longer than the file gives 0, not a wrap.
TEST_F(DriverCli, HeaderFiguresNeverWrap) {
  write("in", "1 2 3\n4 5 6\n");
  EXPECT_EQ(run({"-j", "5", "--nop", "--add-line-count", "--output-c", "in", "-"}).out,
            "double data[2][3] = {\n{ 1, 2, 3},\n{ 4, 5, 6},\n};\n");
  EXPECT_EQ(run({"-j", "5", "-e", "1", "--add-line-count", "--output-c", "in", "-"}).out,
            "double data[][3] = {\n};\n");
}

// Huge, strange or unconvertible option arguments and a 10 MB number end the
// run normally, with status 0 or a report and status 1.
TEST_F(DriverCli, StrangeArgumentsAndHugeNumbersNeitherCrashNorHang) {
  write("in", "1 2 3\n4 5 6\n");
  const std::string big(100000, '9');
  for (const std::string& arg : std::vector<std::string>{
           "--specified=" + big, "--shift=" + big, "--xtra=" + big, "--skip-columns=" + big,
           "--skip-rows=" + big, "--running-average=" + big + ",9", "--split=" + big + "p",
           "--wildcard=" + big, "--maxbuff=-1", "--fuzz=1e999", "--multiply=nan",
           "--format=%99999999999f", "--format=" + std::string(34, '%') + "f"}) {
    RunResult r = run({arg, "--nop", "in", "out"});
    EXPECT_TRUE(r.status == 0 || r.status == 1) << arg.substr(0, 40) << " " << r.status;
  }
  write("huge", std::string(10 << 20, '7') + "\n1\n");
  EXPECT_EQ(run({"--nop", "huge", "out"}).status, 0);
  EXPECT_EQ(read("out"), "inf\n1\n");
}

}  // namespace
}  // namespace kest_cli
