// The row writer: flagged columns, the number texts, texts of any length, failed
// writes and the --format check. (The styles are shown end to end by the nop tests;
// copied tokens against rows from values are the reader fuzz target's check.)
#include "io/writer.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "base/settings.h"
#include "support.h"

namespace kest {
namespace {

class WriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_settings();
    select_standard_output();
  }
  void TearDown() override {
    select_standard_output();
    reset_settings();
  }
  // The rows written with `flags`, nothing around them.
  static std::string rows(const std::vector<std::vector<double>>& rows,
                          const std::uint8_t* flags = nullptr) {
    auto out = OutputStream::memory();
    for (const auto& row : rows) write_row(*out, row.data(), row.size(), flags);
    return out->text();
  }
};

TEST_F(WriterTest, FlaggedColumnsAreLeftOutAndAnAllFlaggedRowStillEnds) {
  const std::uint8_t some[] = {0, 1, 0}, all[] = {1, 1, 1};
  EXPECT_EQ(rows({{1, 2, 3}}, some) + rows({{1, 2, 3}}, all) + rows({{}}), "1 3\n\n\n");
  select_c_output();
  EXPECT_EQ(rows({{1, 2, 3}}, all), "{ },\n");
}

// The user's format, then extra precision (one column or all), then the
// default text; the largest values are written whole.
TEST_F(WriterTest, NumberTextFollowsFormatThenExtraPrecisionThenDefault) {
  const std::vector<std::vector<double>> values = {{1.0 / 3, 0.1, -DBL_MAX, INFINITY}};
  EXPECT_EQ(rows(values), "0.333333 0.1 -1.7976931348623157e+308 inf\n");
  mutable_settings().xtra = 1;
  EXPECT_EQ(rows(values), "0.333333 0.100000000000000006 -1.7976931348623157e+308 inf\n");
  mutable_settings().xtra = -1;
  EXPECT_EQ(rows(values),
            "0.333333333333333315 0.100000000000000006 -1.79769313486231571e+308 inf\n");
  mutable_settings().format_set = true;
  mutable_settings().number_format = "<%5.2e%%>";
  EXPECT_EQ(rows(values), "<3.33e-01%> <1.00e-01%> <-1.80e+308%> <  inf%>\n");
}

// Exactly one e/f/g conversion with flags, a width and a precision of at most
// 4096; every other '%' doubled.
TEST_F(WriterTest, FormatCheck) {
  for (const char* good :
       {"%8.3f", "x=%e%%", "%-+#0 12.e", "%G", "%.f", "%%%g", "%4096f", "%4096.4096e"}) {
    EXPECT_TRUE(check_number_format(good)) << good;
  }
  for (const char* bad : {"%lf", "%d", "%f %f", "abc", "%", "", "%%", "%5.2e%", "%*f", "%5.2.1f",
                          "%n", "%s", "%1$f", "%4097f", "%999999999f", "%.4097f", "%2147483648f"}) {
    EXPECT_FALSE(check_number_format(bad)) << bad;
  }
}

TEST_F(WriterTest, TextsOfAnyLengthArriveWhole) {
  mutable_settings().format_set = true;
  mutable_settings().number_format = "%70000.1f";
  const std::vector<double> values(3, 1.5);
  auto out = OutputStream::memory();
  write_row(*out, values.data(), values.size());
  out->write(std::string(200000, 'c'));
  EXPECT_EQ(out->text().size(), 3u * 70000 + 2 + 1 + 200000);
}

TEST_F(WriterTest, AFailedWriteIsFatalAtOnce) {
  auto out = OutputStream::open_file("/dev/full", false);
  ASSERT_TRUE(out);
  const double values[] = {1, 2, 3};
  EXPECT_EQ(testing::fatal_message([&] {
              for (int i = 0; i < 30000; ++i) write_row(*out, values, 3);
            }),
            "Could not write file /dev/full\n");
  out = OutputStream::open_file("/dev/full", false);
  write_row(*out, values, 3);
  EXPECT_EQ(testing::fatal_message([&] { out->close(); }), "Could not write file /dev/full\n");
}

}  // namespace
}  // namespace kest
