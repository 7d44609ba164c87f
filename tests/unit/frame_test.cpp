// The operation frame (opening, headers, same-file refusal, write errors) and nop.
#include "io/frame.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/settings.h"
#include "io/nop.h"

namespace kest {
namespace {

namespace fs = std::filesystem;

class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_settings();
    mutable_settings().quiet = true;
    select_standard_output();
    pending_comments().clear();
    std::string pattern = (fs::temp_directory_path() / "kest-frame-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    select_standard_output();
    reset_settings();
    fs::remove_all(dir_);
  }
  std::string file(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
    return (dir_ / name).string();
  }
  std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // The header line(s) a pair writes for `in` with the given column figure.
  std::string header(const std::string& in, const ColumnFigure& columns = {}) {
    std::string out = (dir_ / "header.out").string();
    FilePair pair{in, out, nullptr, nullptr};
    SelectionFlags flags;
    open_pair(pair, SelectionSource::none(), &flags, columns);
    close_pair(pair);
    return read(out);
  }
  fs::path dir_;
};

TEST_F(FrameTest, NopCopiesRowsAndHandsBackTheCounts) {
  std::string in = file("in", "# head\n1 2\n\n3,4 5\n");
  std::string out = (dir_ / "out").string();
  mutable_settings().keep_comments = true;
  OpResult result = nop(in, out, SelectionSource::none());
  EXPECT_EQ(result.cols, 2u);
  EXPECT_EQ(result.rows, 2u);
  EXPECT_EQ(read(out), "# head\n1 2\n\n3 0\n");
}

TEST_F(FrameTest, HeaderFiguresPerStyle) {
  std::string in = file("in", "1 2 3\n4 5 6\n");
  mutable_settings().add_line_count = true;
  mutable_settings().row_adjust = 1;
  mutable_settings().column_adjust = 1;
  EXPECT_EQ(header(in), "3\n");
  select_latex_output();
  EXPECT_EQ(header(in),
            "% there are 3 lines in table\n\\begin{tabular}{l l l l}\n\\end{tabular}\n");
  select_c_output();
  EXPECT_EQ(header(in), "double data[3][4] = {\n};\n");
  // An operation that writes another number of columns says how many.
  EXPECT_EQ(header(in, [](std::uint32_t n) { return n - 1; }), "double data[3][2] = {\n};\n");
  mutable_settings().add_line_count = false;
  EXPECT_EQ(header(in), "double data[][4] = {\n};\n");
  select_csv_output();
  EXPECT_EQ(header(in), "");
}

TEST_F(FrameTest, AFileWithoutDataGivesZeroColumnsAndStillHeaderAndFooter) {
  std::string in = file("in", "# nothing\nwords only\n");
  std::string out = (dir_ / "out").string();
  select_c_output();
  OpResult result = nop(in, out, SelectionSource::none());
  EXPECT_EQ(result.cols, 0u);
  EXPECT_EQ(result.rows, 0u);
  EXPECT_EQ(read(out), "double data[][0] = {\n};\n");
}

TEST_F(FrameTest, OutputThatIsTheInputIsRefusedBeforeItIsTouched) {
  const std::string text = "1 2\n3 4\n";
  std::string in = file("in", text);
  std::string link = (dir_ / "other-name").string();
  ASSERT_EQ(::link(in.c_str(), link.c_str()), 0);
  for (bool append : {false, true}) {
    mutable_settings().append = append;
    for (const std::string& out : {in, link, (dir_ / "." / "in").string()}) {
      try {
        nop(in, out, SelectionSource::none());
        ADD_FAILURE() << "no refusal for " << out;
      } catch (const FatalError& error) {
        EXPECT_EQ(error.message(), "Input and output are the same file: " + out + "\n");
      }
      EXPECT_EQ(read(in), text);
    }
  }
}

TEST_F(FrameTest, AppendKeepsWhatTheFileHeld) {
  std::string in = file("in", "1 2\n");
  std::string out = file("out", "old\n");
  mutable_settings().append = true;
  nop(in, out, SelectionSource::none());
  EXPECT_EQ(read(out), "old\n1 2\n");
}

TEST_F(FrameTest, OpenFailuresAreFatal) {
  std::string in = file("in", "1 2\n");
  EXPECT_THROW(nop((dir_ / "missing").string(), (dir_ / "out").string(), SelectionSource::none()),
               FatalError);
  try {
    nop(in, (dir_ / "no-dir" / "out").string(), SelectionSource::none());
    ADD_FAILURE();
  } catch (const FatalError& error) {
    EXPECT_EQ(error.message(),
              "Could not open file " + (dir_ / "no-dir" / "out").string() + " for writing\n");
  }
}

TEST_F(FrameTest, WriteErrorsAreFatalAtClose) {
  std::string row = "1 2 3 4 5 6 7 8 9 10\n";
  std::string text;
  for (int i = 0; i < 20000; ++i) text += row;
  std::string in = file("in", text);
  try {
    nop(in, "/dev/full", SelectionSource::none());
    ADD_FAILURE();
  } catch (const FatalError& error) {
    EXPECT_EQ(error.message(), "Could not write file /dev/full\n");
  }
}

TEST_F(FrameTest, SelectionFlagsAndTheKeptCount) {
  std::string in = file("in", "1 2 3 4 5\n");
  mutable_settings().selection_strings.push_front("2,4");
  FilePair pair{in, std::nullopt, nullptr, nullptr};
  SelectionFlags flags;
  EXPECT_EQ(open_pair(pair, SelectionSource::none(), &flags), 5u);
  ASSERT_EQ(flags.size(), 5u + 102);
  EXPECT_EQ(std::vector<std::uint8_t>(flags.begin(), flags.begin() + 5),
            (std::vector<std::uint8_t>{0, 1, 0, 1, 0}));
  EXPECT_EQ(selected_count(), 3u);
  flags = make_selection_flags(SelectionSource::no_selection(), 5);
  EXPECT_EQ(selected_count(), 0u);
  close_pair(pair);
  close_pair(pair);
}

TEST_F(FrameTest, CountedPairHandsBackRows) {
  std::string in = file("in", "1 2\n3 4\n5\n6 7\n");
  FilePair pair{in, std::nullopt, nullptr, nullptr};
  std::uint32_t rows = 0;
  EXPECT_EQ(open_pair_counted(pair, SelectionSource::no_selection(), nullptr, &rows), 2u);
  EXPECT_EQ(rows, 2u);
  close_pair(pair);
}

}  // namespace
}  // namespace kest
