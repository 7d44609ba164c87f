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
    for (std::size_t size = 0; size < static_cast<std::size_t>(megabytes) << 20; size += line.size()) {
      file << line;
    }
  }
};

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
  RunResult r = shell("script -qfec \"$KEST_BIN --nop big out\" typescript > /dev/null");
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
