// The tool in a Unix workbench: pipelines in and out, a reader that goes away
// early, and the progress line of long work on a terminal.
#include <fstream>

#include "cli_harness.h"

namespace kest_cli {
namespace {

class WorkbenchCli : public CliTest {
 protected:
  // A data file of about `megabytes` MB.
  void big(const std::string& name, int megabytes) {
    std::ofstream file(path(name), std::ios::binary);
    const std::string line = "12345.678 -0.001 42 7e3 0.5 1 2 3 4 5\n";
    for (std::size_t size = 0; size < static_cast<std::size_t>(megabytes) << 20;
         size += line.size()) {
      file << line;
    }
  }
};

// Every kind of operation reads a pipe as it reads the file, writes standard
// output as it writes a file, and keeps its announcements off standard output;
// a pipe's spool is gone when the run ends.
TEST_F(WorkbenchCli, PipelinesGiveTheBytesOfFileRuns) {
  std::string rows = "# head\n";
  for (int i = 0; i < 20000; ++i) {
    rows += std::to_string(i % 97) + " " + std::to_string((i * 7919) % 1000) + " " +
            std::to_string(i) + ".5\n";
  }
  write("data", rows);
  for (const char* options :
       {"-k -e 2", "-r -e 3-7000", "-p 1.5 -e 2", "--sum-vertical --add-line-count", "-q 2,-1",
        "-t --output-c", "--flip-ud -e 1", "-u 3 -e 2", "--running-average=4 -e 3",
        "--keepgt=50 -e 1", "--math=sqrt -e 3", "-y --output-latex", "--shuffle -e 1"}) {
    const std::string file =
        shell(std::string("$KEST_BIN ") + options + " data out && cat out").out;
    RunResult piped = shell(std::string("cat data | TMPDIR=. $KEST_BIN ") + options + " - -");
    EXPECT_EQ(piped.status, 0) << options << piped.err;
    if (std::string(options) != "--shuffle -e 1") {
      EXPECT_TRUE(piped.out == file) << options;
    }
    EXPECT_FALSE(piped.out.empty()) << options;
  }
  EXPECT_EQ(shell("ls | grep -c kest-").out, "0\n");
  RunResult chain = shell("cat data | $KEST_BIN -# -k -e 2 /dev/stdin - | $KEST_BIN -# -q 1 - -");
  EXPECT_EQ(chain.status, 0);
  EXPECT_EQ(chain.out, shell("$KEST_BIN -# -k -e 2 data mid && $KEST_BIN -# -q 1 mid -").out);
}

// gzip, xz and zstd data, in files (read once or twice) and pipes, give the
// bytes of the plain file; a truncated file is refused, concatenated members read
// as one.
TEST_F(WorkbenchCli, CompressedInputsGiveTheBytesOfThePlainFile) {
  std::string rows = "# head\n";
  for (int i = 0; i < 30000; ++i)
    rows += std::to_string(i % 89) + " " + std::to_string(i) + ".25\n";
  write("data", rows);
  const char* options[] = {"-a --nop", "-q 2,-1", "-p 1.5 -e 2", "-t --output-c", "-u 3 -e 2"};
  for (const char* tool : {"gzip", "xz", "zstd -q"}) {
    const std::string name = std::string(tool).substr(0, std::string(tool).find(' '));
    if (shell("command -v " + name).status != 0) continue;
    ASSERT_EQ(shell(std::string(tool) + " -c data > packed").status, 0) << tool;
    for (const char* option : options) {
      const std::string plain = shell(std::string("$KEST_BIN -# ") + option + " data -").out;
      for (const std::string input : {"packed -", "- - < packed", "/dev/stdin - < packed"}) {
        const RunResult r = shell(std::string("$KEST_BIN -# ") + option + " " + input);
        EXPECT_EQ(r.status, 0) << tool << " " << option << " " << input << r.err;
        EXPECT_TRUE(r.out == plain) << tool << " " << option << " " << input;
      }
    }
    const RunResult cut = shell("head -c 300 packed > cut && $KEST_BIN -# --nop cut -");
    EXPECT_EQ(cut.status, 1) << tool;
    EXPECT_TRUE(contains(cut.err, "Could not decompress file cut (")) << cut.err;
  }
  if (shell("command -v gzip").status == 0) {
    EXPECT_EQ(shell("gzip -c data > two && gzip -c data >> two && $KEST_BIN -# --nop two -").out,
              shell("cat data data | $KEST_BIN -# --nop - -").out);
  }
}

TEST_F(WorkbenchCli, AReaderThatGoesAwayEndsTheRunQuietly) {
  big("big", 8);
  // The status a shell shows for the broken pipe, and no error report.
  RunResult r = shell("{ $KEST_BIN -# --nop big - 2>err; echo $? > status; } | head -1");
  EXPECT_EQ(r.out, "12345.678 -0.001 42 7000 0.5 1 2 3 4 5\n");
  EXPECT_EQ(read("status"), "141\n");
  EXPECT_EQ(read("err"), "Kest: nop ");
  // Also when the broken pipe is ignored by the caller.
  r = shell("trap \"\" PIPE; { $KEST_BIN -# --nop big - 2>err; echo $? > status; } | head -1");
  EXPECT_EQ(read("status"), "141\n");
  EXPECT_EQ(read("err"), "Kest: nop ");
}

TEST_F(WorkbenchCli, ProgressShowsOnATerminalOnlyAndErasesItself) {
  big("big", 70);
  // A reader that starts late makes the run outlast the first update, however
  // fast the copy is.
  RunResult r = shell(
      "script -qfec \"$KEST_BIN --nop big - | { sleep 1; cat > /dev/null; }\" typescript > "
      "/dev/null");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string screen = read("typescript");
  EXPECT_TRUE(contains(screen, "% ")) << screen;
  EXPECT_TRUE(contains(screen, " MB/s\r")) << screen;
  // Erased before the closing banner.
  const std::size_t last = screen.rfind(" MB/s\r");
  const std::size_t banner = screen.find("kest Version");
  ASSERT_NE(banner, std::string::npos);
  EXPECT_LT(last, banner);
  EXPECT_TRUE(contains(screen.substr(last, banner - last), "\r          ")) << "not erased";
  // Not on a file, not when quiet.
  EXPECT_FALSE(contains(run({"--nop", "big", "out"}).err, "MB/s"));
  shell("script -qfec \"$KEST_BIN -# --nop big out\" typescript > /dev/null");
  EXPECT_FALSE(contains(read("typescript"), "MB/s"));
}

}  // namespace
}  // namespace kest_cli
