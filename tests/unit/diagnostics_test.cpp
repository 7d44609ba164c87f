// The fatal report, warnings and messages, and the checked allocations.
#include "base/diagnostics.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include "base/settings.h"
#include "support.h"

namespace kest {
namespace {

using Diagnostics = testing::TempDirTest;

// Warnings and messages read no answer; the fatal report, with the module and
// line that raised it, reads two characters (the Enter) only when asked to wait.
TEST_F(Diagnostics, OnlyAWaitingFatalReportReadsStandardInput) {
  reset_settings();
  const int saved_in = dup(0);
  const int in = open(write("in", "abc").c_str(), O_RDONLY);
  dup2(in, 0);
  close(in);
  testing::Capture err(2);
  warning_message("maxbuff=%lu is to small. Reseting to %u\n", 1000UL, 131072U);
  info_message("Unknown separator\n");
  try {
    fatal_error("utils", 42, "Could not open file %s\n", "x.dat");
  } catch (const FatalError& error) {
    EXPECT_EQ(report_fatal(error), 1);
    mutable_settings().wait_on_error = true;
    EXPECT_EQ(report_fatal(error), 1);
  }
  const int next = std::getchar();
  dup2(saved_in, 0);
  close(saved_in);
  clearerr(stdin);
  reset_settings();
  EXPECT_EQ(next, 'c');
  EXPECT_EQ(err.text(),
            "\nWarning: maxbuff=1000 is to small. Reseting to 131072\n\nContinue [y/N]:"
            "\nMessage: Unknown separator\n"
            "\nError in File:utils(42):\nCould not open file x.dat\n"
            "\nError in File:utils(42):\nCould not open file x.dat\n\nPress enter to continue\n");
}

// A table is one contiguous block; sizes that cannot be held are fatal.
TEST(Allocation, MatrixRowsShareOneBlockAndImpossibleSizesAreFatal) {
  Matrix<double> m = matrix_alloc<double>(3, 4);
  ASSERT_EQ(m.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(m[i], m[0] + i * 4);
  EXPECT_EQ(matrix_alloc<double>(0, 5).size(), 0u);
  EXPECT_TRUE(testing::fatal_message([] {
                vector_or_die<double>("utils", 9, SIZE_MAX / 4);
              }).starts_with("Could not allocate memory "));
  EXPECT_THROW(matrix_alloc<double>(SIZE_MAX / 4, 4), FatalError);
  EXPECT_THROW(matrix_alloc<double>(4, SIZE_MAX / 2), FatalError);
}

}  // namespace
}  // namespace kest
