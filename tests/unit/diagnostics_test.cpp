// The fatal report, warnings and messages, and the checked allocations.
#include "base/diagnostics.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "base/settings.h"

namespace kest {
namespace {

// Runs `body` with standard error (and optionally standard input) redirected to
// files; returns what was written to standard error.
std::string capture_stderr(const std::function<void()>& body, const std::string& input = "") {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path();
  const fs::path err_path = dir / ("kest-diag-err-" + std::to_string(getpid()));
  const fs::path in_path = dir / ("kest-diag-in-" + std::to_string(getpid()));
  std::ofstream(in_path) << input;
  std::fflush(stderr);
  int saved_err = dup(2);
  int saved_in = dup(0);
  FILE* err = std::freopen(err_path.c_str(), "w", stderr);
  FILE* in = std::freopen(in_path.c_str(), "r", stdin);
  EXPECT_TRUE(err != nullptr && in != nullptr);
  body();
  std::fflush(stderr);
  dup2(saved_err, 2);
  dup2(saved_in, 0);
  close(saved_err);
  close(saved_in);
  clearerr(stdin);
  std::ifstream text_file(err_path);
  std::ostringstream text;
  text << text_file.rdbuf();
  fs::remove(err_path);
  fs::remove(in_path);
  return text.str();
}

TEST(Diagnostics, FatalErrorCarriesModuleLineAndMessage) {
  try {
    fatal_error("utils", 42, "Could not open file %s\n", "x.dat");
    FAIL();
  } catch (const FatalError& error) {
    EXPECT_EQ(error.module(), "utils");
    EXPECT_EQ(error.line(), 42);
    EXPECT_EQ(error.message(), "Could not open file x.dat\n");
  }
}

TEST(Diagnostics, ReportWaitsForTwoCharactersOnlyWhenAsked) {
  reset_settings();
  FatalError error("nop", 7, "message");
  std::string err = capture_stderr([&] { EXPECT_EQ(report_fatal(error), 1); }, "ab");
  EXPECT_EQ(err, "\nError in File:nop(7):\nmessage");
  mutable_settings().wait_on_error = true;
  int next = 0;
  err = capture_stderr(
      [&] {
        EXPECT_EQ(report_fatal(error), 1);
        next = std::getchar();
      },
      "abc");
  EXPECT_EQ(err, "\nError in File:nop(7):\nmessage\nPress enter to continue\n");
  EXPECT_EQ(next, 'c');  // exactly two characters were read
  // At end of input the wait ends at once.
  err = capture_stderr([&] { EXPECT_EQ(report_fatal(error), 1); }, "");
  EXPECT_NE(err.find("Press enter"), std::string::npos);
  reset_settings();
}

TEST(Diagnostics, WarningsAndMessagesReadNoAnswer) {
  int next = 0;
  std::string err = capture_stderr(
      [&] {
        warning_message("maxbuff=%lu is to small. Reseting to %u\n", 1000UL, 131072U);
        info_message("Unknown separator\n");
        next = std::getchar();
      },
      "y");
  EXPECT_EQ(err,
            "\nWarning: maxbuff=1000 is to small. Reseting to 131072\n\nContinue [y/N]:"
            "\nMessage: Unknown separator\n");
  EXPECT_EQ(next, 'y');
}

TEST(Diagnostics, ExhaustedOrImpossibleAllocationsAreFatal) {
  try {
    vector_or_die<double>("utils", 9, SIZE_MAX / 4);
    FAIL();
  } catch (const FatalError& error) {
    EXPECT_EQ(error.message().rfind("Could not allocate memory ", 0), 0u);
  }
  EXPECT_THROW(matrix_alloc<double>(SIZE_MAX / 4, 4), FatalError);
  EXPECT_THROW(matrix_alloc<double>(4, SIZE_MAX / 2), FatalError);
}

TEST(Diagnostics, MatrixRowsShareOneContiguousBlock) {
  Matrix<double> m = matrix_alloc<double>(3, 4);
  ASSERT_EQ(m.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(m[i], m[0] + i * 4);
  m[2][3] = 1.5;
  EXPECT_EQ(m[0][11], 1.5);
  Matrix<double> empty = matrix_alloc<double>(0, 5);
  EXPECT_EQ(empty.size(), 0u);
}

}  // namespace
}  // namespace kest
