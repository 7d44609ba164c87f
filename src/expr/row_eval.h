// Running expression programs over the rows of a data file (--eval with
// --eval-prolog and --eval-epilog), without touching any file.
//
// A run has three kinds of text: the prolog (once, before the first row), the
// program (once per data row) and the epilog (once after the last row, giving one
// extra row). The variable families a text sees:
//   c[i]   input value of column i of the current row          rows only
//   _line  number of the current data row, from 1               rows only
//   p[i]   input value of column i of the previous row (0 at    rows and epilog
//          first; the last row's in the epilog)
//   r[i]   output column i, starting as c[i] (0 in the epilog)  rows and epilog
//   n[j]   new output column j (j < 100), after its assignment  any
//   g[k]   survives from run to run (prolog, rows, epilog)      after assignment
// Everything but g[k] is discarded after each run. Assigning c[i], p[i], _line or
// a constant creates a variable that hides it for the rest of that run.
//
// The row array handed in holds n + 100 values: the n input columns, then one
// slot per new column n[0]..n[99]. The program's r[i] are that array itself, so
// assigning r[i] writes the output in place; n[j] are moved into the slots by
// collect_results, which also clears the slot's flag so that it is written.
//
// Use: construct with the program (before the input is opened: this writes the
// deprecation notice and the debug lines), `begin` with the number of
// variables and the prolog, then `run_row` for each data row and `run_epilog`
// once; each gives the column total and leaves row and flags ready for the
// writer (n + 100 values with the flags).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "expr/evaluator.h"
#include "expr/lexer.h"

namespace kest {

/// Slots for new columns after the n input columns of a row.
inline constexpr std::uint32_t kNewColumns = 100;

/// Rewrites the deprecated names _c2, _n1, _r4, _p3, _g5 (anywhere, also inside
/// a longer name) as c[2], n[1], r[4], p[3], g[5]; writes the deprecation notice
/// when anything was rewritten.
std::string translate_deprecated(std::string_view text);

/// Moves the r[i] (1 <= i <= n) and n[j] (j < 100) values of
/// `assigned_variables` into `row` (n + 100 values), clearing the flag of each
/// new-column slot it fills. Returns n plus the number of slots filled.
std::uint32_t collect_results(double* row, std::uint32_t n, std::uint8_t* flags);

/// One --eval run over the rows of one file.
class RowEvaluator {
 public:
  /// Translates the program (deprecated names, then the final ";").
  explicit RowEvaluator(std::string_view program);
  /// Empties both variable lists, g[] included.
  ~RowEvaluator();
  RowEvaluator(const RowEvaluator&) = delete;
  RowEvaluator& operator=(const RowEvaluator&) = delete;

  /// The translated program with its final ";".
  const std::string& program_text() const { return program_.text(); }

  /// Prepares for rows of n values and runs the prolog, if any (it sees only
  /// constants and its own assignments; its g[] survive).
  void begin(std::uint32_t n, std::optional<std::string_view> prolog);

  /// Runs the program on one data row. `row` holds n + 100 values with the
  /// input in the first n; `line` is the row's number from 1; `flags` are the
  /// selection flags (only the slots n .. n + 99 are touched). Returns the
  /// column total (n + new columns).
  std::uint32_t run_row(double* row, std::uint32_t line, std::uint8_t* flags);

  /// Runs the epilog after the last row: r[i] start at 0, p[i] are the last
  /// row's inputs, there are no c[i] and no _line. Fills row and flags as
  /// run_row does, then empties both lists.
  std::uint32_t run_epilog(std::string_view epilog, double* row, std::uint8_t* flags);

 private:
  std::uint32_t finish(double* row, std::uint8_t* flags);

  Lexer lex_;
  Program program_;
  SymbolId line_id_;
  std::uint32_t n_ = 0;
  std::vector<double> inputs_;  // two halves: the current and the previous row's inputs
  std::uint32_t current_ = 0;   // which half the next row's inputs go to
};

}  // namespace kest
