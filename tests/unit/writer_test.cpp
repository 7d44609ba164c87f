// The row writer: flagged columns, the number texts, texts of any length, failed
// writes and the --format check. (The styles are shown end to end by the nop tests.)
#include "io/writer.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>

#include "base/settings.h"
#include "io/reader.h"
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

// A million tokens of every form, on lines with one or several separators:
// the rows written by copying the tokens that are their values' own texts are
// the rows written from the values.
TEST_F(WriterTest, CopiedTokensGiveTheBytesOfTheirValues) {
  std::mt19937_64 rng(1207);
  auto pick = [&rng](unsigned n) { return static_cast<unsigned>(rng() % n); };
  static const char* const kForms[] = {"-",  "",    "",     "+",   "0", "00",
                                       "-0", "1e3", "7E-2", "inf", "x"};
  std::string text;
  const int tokens = 1000000 / testing::kScale;
  for (int i = 0; i < tokens; ++i) {
    if (pick(3) == 0) text += kForms[pick(std::size(kForms))];
    for (unsigned d = pick(11); d > 0; --d) text += static_cast<char>('0' + pick(10));
    if (pick(2) == 0) {
      text += '.';
      for (unsigned d = pick(9); d > 0; --d) text += static_cast<char>('0' + pick(10));
    }
    text += i % 10 == 9 ? (pick(20) == 0 ? "\r\n" : "\n") : pick(8) == 0 ? "\t " : " ";
  }
  mutable_settings().quiet = true;
  for (const char delimiter : {'\0', '\t'}) {
    mutable_settings().delimiter = delimiter != 0 ? delimiter : ' ';
    auto copied = OutputStream::memory(), from_values = OutputStream::memory(),
         from_text = OutputStream::memory();
    auto values_in = InputStream::from_string(text, 4096), text_in = InputStream::from_string(text);
    std::vector<double> row(10);
    RowText hints, row_text;
    while (read_row(*values_in, row.data(), nullptr, 10, &hints) != nullptr) {
      ASSERT_TRUE(read_text_row(*text_in, row_text, nullptr, 10));
      if (row[3] > 50) row[3] = -row[3];  // an operation's change is written from its value
      if (row[3] < -50) row_text.set(3, row[3]);
      write_row(*copied, row.data(), 10, nullptr, &hints);
      write_row(*from_values, row.data(), 10);
      write_text_row(*from_text, row_text);
    }
    const std::string expected = from_values->text();
    EXPECT_TRUE(copied->text() == expected);
    EXPECT_TRUE(from_text->text() == expected);
  }
}

}  // namespace
}  // namespace kest
