// The row writer, the four output styles and the --format check.
#include "io/writer.h"

#include <gtest/gtest.h>

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
  void TearDown() override { select_standard_output(); }

  // Header, the given rows, a comment between them, and the footer.
  static std::string table(std::uint32_t columns, std::uint32_t rows_figure,
                           const std::vector<std::vector<double>>& rows) {
    auto out = OutputStream::memory();
    const OutputFormat& style = out->style();
    style.header(*out, columns, rows_figure);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (i == 1) style.comment(*out, "note");
      write_row(*out, rows[i].data(), rows[i].size());
    }
    style.footer(*out);
    return out->text();
  }
};

TEST_F(WriterTest, EveryStyleWritesItsTexts) {
  const std::vector<std::vector<double>> rows = {{1, 2.5, -3}, {4, 5, 6}};
  struct Case {
    void (*select)();
    std::uint32_t row_figure;
    const char* expected;
  } cases[] = {
      {select_standard_output, 0, "1 2.5 -3\nnote\n4 5 6\n"},
      {select_standard_output, 2, "2\n1 2.5 -3\nnote\n4 5 6\n"},
      {select_csv_output, 2, "1, 2.5, -3\n4, 5, 6\n"},
      {select_latex_output, 0,
       "% there are 0 lines in table\n\\begin{tabular}{l l l}\n1 & 2.5 & -3 \\\\\n% note\n"
       "4 & 5 & 6 \\\\\n\\end{tabular}\n"},
      {select_c_output, 0, "double data[][3] = {\n{ 1, 2.5, -3},\n/* note */\n{ 4, 5, 6},\n};\n"},
      {select_c_output, 2, "double data[2][3] = {\n{ 1, 2.5, -3},\n/* note */\n{ 4, 5, 6},\n};\n"},
  };
  for (const Case& c : cases) {
    c.select();
    EXPECT_EQ(table(3, c.row_figure, rows), c.expected);
  }
}

TEST_F(WriterTest, LatexHeaderWithoutColumnsHasAnEmptySpecification) {
  select_latex_output();
  EXPECT_EQ(table(0, 5, {}), "% there are 5 lines in table\n\\begin{tabular}{}\n\\end{tabular}\n");
}

TEST_F(WriterTest, FlaggedColumnsAreLeftOutAndAnAllFlaggedRowStillEnds) {
  const double values[] = {1, 2, 3};
  const std::uint8_t some[] = {0, 1, 0};
  const std::uint8_t all[] = {1, 1, 1};
  auto out = OutputStream::memory();
  write_row(*out, values, 3, some);
  write_row(*out, values, 3, all);
  write_row(*out, values, 0);
  EXPECT_EQ(out->text(), "1 3\n\n\n");
  select_c_output();
  auto c = OutputStream::memory();
  write_row(*c, values, 3, all);
  EXPECT_EQ(c->text(), "{ },\n");
}

TEST_F(WriterTest, DelimiterOnlyChangesTheStandardStyle) {
  mutable_settings().delimiter = '\t';
  const double values[] = {1, 2};
  auto out = OutputStream::memory();
  write_row(*out, values, 2);
  select_csv_output();
  auto csv = OutputStream::memory();
  write_row(*csv, values, 2);
  EXPECT_EQ(out->text() + csv->text(), "1\t2\n1, 2\n");
}

TEST_F(WriterTest, NumberTextFollowsFormatThenExtraPrecisionThenDefault) {
  const double values[] = {1.0 / 3, 0.1, 1e20};
  auto text = [&] {
    auto out = OutputStream::memory();
    write_row(*out, values, 3);
    return out->text();
  };
  EXPECT_EQ(text(), "0.333333 0.1 1e+20\n");
  mutable_settings().xtra = 1;
  EXPECT_EQ(text(), "0.333333 0.100000000000000006 1e+20\n");
  mutable_settings().xtra = -1;
  EXPECT_EQ(text(), "0.333333333333333315 0.100000000000000006 1e+20\n");
  mutable_settings().format_set = true;
  mutable_settings().number_format = "<%5.2e%%>";
  EXPECT_EQ(text(), "<3.33e-01%> <1.00e-01%> <1.00e+20%>\n");
}

TEST_F(WriterTest, HugeValuesAreWrittenWholeByDefault) {
  const double values[] = {-1.7976931348623157e308, 1e247, INFINITY, -INFINITY};
  auto out = OutputStream::memory();
  write_row(*out, values, 4);
  char big[64];
  std::snprintf(big, sizeof big, "%.17g", 1e247);
  EXPECT_EQ(out->text(), "-1.7976931348623157e+308 " + std::string(big) + " inf -inf\n");
}

TEST_F(WriterTest, FormatCheck) {
  struct Case {
    const char* text;
    bool ok;
  } cases[] = {
      {"%8.3f", true},    {"x=%e%%", true}, {"%-+#0 12.e", true}, {"%G", true},      {"%.f", true},
      {"%%%g", true},     {"%lf", false},   {"%d", false},        {"%f %f", false},  {"abc", false},
      {"%", false},       {"", false},      {"%%", false},        {"%5.2e%", false}, {"%*f", false},
      {"%5.2.1f", false}, {"%n", false},    {"%s", false},        {"%1$f", false},
      // Widths and precisions the library cannot convert.
      {"%2147483647f", true}, {"%2147483648f", false}, {"%99999999999f", false},
      {"%.2147483648f", false},
  };
  for (const Case& c : cases) EXPECT_EQ(check_number_format(c.text), c.ok) << c.text;
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
