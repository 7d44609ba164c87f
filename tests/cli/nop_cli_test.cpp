// The nop operation end to end: styles, comments, standard output, refusals and
// write errors.
#include "cli_harness.h"

namespace kest_cli {
namespace {

class NopCli : public CliTest {};

TEST_F(NopCli, CopiesRowsAndAnnouncesOnStandardError) {
  write("in", "# head\nx y\n1 2\n3 4\n");
  RunResult r = run({"--nop", "in", "out"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read("out"), "1 2\n3 4\n");
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("Do nothing\nFound 2 variables.\n"), std::string::npos) << r.err;
}

TEST_F(NopCli, QuietRunWritesTheSummaryAndOneLineEnd) {
  write("in", "1 2\n");
  RunResult r = run({"--quiet", "--noop", "in", "-"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1 2\n");
  EXPECT_EQ(r.err, "Kest: nop \n");
}

TEST_F(NopCli, StylesCommentsAndLineCount) {
  write("in", "# a comment\n1 2.50 3\n4 5 6e1\n");
  struct Case {
    std::vector<std::string> args;
    std::string expected;
  } cases[] = {
      {{"-a"}, "# a comment\n1 2.5 3\n4 5 60\n"},
      {{"-a", "--add-line-count"}, "2\n# a comment\n1 2.5 3\n4 5 60\n"},
      {{"-a", "--output-csv"}, "1, 2.5, 3\n4, 5, 60\n"},
      {{"-a", "--output-latex"},
       "% there are 0 lines in table\n\\begin{tabular}{l l l}\n% # a comment\n1 & 2.5 & 3 \\\\\n"
       "4 & 5 & 60 \\\\\n\\end{tabular}\n"},
      {{"--output-c", "--add-line-count"},
       "double data[2][3] = {\n{ 1, 2.5, 3},\n{ 4, 5, 60},\n};\n"},
      {{"--latex-output", "--output-csv"}, "1, 2.5, 3\n4, 5, 60\n"},
      {{"-x", "2"}, "1 2.5 3\n4 5 60\n"},
      {{"-z", ";"}, "1;2.5;3\n4;5;60\n"},
      {{"--format=%.2f"}, "1.00 2.50 3.00\n4.00 5.00 60.00\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--nop", "in", "out"});
    RunResult r = run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read("out"), c.expected) << args[0];
  }
}

TEST_F(NopCli, RefusesToOverwriteItsInput) {
  write("in", "1 2\n");
  ASSERT_EQ(link(path("in").c_str(), path("alias").c_str()), 0);
  for (const char* out : {"in", "./in", "alias"}) {
    RunResult r = run({"--nop", "in", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(std::string("Input and output are the same file: ") + out + "\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(read("in"), "1 2\n");
  }
  RunResult r = run({"--append", "--nop", "in", "alias"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(read("in"), "1 2\n");
}

TEST_F(NopCli, AWriteErrorIsAFailure) {
  std::string rows;
  for (int i = 0; i < 50000; ++i) rows += "1 2 3 4\n";
  write("in", rows);
  RunResult r = run({"--nop", "in", "/dev/full"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Could not write file /dev/full\n"), std::string::npos) << r.err;
  for (const char* option : {"-v", "--more"}) {
    r = run({option, "-c", "in"}, "", {}, KEST_BINARY, "/dev/full");
    EXPECT_EQ(r.status, 1) << option;
    EXPECT_NE(r.err.find("Could not write file stdout\n"), std::string::npos) << r.err;
  }
}

// Standard input and pipes are inputs like files, also when the run reads them
// more than once; a pipe's spool is gone when the run ends.
TEST_F(NopCli, PipesAndStandardInputGiveTheBytesOfAFile) {
  std::string rows = "# head\n";
  for (int i = 0; i < 100000; ++i) rows += std::to_string(i) + " " + std::to_string(i % 7) + "\n";
  write("data", rows);
  for (const char* options : {"--nop", "--nop --add-line-count -a --output-c"}) {
    const std::string plain = shell(std::string("$KEST_BIN -# ") + options + " data -").out;
    ASSERT_FALSE(plain.empty());
    for (const char* input : {"-", "/dev/stdin"}) {
      RunResult r = shell(std::string("cat data | TMPDIR=. $KEST_BIN -# ") + options + " " + input + " -");
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_TRUE(r.out == plain) << options << " " << input;
    }
  }
  EXPECT_EQ(shell("ls | grep -c kest-").out, "0\n");
}

// Lines of any length are read whole: a number is never cut in two.
TEST_F(NopCli, LongLinesAreNeverSplit) {
  write("in", "1 2" + std::string(131068, ' ') + "12345 6\n#" + std::string(150000, 'c') +
                  "\n7 8 9 10\n");
  RunResult r = run({"--nop", "in", "-"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1 2 12345 6\n7 8 9 10\n");
}

// Kept comments stream to the output: a huge comment block costs no memory.
TEST_F(NopCli, KeptCommentsDoNotGrowMemory) {
  std::size_t size = 0;
  {
    std::ofstream file(path("in"), std::ios::binary);
    const std::string comment = "# " + std::string(998, 'c') + "\n";
    file << "1 2\n";
    for (int i = 0; i < 40000; ++i) file << comment;
    file << "3 4\n";
    size = static_cast<std::size_t>(file.tellp());
  }
  RunResult r = run({"-a", "--nop", "in", "out"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(std::filesystem::file_size(path("out")), size);
  EXPECT_LT(r.peak_kb, 20000) << "40 MB of comments between two rows";
}

TEST_F(NopCli, OpenFailures) {
  RunResult r = run({"--nop", "missing", "out"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("\nError in File:"), std::string::npos);
  EXPECT_NE(r.err.find("Could not open file missing\n"), std::string::npos) << r.err;
  write("in", "1\n");
  r = run({"--nop", "in", "no/such/dir/out"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Could not open file no/such/dir/out for writing\n"), std::string::npos);
  r = run({"--append", "--nop", "in", "no/such/dir/out"});
  EXPECT_NE(r.err.find("Could not open file no/such/dir/out for appending\n"), std::string::npos);
}

TEST_F(NopCli, HostileInputsNeitherCrashNorHang) {
  std::string wide;
  for (int i = 0; i < 20000; ++i) wide += std::to_string(i % 97) + " ";
  wide += "\n";
  std::string huge(10 * 1024 * 1024, '7');
  huge += "\n1\n";
  std::string nul = std::string("1 2\0 3\n", 7) + std::string("\0 9\n", 4) + "4 5\n";
  write("wide", wide);
  write("huge", huge);
  write("nul", nul);
  write("empty", "");
  RunResult r = run({"--nop", "wide", "out"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read("out"), wide.substr(0, wide.size() - 2) + "\n");
  r = run({"--nop", "huge", "out"});
  EXPECT_EQ(r.status, 0);
  r = run({"--nop", "nul", "out"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read("out"), "1 2\n4 5\n");
  r = run({"--nop", "empty", "out"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read("out"), "");
}

}  // namespace
}  // namespace kest_cli
