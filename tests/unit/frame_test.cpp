// The frame contract: outputs opened with the shape they write (late, or several),
// kept comments at their place, footers only from finish, selection flags.
#include "ops/frame.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "base/settings.h"
#include "support.h"

namespace kest {
namespace {

class FrameTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    reset_settings();
    reset_pending_comments();
    mutable_settings().quiet = true;
    select_standard_output();
    write("in", "# head\n1 2 3\n# between\n4 5 6\n");
  }
  void TearDown() override {
    select_standard_output();
    reset_settings();
    TempDirTest::TearDown();
  }
  Job job(const std::string& out = "out", const std::string& in = "in") {
    return Job{OpCode::kNop, path(in), path(out), SelectionSource::none(), {}};
  }
};

TEST_F(FrameTest, TheHeaderDescribesTheShapeTheOperationStates) {
  mutable_settings().add_line_count = true;
  select_c_output();
  Frame frame(job());
  EXPECT_EQ(frame.shape().cols, 3u);
  EXPECT_EQ(frame.shape().rows, 2u);  // counted for the line count
  Output& out = frame.open_output({2, 5});
  for (std::span<double> row : frame.rows()) out.write(row.first(2));
  const OpResult result = frame.finish(7);
  EXPECT_EQ(result.cols(), 3u);
  EXPECT_EQ(result.rows(), 7u);
  EXPECT_EQ(read("out"), "double data[5][2] = {\n{ 1, 2},\n{ 4, 5},\n};\n");
}

TEST_F(FrameTest, KeptCommentsWaitForALateOutputThenFollowTheNewestOne) {
  mutable_settings().keep_comments = true;
  Frame frame(job("first"));
  std::vector<double> row(3);
  ASSERT_NE(frame.read_row(row.data(), 3), nullptr);  // "# head" waits
  Output& first = frame.open_output(frame.shape());
  first.write(row);
  Output& second = frame.open_output(path("second"), {1, 0});
  ASSERT_NE(frame.read_row(row.data(), 3), nullptr);  // "# between" goes to the newest
  second.write(row.data(), 1);
  frame.finish(2);
  EXPECT_EQ(read("first"), "# head\n1 2 3\n");
  EXPECT_EQ(read("second"), "# between\n4\n");
}

TEST_F(FrameTest, OperationsThatDropCommentsDropThem) {
  mutable_settings().keep_comments = true;
  Frame frame(job(), {.comments = false});
  Output& out = frame.open_output(frame.shape());
  for (std::span<double> row : frame.rows()) out.write(row);
  frame.finish(2);
  EXPECT_EQ(read("out"), "1 2 3\n4 5 6\n");
  EXPECT_TRUE(pending_comments().empty());
}

TEST_F(FrameTest, AFatalErrorLeavesTheRowsWrittenAndNoFooter) {
  select_latex_output();
  EXPECT_EQ(testing::fatal_message([&] {
              Frame frame(job());
              Output& out = frame.open_output(frame.shape());
              for (std::span<double> row : frame.rows()) out.write(row);
              KEST_FATAL("stop\n");
            }),
            "stop\n");
  EXPECT_EQ(read("out"),
            "% there are 0 lines in table\n\\begin{tabular}{l l l}\n1 & 2 & 3 \\\\\n"
            "4 & 5 & 6 \\\\\n");
}

// A document of the operation's own takes no style: no header, footer or kept
// comment, and it replaces the file even with --append.
TEST_F(FrameTest, ADocumentHoldsOnlyItsText) {
  mutable_settings().keep_comments = true;
  mutable_settings().add_line_count = true;
  mutable_settings().append = true;
  select_latex_output();
  write("out", "earlier\n");
  Frame frame(job());
  Output& out = frame.open_document();
  for (std::span<double> row : frame.rows()) out.write_text(row[0] == 1 ? "<a/>" : "<b/>");
  frame.finish(2);
  EXPECT_EQ(read("out"), "<a/><b/>");
}

TEST_F(FrameTest, SelectionFlagsFollowTheStringsTheFileAndTheInverse) {
  write("sel", "5\n");
  mutable_settings().selection_strings.push_front("2,4");
  auto flags_of = [&](const SelectionSource& source, bool invert) {
    SelectionFlags flags = make_selection_flags(source, 5, invert);
    EXPECT_EQ(flags.size(), 5u + 102);
    return std::vector<std::uint8_t>(flags.begin(), flags.begin() + 5);
  };
  using F = std::vector<std::uint8_t>;
  EXPECT_EQ(flags_of(SelectionSource::none(), false), (F{0, 1, 0, 1, 0}));
  EXPECT_EQ(flags_of(SelectionSource::from_file(path("sel")), true), (F{1, 0, 1, 0, 0}));
}

// Rows worked on two threads give the bytes, notes and errors of rows worked on
// one: comments at their place, rows filled with 0, lines longer than a block,
// NUL bytes, the data's end, a fatal error in the middle.
TEST_F(FrameTest, RowsWorkedApartGiveTheBytesOfRowsWorkedInTurn) {
  std::string text = "# start\n";
  for (int i = 0; i < 40000; ++i) {
    text += std::to_string(i) + " -0.5 " + std::to_string(i % 7) + ".250 1e3\n";
    if (i % 997 == 0) text += "# note " + std::to_string(i) + "\r\n";
    if (i % 1999 == 0) text += "7,8\n";
    if (i == 20000) text += std::string(300000, '1') + " 2\n";
    if (i == 30000) text += std::string("5 6\0 7\n", 7);
  }
  const std::string tail = "x\n1 2 3 4\n";
  struct Case {
    const char* name;
    std::uint32_t skip_columns;
    bool fatal;  // the change refuses the value 29999
  } cases[] = {{"plain", 0, false}, {"data end", 1, false}, {"error", 0, true}};
  for (const Case& c : cases) {
    write("in", text + (c.skip_columns != 0 ? "\n" : "") + tail);
    std::string outputs[2], errors[2], messages[2];
    for (const bool apart : {false, true}) {
      reset_settings();
      mutable_settings().quiet = true;
      mutable_settings().keep_comments = true;
      mutable_settings().skip_columns = c.skip_columns;
      const testing::Ending ending = testing::run_ending([&] {
        Frame frame(job(apart ? "apart" : "inturn"));
        Output& out = frame.open_output(frame.shape());
        auto change = [&c](double v) {
          if (c.fatal && v == 29999) KEST_FATAL("refused\n");
          return v * 2;
        };
        std::uint32_t rows = 0;
        if (c.skip_columns != 0) {
          auto copy = [](RowText& row, RowSink& sink) { sink.write(row); };
          rows = frame.each_row(out, RowFunction(copy), apart);
        } else {
          rows = frame.write_changed(out, change, apart);
        }
        frame.finish(rows);
      });
      outputs[apart] = read(apart ? "apart" : "inturn");
      errors[apart] = ending.err;
      messages[apart] = ending.message;
    }
    EXPECT_GT(outputs[0].size(), 500000u) << c.name;
    EXPECT_TRUE(outputs[0] == outputs[1]) << c.name;
    EXPECT_EQ(errors[0], errors[1]) << c.name;
    EXPECT_EQ(messages[0], messages[1]) << c.name;
  }
}

}  // namespace
}  // namespace kest
