// The data-file reader: classification, counting, parsing, pieces, pipes, and
// get_line against the library's fgets.
#include "io/reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "base/settings.h"
#include "base/diagnostics.h"
#include "io/writer.h"

namespace kest {
namespace {

using Rows = std::vector<std::vector<double>>;
using std::string_literals::operator""s;

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_settings();
    reset_pending_comments();
    select_standard_output();
    mutable_settings().quiet = true;
  }
  void TearDown() override { reset_pending_comments(); }

  // Every row read_row delivers for n variables.
  static Rows read_all(InputStream& in, std::uint32_t n, OutputStream* out = nullptr) {
    Rows rows;
    std::vector<double> values(n + 1, -7.0);
    while (read_row(in, values.data(), out, n) != nullptr) {
      EXPECT_EQ(values[n], -7.0);  // never more than n values stored
      rows.emplace_back(values.begin(), values.end() - 1);
    }
    return rows;
  }
  static Rows read_all(const std::string& text, std::uint32_t n) {
    return read_all(*InputStream::from_string(text), n);
  }
  // The first data line of `text`, or "<none>".
  static std::string first_data(const std::string& text) {
    auto in = InputStream::from_string(text);
    char* line = read_data_line(in->line_buffer(), in->line_capacity(), *in, nullptr);
    return line != nullptr ? line : "<none>";
  }
  std::string temp_dir() {
    std::string pattern = ::testing::TempDir() + "/readerXXXXXX";
    EXPECT_NE(mkdtemp(pattern.data()), nullptr);
    return pattern;
  }
};

TEST_F(ReaderTest, ClassificationOrder) {
  struct Case {
    std::string text;
    bool qxstars;
    std::int32_t skip_rows;
    const char* first;  // first data line
    std::int32_t skip_left;
  } cases[] = {
      {"\0 1\n5\n7\n"s, false, 1, "7\n", 0},  // NUL line: not data, not a skipped row
      {"1*2\n5\n7\n", true, 1, "7\n", 0},     // star line: not data, not a skipped row
      {"1*2\n", false, 0, "1*2\n", 0},
      {"#c\n1 2\n3 4\n", false, 2, "3 4\n", 0},  // comment and data line both skipped
      {"\n1 2\n3 4\n", false, 2, "3 4\n", 0},    // a blank line is a skipped row too
      {"1\n", false, 5, "<none>", 4},
      {"!1\n#1\n;1\nwords\n\n\r\n a1\n", false, 0, " a1\n", 0},
      {" #1 2\n", false, 0, " #1 2\n", 0},  // only the very first character marks a comment
  };
  for (const Case& c : cases) {
    mutable_settings().qxstars = c.qxstars;
    mutable_settings().skip_rows = c.skip_rows;
    EXPECT_EQ(first_data(c.text), c.first) << c.text;
    EXPECT_EQ(mutable_settings().skip_rows, c.skip_left) << c.text;
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
      {"\t-1e2 ,, +.5\r\n", 2, {-100, 0, 0}, {-100, 0.5, 0}},
  };
  for (const Case& c : cases) {
    for (std::int32_t delimiter : {0, int{','}}) {
      mutable_settings().input_delimiter = delimiter;
      EXPECT_EQ(count_values(c.line), c.count) << c.line;
      EXPECT_EQ(read_all(c.line, 3), Rows{delimiter ? c.comma : c.plain}) << c.line;
    }
  }
}

TEST_F(ReaderTest, CommentsPassThroughOrQueue) {
  const std::string text = "#c\r\nwords only\n\n1 2 3\n#ab\0cd\n4 5 6"s;
  mutable_settings().keep_comments = true;
  mutable_settings().skip_rows = 4;  // the first four lines, "1 2 3" included
  auto in = InputStream::from_string(text);
  EXPECT_EQ(count_variables(*in), 3u);
  EXPECT_TRUE(pending_comments().empty());  // the look-ahead keeps no comments
  EXPECT_TRUE(mutable_settings().keep_comments);
  EXPECT_EQ(mutable_settings().skip_rows, 4);
  auto out = OutputStream::memory();
  EXPECT_EQ(read_all(*in, 3, out.get()), (Rows{{4, 5, 6}}));
  EXPECT_TRUE(in->eof());
  EXPECT_EQ(mutable_settings().skip_rows, 0);
  out->flush();
  EXPECT_EQ(out->text(), "#c\nwords only\n\n1 2 3\n#ab\n");

  in->rewind();
  EXPECT_EQ(read_all(*in, 3).size(), 2u);
  EXPECT_EQ(pending_comments(), (std::deque<std::string>{"#c", "words only", "", "#ab"}));
}

TEST_F(ReaderTest, EdgeCases) {
  EXPECT_EQ(read_all("1 2 3\n1 x 3\n4 5 6\n", 3), (Rows{{1, 2, 3}, {1, 0, 0}, {4, 5, 6}}));
  auto in = InputStream::from_string(" #1 2\n3\n");
  EXPECT_EQ(count_variables(*in), 0u);
  EXPECT_EQ(read_all(*in, 1), (Rows{{0}, {3}}));
  for (const std::string& text : {""s, "# only\n\nwords\n"s, "\0\0\0\n\0 1 2\n"s}) {
    in = InputStream::from_string(text);
    EXPECT_EQ(count_variables(*in), 0u);
    EXPECT_EQ(count_rows(*in, 0), 0u);
  }
  mutable_settings().skip_columns = 3;
  EXPECT_EQ(count_values("abc 1 2\n"), 2u);
  EXPECT_EQ(count_values("ab\n"), 0u);
  EXPECT_EQ(count_values("abc"), 0u);
  EXPECT_EQ(read_all("abc1 2\nx9\n7 1 2\n", 2), (Rows{{1, 2}}));  // "x9\n" ends the data
  mutable_settings().input_delimiter = ',';
  in = InputStream::from_string("9,,1,2\n");
  EXPECT_EQ(read_all(*in, 3), (Rows{{1, 2, 0}}));
  EXPECT_STREQ(in->line_buffer(), "9,,1 2\n");  // replaced only after the skipped columns
  mutable_settings().skip_columns = 0;
  mutable_settings().input_delimiter = 0;
  EXPECT_EQ(read_all("1 2\r\n3 4", 2), (Rows{{1, 2}, {3, 4}}));
  EXPECT_EQ(read_all("1 2\0 3\n\0 9\n4 5 6\n"s, 3), (Rows{{1, 2, 0}, {4, 5, 6}}));
}

TEST_F(ReaderTest, CountRowsStopsAtFirstMismatch) {
  mutable_settings().quiet = false;
  mutable_settings().skip_rows = 1;
  mutable_settings().keep_comments = true;
  auto in = InputStream::from_string("skip\n1 2\n# c\n3,4\n5\n6 7\n");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(count_rows(*in, count_variables(*in)), 2u);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Found 2 rows.\n");
  EXPECT_EQ(mutable_settings().skip_rows, 1);
  EXPECT_TRUE(mutable_settings().keep_comments);
  EXPECT_TRUE(pending_comments().empty());
  EXPECT_EQ(read_all(*in, 2).size(), 4u);
}

TEST_F(ReaderTest, LongLinesComeInPieces) {
  mutable_settings().maxbuff = 8;
  mutable_settings().keep_comments = true;
  auto in = InputStream::from_string("11 22 33 44 55\naaaaaaa1 2\n", 3);
  EXPECT_EQ(read_all(*in, 3), (Rows{{11, 22, 3}, {3, 44, 55}, {1, 2, 0}}));
  EXPECT_EQ(pending_comments(), (std::deque<std::string>{"", "aaaaaaa"}));
  // The line buffer keeps the size it was made with.
  mutable_settings().maxbuff = 1 << 20;
  EXPECT_EQ(in->line_capacity(), 8u);

  reset_settings();
  mutable_settings().quiet = true;
  // Two 10 MB lines of digits, the first with a line feed: every piece is one number.
  const std::string huge(10 << 20, '1');
  ASSERT_NE(huge.size() % (kDefaultMaxbuff - 1), 0u);
  std::size_t pieces = huge.size() / (kDefaultMaxbuff - 1) + 1;
  in = InputStream::from_string(huge + "\n" + huge);
  EXPECT_EQ(count_rows(*in, count_variables(*in)), 2 * pieces);
  EXPECT_EQ(read_all(*in, 1).size(), 2 * pieces);
}

TEST_F(ReaderTest, WideRows) {
  std::string line;
  for (int i = 0; i < 20000; ++i) line += std::to_string(i) + (i % 3 ? "\t" : " ");
  auto in = InputStream::from_string(line + "\n");
  std::uint32_t n = count_variables(*in);
  ASSERT_EQ(n, 20000u);
  Rows rows = read_all(*in, n);
  ASSERT_EQ(rows.size(), 1u);
  for (std::uint32_t i = 0; i < n; ++i) ASSERT_EQ(rows[0][i], i);
}

TEST_F(ReaderTest, FilesPipesAndRewind) {
  std::string dir = temp_dir();
  EXPECT_EQ(InputStream::open(dir), nullptr);
  EXPECT_EQ(errno, EISDIR);
  EXPECT_EQ(InputStream::open(dir + "/missing"), nullptr);

  std::string name = dir + "/data";
  std::string text = "# head\n";
  for (int i = 0; i < 300; ++i) text += std::to_string(i) + " 1\n";
  FILE* file = std::fopen(name.c_str(), "wb");
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
  auto in = InputStream::open(name, 64);  // many refills and rewinds
  struct stat info;
  ASSERT_EQ(stat(name.c_str(), &info), 0);
  EXPECT_EQ(in->device(), info.st_dev);
  EXPECT_EQ(in->inode(), info.st_ino);
  EXPECT_EQ(count_rows(*in, count_variables(*in)), 300u);
  EXPECT_EQ(read_all(*in, 2).size(), 300u);
  unlink(name.c_str());
  rmdir(dir.c_str());

  // A pipe rewinds while its first block holds everything read so far.
  auto piped = [](const std::string& data, std::size_t block) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    EXPECT_EQ(write(fds[1], data.data(), data.size()), static_cast<ssize_t>(data.size()));
    close(fds[1]);
    auto stream = InputStream::open("/dev/fd/" + std::to_string(fds[0]), block);
    close(fds[0]);
    return stream;
  };
  in = piped("# c\n1 2\n3 4\n", 64);
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(count_rows(*in, count_variables(*in)), 2u);
  EXPECT_EQ(read_all(*in, 2), (Rows{{1, 2}, {3, 4}}));
  in = piped("# c\n1 2\n3 4\n", 8);
  EXPECT_EQ(count_variables(*in), 2u);  // the first data line ends in the first block
  try {
    count_rows(*in, 2);
    ADD_FAILURE() << "rewound a pipe past its first block";
  } catch (const FatalError& error) {
    EXPECT_EQ(error.message(), "Could not rewind file " + in->name() + "\n");
  }
}

// get_line stores and reports exactly what fgets does, across block boundaries.
TEST_F(ReaderTest, GetLineMatchesFgets) {
  std::mt19937 random(12345);
  std::string dir = temp_dir();
  std::string name = dir + "/random";
  const char alphabet[] = {'a', '1', ' ', '\n', '\n', '\r', '\0'};
  for (int round = 0; round < 200; ++round) {
    std::string text(random() % 300, 'x');
    for (char& c : text) c = alphabet[random() % sizeof alphabet];
    FILE* file = std::fopen(name.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    file = std::fopen(name.c_str(), "rb");
    auto in = InputStream::open(name, round % 4 == 0 ? InputStream::kBlockSize : 1 + random() % 40);
    for (int call = 0; call < 400; ++call) {
      int size = 1 + random() % 30;
      char expected[32], got[32];
      std::memset(expected, '#', sizeof expected);
      std::memset(got, '#', sizeof got);
      bool read = std::fgets(expected, size, file) != nullptr && size > 1;
      std::size_t stored = in->get_line(got, size);
      ASSERT_EQ(std::memcmp(expected, got, sizeof got), 0) << round << " " << call;
      ASSERT_EQ(stored != 0, read);
      if (read) {  // the count ends the line: at a line feed, a full buffer or the end
        ASSERT_EQ(got[stored], '\0');
        ASSERT_TRUE(got[stored - 1] == '\n' || stored + 1 == std::size_t(size) || in->eof());
      }
      ASSERT_EQ(in->eof(), std::feof(file) != 0);
    }
    std::fclose(file);
  }
  unlink(name.c_str());
  rmdir(dir.c_str());
}

}  // namespace
}  // namespace kest
