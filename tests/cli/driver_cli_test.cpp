// The driver end to end: help and version, exit statuses, positional names,
// wildcard mode, the check table, KEST, argument files and the log file.
#include <filesystem>

#include "cli_harness.h"

namespace kest_cli {
namespace {

class DriverCli : public CliTest {};

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(DriverCli, VersionPrintsFourLinesAndNothingElse) {
  RunResult r = run({"-v"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4) << r.out;
  EXPECT_EQ(r.out.rfind("kest Version ", 0), 0u) << r.out;
  EXPECT_FALSE(exists("logfile"));
}

TEST_F(DriverCli, HelpWithMoreGoesStraightToStandardOutput) {
  RunResult r = run({"--more", "-?"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("kest Version ", 0), 0u);
  EXPECT_TRUE(contains(r.out, "\nUsage: kest -options infile outfile [kestfile] [-e \"string\"]\n"));
  EXPECT_TRUE(contains(r.out, "-v, --version        - show version of program\n\nkest Version "));
  EXPECT_TRUE(contains(r.out, "(default ext: .out)"));
  EXPECT_TRUE(contains(r.out, "(default: 2.22045e-16)"));
  EXPECT_TRUE(contains(r.out, "instead of 131072 bytes."));
  r = run({"--more", "-w.txt", "--fuzz=0.5", "-h"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(contains(r.out, "(default ext: .txt)"));
  EXPECT_TRUE(contains(r.out, "(default: 0.5)"));
}

TEST_F(DriverCli, HelpGoesThroughThePagerWhenNoOperationIsChosen) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"-e", "1", "in", "out"}, {"-w.txt", "-?"}}) {
    RunResult r = run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.out, "\nUsage: kest -options")) << r.err;
    // The second process starts from the defaults.
    EXPECT_TRUE(contains(r.out, "(default ext: .out)"));
  }
  EXPECT_FALSE(exists("logfile"));
}

TEST_F(DriverCli, ThePagerNeverHandsTheProgramPathToAShell) {
  const std::string odd = "odd \"name' $(touch pwned) `touch pwned2`";
  std::filesystem::create_symlink(KEST_BINARY, path(odd));
  RunResult r = run({}, "", {}, (dir_ / odd).string());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "\nUsage: "));
  EXPECT_FALSE(exists("pwned"));
  EXPECT_FALSE(exists("pwned2"));
}

TEST_F(DriverCli, RejectedOptionsShowHelpAndFail) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--no-such-option", "in", "out"}, {"-l"}, {"--sum", "in"}, {"--nop", "-e"}}) {
    RunResult r = run(args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_TRUE(contains(r.out, "\nUsage: ")) << args[0];
    EXPECT_NE(r.err, "");
  }
}

TEST_F(DriverCli, MissingNamesAreFatal) {
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
    EXPECT_TRUE(contains(r.err, "\nError in File:")) << r.err;
    EXPECT_TRUE(r.err.size() >= c.message.size() &&
                r.err.compare(r.err.size() - c.message.size(), c.message.size(), c.message) == 0)
        << r.err;
    EXPECT_TRUE(exists("logfile"));  // logged before the names are looked at
  }
}

TEST_F(DriverCli, CheckTableAndCounts) {
  write("good", "# c\n1 2 3\n4 5 6\n# c\n7 8 9\n");
  write("bad", "1 2 3\n1 2\n1 2 3\n1 2 3\n4\n1 2 3\n");
  RunResult r = run({"-c", "good", "ignored-output"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "File:                           Cols:    Rows:\n"
                   "good                            3        3\n");
  r = run({"--check", "bad"});
  EXPECT_EQ(r.out, "File:                           Cols:    Rows:\n"
                   "bad                             3        6\n");
  EXPECT_TRUE(contains(r.err, "Warning: Column count mismatch on line 2. Should be 3 but found 2.\n"));
  EXPECT_TRUE(contains(r.err, "Warning: Column count mismatch on line 5. Should be 3 but found 1.\n"));
  EXPECT_TRUE(contains(r.err, "Warning: 2 column count mismatches found.\nFirst on line 2"));
  EXPECT_EQ(run({"--get-rows", "good"}).out, "3\n");
  EXPECT_EQ(run({"--get-cols", "good"}).out, "3\n");
  const std::string long_name(40, 'n');
  write(long_name, "1\n");
  EXPECT_EQ(run({"-c", long_name}).out, "File:                           Cols:    Rows:\n" +
                                            std::string(31, 'n') + " 1        1\n");
}

TEST_F(DriverCli, WildcardModeDerivesOutputNamesAndPrintsTheHeadingOnce) {
  std::filesystem::create_directory(path("dir.d"));
  write("a.txt", "1 2\n");
  write("b", "3\n");
  write("dir.d/c", "4 5 6\n");
  RunResult r = run({"-w", "--nop", "a.txt", "b", "dir.d/c"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read("a.out"), "1 2\n");
  EXPECT_EQ(read("b.out"), "3\n");
  EXPECT_EQ(read("dir.d/c.out"), "4 5 6\n");
  EXPECT_FALSE(exists("dir.out"));
  r = run({"-w.csv", "--output-csv", "--nop", "a.txt"});
  EXPECT_EQ(read("a.csv"), "1, 2\n");
  r = run({"--check", "-w", "a.txt", "b", "dir.d/c"});
  EXPECT_EQ(r.out, "File:                           Cols:    Rows:\n"
                   "a.txt                           2        1\n"
                   "b                               1        1\n"
                   "dir.d/c                         3        1\n");
  // Every input skips the rows anew.
  write("s1", "9 9\n1 2\n");
  write("s2", "9 9\n3 4\n");
  r = run({"-w", "--skip-rows=1", "--nop", "s1", "s2"});
  EXPECT_EQ(read("s1.out"), "1 2\n");
  EXPECT_EQ(read("s2.out"), "3 4\n");
}

// Every derived output name is checked against every input and every other
// output before anything is opened; a clash writes nothing.
TEST_F(DriverCli, WildcardOutputsNeverOverwriteInputsOrEachOther) {
  struct Case {
    std::vector<std::string> inputs;
    std::string message;
  } cases[] = {
      {{"x.out"}, "Output x.out of x.out would overwrite the input x.out\n"},
      {{"a.dat", "a.out"}, "Output a.out of a.dat would overwrite the input a.out\n"},
      {{"b.txt", "b.csv"}, "Inputs b.txt and b.csv would both be written to b.out\n"},
      {{"b.txt", "./b.csv"}, "Inputs b.txt and ./b.csv would both be written to ./b.out\n"},
  };
  for (const Case& c : cases) {
    for (const std::string& in : c.inputs) write(in, "7\n");
    std::vector<std::string> args = {"-w", "--nop"};
    args.insert(args.end(), c.inputs.begin(), c.inputs.end());
    RunResult r = run(args);
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_TRUE(ends_with(r.err, c.message)) << r.err;
    for (const std::string& in : c.inputs) EXPECT_EQ(read(in), "7\n") << in;
    EXPECT_FALSE(exists("b.out"));
  }
}

// A run never writes its log entry into one of its own inputs.
TEST_F(DriverCli, ALogFileThatIsAnInputGetsNoEntry) {
  write("logfile", "1 2 3\n");
  RunResult r = run({"--nop", "logfile", "-"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1 2 3\n");
  EXPECT_TRUE(contains(r.err, "No logfile entry\n"));
  EXPECT_EQ(read("logfile"), "1 2 3\n");
  r = run({"--nop", "-", "-"}, "4 5\n");
  EXPECT_TRUE(contains(read("logfile"), " --nop - -\n"));  // standard input is not the log
}

TEST_F(DriverCli, AFailedWriteToStandardOutputIsReportedOnce) {
  std::string rows;
  for (int i = 0; i < 50000; ++i) rows += "1 2 3 4\n";
  write("in", rows);
  RunResult r = run({"--nop", "in", "-"}, "", {}, KEST_BINARY, "/dev/full");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(ends_with(r.err, "Could not write file -\n")) << r.err;
  EXPECT_EQ(r.err.find("Error in File"), r.err.rfind("Error in File")) << r.err;
}

TEST_F(DriverCli, EnvironmentWords) {
  write("in", "1\n");
  EXPECT_EQ(run({"--nop", "in", "out"}, "", {{"KEST", "quiet:debug"}}).err, "Kest: nop \n");
  EXPECT_EQ(run({"--nop", "in", "out"}, "", {{"KEST", "::quiet"}}).err, "Kest: nop \n");
  EXPECT_TRUE(contains(run({"--nop", "in", "out"}, "", {{"KEST", "Quiet"}}).err, "Do nothing\n"));
}

TEST_F(DriverCli, ClosingBanner) {
  write("in", "1\n");
  RunResult r = run({"--nop", "in", "out"});
  EXPECT_TRUE(contains(r.err, "Found 1 variables.\n\nkest Version ")) << r.err;
  EXPECT_EQ(r.err.back(), '\n');
}

TEST_F(DriverCli, ArgumentFilesAndCommentArguments) {
  write("in", "1 2\n");
  write("args", "--nop\n#a comment line\nin\n@more\n");
  write("more", "out\n");
  RunResult r = run({"@args", "#dropped"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read("out"), "1 2\n");
  write("self", "@self\n");
  r = run({"@self"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "Argument files nested too deeply: self\n")) << r.err;
  // An argument file that does not open is an ordinary argument.
  r = run({"--nop", "@missing", "out"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "Could not open file @missing\n"));
}

TEST_F(DriverCli, LogFileQuotesArgumentsWithBlanksCommasAndStars) {
  write("in", "1 2 3\n");
  run({"--nop", "-e", "1, 3", "--format=%5.2f *", "in", "out"});
  std::string log = read("logfile");
  EXPECT_TRUE(contains(log, " --nop -e \"1, 3\" --format=\"%5.2f *\" in out\n")) << log;
  run({"--nop", "in", "out"});
  std::string twice = read("logfile");
  EXPECT_EQ(std::count(twice.begin(), twice.end(), '\n'), 2);
}

}  // namespace
}  // namespace kest_cli
