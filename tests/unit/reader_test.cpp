// The data-file reader: classification, counting, parsing, comments, and inputs
// that cannot seek. (Lines across blocks and pipes against files are the reader
// fuzz target's checks, replayed by the fuzz replay test.)
#include "io/reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/settings.h"
#include "support.h"

namespace kest {
namespace {

using Rows = std::vector<std::vector<double>>;
using std::string_literals::operator""s;

class ReaderTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    reset_settings();
    reset_pending_comments();
    mutable_settings().quiet = true;
  }

  // Every row read_row delivers for n variables.
  static Rows read_all(InputStream& in, std::uint32_t n, CommentSink* sink = nullptr) {
    Rows rows;
    std::vector<double> values(n + 1, -7.0);
    while (read_row(in, values.data(), sink, n) != nullptr) {
      EXPECT_EQ(values[n], -7.0);  // never more than n values stored
      rows.emplace_back(values.begin(), values.end() - 1);
    }
    return rows;
  }
  static Rows read_all(const std::string& text, std::uint32_t n) {
    return read_all(*InputStream::from_string(text), n);
  }
  // The first data line of `text`, or "<none>", and the rows still to skip.
  static std::pair<std::string, std::int32_t> first_data(const std::string& text) {
    auto in = InputStream::from_string(text);
    const char* line = read_data_line(*in, nullptr);
    return {line != nullptr ? line : "<none>", in->skip_rows_left()};
  }
  // A stream reading `data` through a pipe.
  std::unique_ptr<InputStream> piped(const std::string& data, std::size_t block) {
    write("data", data);
    FILE* source = popen(("cat '" + path("data") + "'").c_str(), "r");
    auto stream = InputStream::open("/dev/fd/" + std::to_string(fileno(source)), block);
    pipes_.push_back(source);
    return stream;
  }
  void TearDown() override {
    for (FILE* pipe : pipes_) pclose(pipe);
    TempDirTest::TearDown();
  }
  std::vector<FILE*> pipes_;
};

TEST_F(ReaderTest, ClassificationOrder) {
  struct Case {
    std::string text;
    bool qxstars;
    std::int32_t skip_rows;
    const char* first;  // first data line, without its line end
    std::int32_t skip_left;
  } cases[] = {
      {"\0 1\n5\n7\n"s, false, 1, "7", 0},  // NUL line: not data, not a skipped row
      {"1*2\n5\n7\n", true, 1, "7", 0},     // star line: not data, not a skipped row
      {"1*2\n", false, 0, "1*2", 0},
      {"#c\n1 2\n3 4\n", false, 2, "3 4", 0},  // comment and data line both skipped
      {"\n1 2\n3 4\n", false, 2, "3 4", 0},    // a blank line is a skipped row too
      {"1\n", false, 5, "<none>", 4},
      {"!1\n#1\n;1\nwords\n\n\r\n a1\n", false, 0, " a1", 0},
      {" #1 2\n", false, 0, " #1 2", 0},  // only the very first character marks a comment
  };
  for (const Case& c : cases) {
    mutable_settings().qxstars = c.qxstars;
    mutable_settings().skip_rows = c.skip_rows;
    EXPECT_EQ(first_data(c.text), std::make_pair(std::string(c.first), c.skip_left)) << c.text;
  }
}

TEST_F(ReaderTest, CountAndParseTable) {
  struct Case {
    const char* line;
    std::uint32_t count;
    std::vector<double> plain, comma;
  } cases[] = {
      {"1 2 3\n", 3, {1, 2, 3}, {1, 2, 3}},
      {"1,2,3\n", 3, {1, 0, 0}, {1, 2, 3}},
      {"1;2;3\n", 1, {1, 0, 0}, {1, 0, 0}},
      {"1 2 x 4\n", 2, {1, 2, 0}, {1, 2, 0}},
      {"1.5abc 2\n", 1, {1.5, 0, 0}, {1.5, 0, 0}},
      {"1 2\n", 2, {1, 2, 0}, {1, 2, 0}},
      {"1 2 3 4\n", 4, {1, 2, 3}, {1, 2, 3}},
      {"1e5,2\n", 2, {1e5, 0, 0}, {1e5, 2, 0}},
      {"\t-1e2 ,, +.5\r\n", 2, {-100, 0, 0}, {-100, 0.5, 0}},
  };
  for (const Case& c : cases) {
    for (std::int32_t delimiter : {0, int{','}}) {
      mutable_settings().input_delimiter = delimiter;
      EXPECT_EQ(count_values(c.line), c.count) << c.line;
      EXPECT_EQ(read_all(c.line, 3), Rows{delimiter ? c.comma : c.plain}) << c.line;
    }
  }
  // The delimiter splits before numbers are read: 'e' cannot join an exponent.
  mutable_settings().input_delimiter = 'e';
  EXPECT_EQ(read_all("1e5\n", 2), (Rows{{1, 5}}));
}

TEST_F(ReaderTest, CommentsGoToTheSinkOfThePassAndEachPassStartsOver) {
  const std::string text = "#c\r\nwords only\n\n1 2 3\n#ab\0cd\n4 5 6"s;
  mutable_settings().keep_comments = true;
  mutable_settings().skip_rows = 4;  // the first four lines, "1 2 3" included
  auto in = InputStream::from_string(text, 5);
  EXPECT_EQ(count_variables(*in), 3u);
  in->rewind();
  EXPECT_EQ(read_all(*in, 3, &pending_comment_sink()), (Rows{{4, 5, 6}}));
  EXPECT_TRUE(in->eof());
  EXPECT_EQ(pending_comments(), (std::deque<std::string>{"#c", "words only", "", "1 2 3", "#ab"}));
  // A rewind restores the rows to skip; without a sink comments are dropped.
  in->rewind();
  EXPECT_EQ(in->skip_rows_left(), 4);
  EXPECT_EQ(read_all(*in, 3).size(), 1u);
  // Without --keep-comments nothing reaches the sink.
  mutable_settings().keep_comments = false;
  in->rewind();
  reset_pending_comments();
  read_all(*in, 3, &pending_comment_sink());
  EXPECT_TRUE(pending_comments().empty());
}

// A line whose parse stops at a character glued to a number is told about once per
// input, with its line number; rows filled up with 0 are counted per pass.
TEST_F(ReaderTest, APartlyReadLineIsToldOnceAndShortRowsAreCounted) {
  const struct {
    std::string text;
    std::uint32_t n;
    char stop;  // the character reported, or 0 for no report
    std::uint64_t short_rows, first_line;
    std::int32_t delimiter = 0;
  } cases[] = {
      {"1,2,3\n4,5,6\n", 3, ',', 2, 1},
      {"1 2,3\n", 3, 0, 0, 0, ','},  // the delimiter separates
      {"# c\n\n2/27/2003 5\n", 2, '/', 1, 3},
      {"1;2;3\n3,5\n", 3, ';', 2, 1},
      {"1.5abc 2\n", 2, 'a', 1, 1},
      {"1891-1900\n1 2 3,4\n", 2, 0, 0, 0},  // a sign starts a number; a full row is read
      {"1 2\n1 2 x 4\n 1 2 ,3\n", 3, 0, 3, 1},
      {"1\x01 2\n", 2, 0, 1, 1},  // bytes that are not printable are no separators
  };
  mutable_settings().quiet = false;
  for (const auto& c : cases) {
    mutable_settings().input_delimiter = c.delimiter;
    auto in = InputStream::from_string(c.text);
    testing::Capture err(2);
    read_all(*in, c.n);
    const std::string first_pass = err.text();
    const RowNotes rows = in->row_notes();
    EXPECT_EQ(rows.short_rows, c.short_rows) << c.text;
    EXPECT_EQ(rows.first_short_line, c.first_line) << c.text;
    EXPECT_EQ(rows.wanted, c.short_rows != 0 ? c.n : 0) << c.text;
    EXPECT_EQ(first_pass.empty(), c.stop == 0) << c.text << first_pass;
    if (c.stop != 0) {
      EXPECT_TRUE(testing::contains(first_pass, "' after a number")) << first_pass;
      EXPECT_EQ(first_pass[first_pass.find('\'') + 1], c.stop) << first_pass;
    }
    // Another pass counts again and says nothing more.
    in->rewind();
    testing::Capture again(2);
    read_all(*in, c.n);
    EXPECT_EQ(again.text(), "") << c.text;
    EXPECT_EQ(in->row_notes().short_rows, c.short_rows) << c.text;
  }
  mutable_settings().input_delimiter = 0;
  testing::Capture err(2);
  read_all("\n1 2\n3,5 6\n", 2);
  EXPECT_EQ(err.text(),
            "Warning: line 3: ',' after a number is not a separator; the rest of the line is not "
            "read (use --input-delimiter=,)\n");
}

// Inputs without data, --skip-columns, and a row as wide as it comes.
TEST_F(ReaderTest, EdgeCases) {
  for (const std::string& text : {""s, "# only\n\nwords\n"s, "\0\0\0\n\0 1 2\n"s}) {
    auto in = InputStream::from_string(text);
    EXPECT_EQ(count_variables(*in), 0u);
    EXPECT_EQ(count_rows(*in, 0), 0u);
  }
  mutable_settings().skip_columns = 3;
  EXPECT_EQ(count_values("abc 1 2\n") + count_values("ab\n") + count_values("abc"), 2u);
  EXPECT_EQ(read_all("abc1 2\nx9\n7 1 2\n", 2), (Rows{{1, 2}}));  // "x9\n" ends the data
  mutable_settings().skip_columns = 0;
  std::string wide;
  Rows expected(1);
  for (int i = 0; i < 20000; ++i) {
    wide += std::to_string(i) + (i % 3 ? "\t" : " ");
    expected[0].push_back(i);
  }
  EXPECT_EQ(count_values(wide.c_str()), 20000u);
  EXPECT_TRUE(read_all(wide, 20000) == expected);
}

TEST_F(ReaderTest, CountRowsStopsAtTheFirstMismatchAndChecksReportEveryOne) {
  mutable_settings().skip_rows = 1;
  auto in = InputStream::from_string("skip\n1 2\n# c\n3,4\n5\n6 7\nx1\n8 9\n");
  EXPECT_EQ(count_rows(*in, count_variables(*in)), 2u);
  in->rewind();
  EXPECT_EQ(read_all(*in, 2).size(), 6u);  // "x1" is a row of zeros
  in->rewind();
  testing::Capture err(2);
  EXPECT_EQ(check_rows(*in, 2), 4u);
  EXPECT_EQ(err.text(),
            "Warning: Column count mismatch on line 3. Should be 2 but found 1.\n"
            "Warning: 1 column count mismatches found.\nFirst on line 3");
}

// A pipe is read as often as a file: what later passes need is spooled, and the
// last pass reads on from the pipe.
TEST_F(ReaderTest, PipesReadManyTimes) {
  std::string text = "# head\n";
  for (int i = 0; i < 3000; ++i) text += std::to_string(i) + " 1\n";
  for (std::size_t block : {std::size_t{7}, std::size_t{64}, InputStream::kBlockSize}) {
    auto in = piped(text, block);
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(count_variables(*in), 2u);
    EXPECT_EQ(count_rows(*in, 2), 3000u) << block;
    in->rewind();
    EXPECT_EQ(count_rows(*in, 2), 3000u) << block;
    in->rewind(true);
    const Rows rows = read_all(*in, 2);
    ASSERT_EQ(rows.size(), 3000u) << block;
    EXPECT_EQ(rows.back(), (std::vector<double>{2999, 1}));
  }
  // Only the first line is looked at before the last pass: nothing is spooled,
  // and a rewind after the last pass left the first block cannot be honoured.
  auto in = piped(text, 64);
  EXPECT_EQ(count_variables(*in), 2u);
  in->rewind(true);
  EXPECT_EQ(read_all(*in, 2).size(), 3000u);
  EXPECT_EQ(testing::fatal_message([&] { in->rewind(); }),
            "Could not rewind file " + in->name() + "\n");
}

}  // namespace
}  // namespace kest
