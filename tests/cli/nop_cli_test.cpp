// The nop operation end to end: the announcement, styles chosen by options,
// long lines and streaming comments.
#include "cli_harness.h"

namespace kest_cli {
namespace {

using NopCli = CliTest;

// Here the arguments come from argument files ("#" arguments are dropped).
TEST_F(NopCli, CopiesRowsAnnouncesAndEndsWithTheBanner) {
  write("in", "# head\nx y\n1 2\n3 4\n");
  write("args", "--nop\n#a comment line\nin\n@more\n");
  write("more", "out\n");
  RunResult r = run({"@args", "#dropped"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read("out"), "1 2\n3 4\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("Do nothing\nFound 2 variables.\n\nkest Version ", 0), 0u) << r.err;
}

// A header with digits in it, or a first data line that starts with a word,
// would make a file of no columns and an empty output.
TEST_F(NopCli, AFirstDataLineWithoutANumberIsRefusedBeforeTheOutputOpens) {
  const std::string advice = "; skip header lines with --skip-rows\n";
  write("h", "time temp1 temp2\n1 2 3\n");
  write("w", "# where\nstation Lund 55.7\n");
  for (const char* op : {"--nop", "-t", "-q 1"}) {
    RunResult r = run_words(std::string(op) + " h out");
    EXPECT_EQ(r.status, 1) << op;
    EXPECT_TRUE(ends_with(r.err, "No number on the first data line (line 1)" + advice)) << r.err;
    EXPECT_FALSE(exists("out")) << op;
    r = run_words(std::string(op) + " w out");
    EXPECT_TRUE(ends_with(r.err, "No number on the first data line (line 2)" + advice)) << r.err;
  }
  EXPECT_EQ(run_words("--nop --skip-rows=1 h -").out, "1 2 3\n");
  const RunResult check = run_words("-c h");
  EXPECT_EQ(check.status, 0);
  EXPECT_TRUE(contains(check.out, "\nh                               0        2\n")) << check.out;
  EXPECT_TRUE(contains(check.err, "Should be 0 but found 3.\n")) << check.err;
}

// Rows filled up with 0 and a separator the reader does not know are told about
// once per input, after the data; the file check keeps its own reports.
TEST_F(NopCli, RowsFilledWithZeroAreToldAboutOnce) {
  write("in", "1 2 3\n4 5\n6,7,8\n9/1/2003\n");
  RunResult r = run_words("--nop in -");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1 2 3\n4 5 0\n6 0 0\n9 0 0\n");
  EXPECT_TRUE(
      contains(r.err,
               "Found 3 variables.\nWarning: line 3: ',' after a number is not a separator; "
               "the rest of the line is not read (use --input-delimiter=,)\n"
               "Warning: 3 rows had fewer than 3 values and were filled with 0 "
               "(first at line 2)\n\nkest Version"))
      << r.err;
  r = run_words("--quiet -k -e 1 in -");
  EXPECT_EQ(r.err.rfind("Kest: Remove columns \nWarning: line 3: ','", 0), 0u) << r.err;
  EXPECT_TRUE(ends_with(r.err, "(first at line 2)\n")) << r.err;
  EXPECT_FALSE(contains(run_words("-c in").err, "filled with 0"));
}

// The options reach the output: each style with its header, kept comments and
// footer (the last style given wins), the row count of the header, the
// delimiter of the standard style and the number text.
TEST_F(NopCli, OptionsShapeTheOutput) {
  write("in", "1 2.50 3\n# a comment\n4 5 6e1\n");
  write("empty", "");
  struct Case {
    std::vector<std::string> args;
    std::string expected;
  } cases[] = {
      {{"-a", "--add-line-count", "-z", ";"}, "2\n1;2.5;3\n# a comment\n4;5;60\n"},
      {{"-a", "--output-latex"},
       "% there are 0 lines in table\n\\begin{tabular}{l l l}\n1 & 2.5 & 3 \\\\\n% # a comment\n"
       "4 & 5 & 60 \\\\\n\\end{tabular}\n"},
      {{"-a", "--output-c"},
       "double data[][3] = {\n{ 1, 2.5, 3},\n/* # a comment */\n{ 4, 5, 60},\n};\n"},
      {{"--output-c", "--add-line-count"},
       "double data[2][3] = {\n{ 1, 2.5, 3},\n{ 4, 5, 60},\n};\n"},
      {{"-a", "--latex-output", "--output-csv", "-z", ";", "--format=%.2f"},
       "1.00, 2.50, 3.00\n4.00, 5.00, 60.00\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--nop", "in", "out"});
    EXPECT_EQ(run(args).status, 0);
    EXPECT_EQ(read("out"), c.expected) << args[0] << " " << args[1];
  }
  EXPECT_EQ(run({"--output-latex", "--nop", "empty", "-"}).out,
            "% there are 0 lines in table\n\\begin{tabular}{}\n\\end{tabular}\n");
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
  {
    std::ofstream file(path("in"), std::ios::binary);
    const std::string comment = "# " + std::string(998, 'c') + "\n";
    file << "1 2\n";
    for (int i = 0; i < 40000; ++i) file << comment;
    file << "3 4\n";
  }
  RunResult r = run({"-a", "--nop", "in", "out"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(std::filesystem::file_size(path("out")), std::filesystem::file_size(path("in")));
  // The sanitizer's own bookkeeping of two threads takes some megabytes more.
  EXPECT_LT(r.peak_kb, kest::testing::kScale == 1 ? 20000 : 30000)
      << "40 MB of comments between two rows";
}

}  // namespace
}  // namespace kest_cli
