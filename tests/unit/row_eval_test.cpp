// Row evaluation: rows in, rows out, as the --eval operation drives it.
#include "expr/row_eval.h"

#include <optional>
#include <vector>

#include "expr_support.h"

namespace kest {
namespace {

using testing::Ending;
using testing::in_order;
using testing::status_of;
using Rows = std::vector<std::vector<double>>;

constexpr std::uint8_t kSentinel = 7;

class RowEvalTest : public testing::ExprTest {
 protected:
  // Runs `program` over `input` (rows of n values) the way the operation does and
  // keeps what the writer would write: the values whose flag is 0. `selected`
  // lists the 0-based input columns flagged by a selection.
  Ending evaluate(std::uint32_t n, const Rows& input, const char* program,
                  const char* prolog = nullptr, const char* epilog = nullptr,
                  const std::vector<std::uint32_t>& selected = {}) {
    written_.clear();
    totals_.clear();
    return testing::run_ending([&] {
      RowEvaluator evaluator(program);
      evaluator.begin(n, prolog ? std::optional<std::string_view>(prolog) : std::nullopt);
      std::vector<double> row(n + kNewColumns);
      std::vector<std::uint8_t> flags(n + kNewColumns + 2, kSentinel);
      std::fill(flags.begin(), flags.begin() + n, 0);
      for (std::uint32_t i : selected) flags[i] = 1;
      auto keep = [&](std::uint32_t total) {
        totals_.push_back(total);
        std::vector<double> out;
        for (std::uint32_t i = 0; i < n + kNewColumns; ++i) {
          if (flags[i] == 0) out.push_back(row[i]);
        }
        written_.push_back(out);
        for (std::uint32_t i = 0; i < n; ++i)
          EXPECT_EQ(flags[i] != 0, std::count(selected.begin(), selected.end(), i) != 0);
        EXPECT_EQ(flags[n + kNewColumns] + flags[n + kNewColumns + 1], 2 * kSentinel);
      };
      std::uint32_t line = 0;
      for (const std::vector<double>& values : input) {
        std::copy(values.begin(), values.end(), row.begin());
        keep(evaluator.run_row(row.data(), ++line, flags.data()));
      }
      if (epilog && line > 0) keep(evaluator.run_epilog(epilog, row.data(), flags.data()));
    });
  }
  Rows written_;
  std::vector<std::uint32_t> totals_;
};

// n[5] and n[05] fill one slot and add one column; the walk from the front of the
// list ends with the older name. A prolog sets g[1] for every case.
TEST_F(RowEvalTest, VariableFamilies) {
  struct Case {
    const char* program;
    Rows expected;
    std::uint32_t total;
  };
  const Rows input = {{1, 2}, {3, 4}, {5, 6}};
  for (const Case& c : std::initializer_list<Case>{
           {"n[1]=c[1]+c[2]", {{1, 2, 3}, {3, 4, 7}, {5, 6, 11}}, 3},
           {"r[1]=c[1]+c[2]", {{3, 2}, {7, 4}, {11, 6}}, 2},
           {"r[2]=r[1]*10;r[1]=0;n[1]=c[1]", {{0, 10, 1}, {0, 30, 3}, {0, 50, 5}}, 3},
           {"n[3]=c[1]", {{1, 2, 1}, {3, 4, 3}, {5, 6, 5}}, 3},
           {"n[1]=2;n[0]=1", {{1, 2, 1, 2}, {3, 4, 1, 2}, {5, 6, 1, 2}}, 4},
           {"n[99]=9;n[100]=1;n[4294967296]=1;r[3]=1;r[0]=1", {{1, 2, 9}, {3, 4, 9}, {5, 6, 9}}, 3},
           {"n[05]=1;n[5]=2", {{1, 2, 1}, {3, 4, 1}, {5, 6, 1}}, 3},
           {"n[000005]=1;n[0]=2", {{1, 2, 2, 1}, {3, 4, 2, 1}, {5, 6, 2, 1}}, 4},
           {"r[1]=5;r[01]=7", {{5, 2}, {5, 4}, {5, 6}}, 2},
           {"r[1]=0;n[1]=p[1];n[2]=p[2]", {{0, 2, 0, 0}, {0, 4, 1, 2}, {0, 6, 3, 4}}, 4},
           {"n[1]=_line;_line=7;n[2]=_line", {{1, 2, 1, 7}, {3, 4, 2, 7}, {5, 6, 3, 7}}, 4},
           {"c[1]=0;n[1]=c[1];n[2]=c[1]+p[1]", {{1, 2, 0, 0}, {3, 4, 0, 1}, {5, 6, 0, 3}}, 4},
           {"#? g[1]=_line>1?g[1]+c[1]:c[1];n[1]=g[1]", {{1, 2, 1}, {3, 4, 4}, {5, 6, 9}}, 3},
           {"_n1=_c1+_c2;my_r1=1", {{1, 2, 3}, {3, 4, 7}, {5, 6, 11}}, 3}}) {
    const Ending ending = evaluate(2, input, c.program, "g[1]=0");
    EXPECT_EQ(status_of(ending), -1) << c.program << ending.out << ending.err;
    EXPECT_EQ(written_, c.expected) << c.program;
    EXPECT_EQ(totals_, std::vector<std::uint32_t>(3, c.total)) << c.program;
  }
}

TEST_F(RowEvalTest, PrologAndEpilog) {
  EXPECT_EQ(status_of(evaluate(1, {{2}, {3}, {4}}, "g[1]=g[1]*c[1]", "g[1]=1", "r[1]=g[1]")), -1);
  EXPECT_EQ(written_, (Rows{{2}, {3}, {4}, {24}}));
  // The epilog sees the last row's inputs as p[], r[] start at 0 and only its own n[] count.
  evaluate(2, {{1, 2}, {3, 4}}, "n[1]=1;n[2]=2", nullptr, "n[7]=p[1]+p[2]+r[1]");
  EXPECT_EQ(written_, (Rows{{1, 2, 1, 2}, {3, 4, 1, 2}, {0, 0, 7}}));
  EXPECT_EQ(totals_, (std::vector<std::uint32_t>{4, 4, 3}));
  // The prolog keeps only its g[] variables; other names are gone by the first row.
  EXPECT_EQ(status_of(evaluate(1, {{1}}, "n[1]=g[2]", "x=5;g[2]=x*2;g[02]=1")), -1);
  EXPECT_EQ(written_, (Rows{{1, 10}}));
  EXPECT_EQ(evaluate(1, {{1}}, "n[1]=x", "x=5").out, "SyntaxError\n");
  // No rows, no epilog; and the lists are empty once the run is over.
  EXPECT_EQ(status_of(evaluate(1, {}, "n[1]=1", "g[1]=1", "r[1]=1")), -1);
  EXPECT_TRUE(written_.empty());
  EXPECT_EQ(assigned_variables().size() + row_inputs().size(), 0u);
}

TEST_F(RowEvalTest, WhatEachRunCannotSee) {
  struct Case {
    const char* program;
    const char* prolog;
    const char* epilog;
    std::size_t rows_written;  // before the failing run
  };
  for (const Case& c : std::initializer_list<Case>{
           {"g[1]=g[1]+c[1]", "x=1", nullptr, 0},  // g[1] unknown on the first row
           {"n[1]=1", "y=c[1]", nullptr, 0},       // no row inputs in the prolog
           {"n[1]=1", "y=_line", nullptr, 0},
           {"n[1]=1", "y=p[1]", nullptr, 0},
           {"n[1]=1", nullptr, "y=c[1]", 2},  // nor c[] or _line in the epilog
           {"n[1]=1", nullptr, "y=_line", 2},
           {"n[2]=n[1];n[1]=1", nullptr, nullptr, 0},   // n[1] before its assignment
           {"x=_line>1?y:0;y=1", nullptr, nullptr, 0},  // both branches, every row
           {"n[1]=c[3]", nullptr, nullptr, 0},
           {"n[1]=ln(2-c[1])", nullptr, nullptr, 1}}) {
    const Ending ending = evaluate(2, {{1, 2}, {3, 4}}, c.program, c.prolog, c.epilog);
    EXPECT_EQ(status_of(ending), 1) << c.program;
    EXPECT_EQ(ending.out, "SyntaxError\n") << c.program;
    EXPECT_EQ(written_.size(), c.rows_written) << c.program;
  }
}

TEST_F(RowEvalTest, SelectedColumnsAreEvaluatedButNotWritten) {
  // Only the new-column slots change their flags.
  EXPECT_EQ(status_of(evaluate(3, {{1, 2, 3}}, "r[2]=9;n[1]=r[2]+c[2]", nullptr, nullptr, {1})),
            -1);
  EXPECT_EQ(written_, (Rows{{1, 3, 11}}));
  EXPECT_EQ(totals_, (std::vector<std::uint32_t>{4}));
}

TEST_F(RowEvalTest, VerboseSwitchPersistsAcrossRuns) {
  Ending ending = evaluate(1, {{1}, {-1}}, "n[1]=ln(c[1])", "#? g[1]=0");
  EXPECT_EQ(status_of(ending), -1) << "verbose mode goes on after a domain error";
  EXPECT_TRUE(in_order(ending.err, {"eval_func: ", "program="}));
  EXPECT_EQ(written_.size(), 2u);
  ending = evaluate(1, {{1}, {2}}, "n[1]=c[1]#?", nullptr, "y=_line");
  EXPECT_TRUE(in_order(ending.err, {"program=", "error: variable/constant (_line) not found\n"}));
}

TEST_F(RowEvalTest, DeprecatedNames) {
  const std::string notice =
      "\nMessage: \nVariables of type _n1, _c2  and _r4 are deprecated.\n"
      "Please use       n[1], c[2] and r[4] instead.\n\n";
  for (const auto& [text, translated] : std::initializer_list<std::pair<std::string, std::string>>{
           {"_n1=_c1+_c22", "n[1]=c[1]+c[22]"},
           {"my_c1=_g3x", "myc[1]=g[3]x"},
           {"_p1+_r2", "p[1]+r[2]"},
           {"_x1+_c+_pi+__c1", "_x1+_c+_pi+_c[1]"},
           {"_c1_", "c[1]_"},
           {"_x1+_c+_pi", "_x1+_c+_pi"}}) {
    const Ending ending =
        testing::run_ending([&] { EXPECT_EQ(translate_deprecated(text), translated); });
    EXPECT_EQ(ending.err, text != translated ? notice : "") << text;
  }
}

}  // namespace
}  // namespace kest
