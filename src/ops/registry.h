// The operations: their codes, the job the driver hands one of them for one input
// file, and the descriptor every operation file exports. A descriptor holds the
// operation's options (their names, letter, argument form and parser), its
// variants (the codes it serves, with what each needs, its announcement and what
// the driver prints after it) and its run; the parameters its options set are the
// operation file's own. The registry collects the descriptors.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/settings.h"

namespace kest {

/// The operation codes; the options choose one, the driver runs it.
enum class OpCode : std::int32_t {
  kNone = -1,
  kRemoveColumns = 0,
  kRemoveRows = 1,
  kTranspose = 2,
  kCheck = 3,
  kSplit = 4,
  kDelimiter = 5,  // -z alone: the column removal with nothing selected
  kNoise = 6,
  kSort = 7,
  kMultiply = 9,
  kFilter = 10,
  kShift = 11,
  kRemoveGt = 12,
  kRemoveLt = 13,
  kRemoveEq = 14,
  kKeepGt = 15,
  kKeepLt = 16,
  kKeepEq = 17,
  kAdd = 18,
  kEnumerate = 19,
  kMedian = 20,
  kMath = 21,
  kEval = 22,
  kShuffle = 23,
  kDiff = 24,
  kSumVertical = 25,
  kSumHorizontal = 26,
  kCutSquare = 27,
  kNop = 28,
  kDivide = 29,
  kRunningAverage = 30,
  kGetRows = 31,
  kGetCols = 32,
  kRangeKeep = 33,
  kRangeRemove = 34,
  kSincLowPass = 35,
  kSincHighPass = 36,
  kSincBandPass = 37,
  kSincBandStop = 38,
  kFlipUpDown = 39,
  kFlipLeftRight = 40,
  kPlot = 41,
};

/// Where an operation's selection comes from.
struct SelectionSource {
  enum class Kind { kNone, kFile };
  Kind kind = Kind::kNone;
  std::string file;

  static SelectionSource none() { return {}; }
  static SelectionSource from_file(std::string name) { return {Kind::kFile, std::move(name)}; }
};

/// One operation's work on one input file.
struct Job {
  OpCode code = OpCode::kNone;
  std::string in;
  std::optional<std::string> out;
  SelectionSource selection;
  /// Further files the run reads (its argument files): no output may be one.
  std::vector<std::string> also_read;
};

/// The counts an operation hands back: the input's number of variables and a
/// row count. Only `Frame::finish` makes one, so an operation cannot return
/// without finishing its outputs.
class OpResult {
 public:
  std::uint32_t cols() const { return cols_; }
  std::uint32_t rows() const { return rows_; }

 private:
  friend class Frame;
  OpResult(std::uint32_t cols, std::uint32_t rows) : cols_(cols), rows_(rows) {}
  std::uint32_t cols_;
  std::uint32_t rows_;
};

/// What the driver prints on standard output after an operation.
enum class Report { kNothing, kCheckTable, kRowCount, kColumnCount };

/// The operation the options chose so far: the last one given wins, and the need
/// flags are only ever cleared, by the operations that need no output name or no
/// selection.
struct OpChoice {
  OpCode operation = OpCode::kNone;
  bool need_output = true;
  bool need_selection = true;

  void choose(OpCode code);
};

/// The argument an option takes.
enum class OptionArg { kNone, kRequired, kOptional };

/// What an option does with its argument (nullptr when it has none).
using OptionEffect = void (*)(const char* arg, OpChoice& choice);

/// One row of the option table.
struct OptionSpec {
  const char* names;     ///< long names separated by '|'; empty for a letter alone
  char letter;           ///< short letter (its upper-case twin acts the same), or 0
  OptionArg arg;         ///< argument of the long names
  OptionArg letter_arg;  ///< argument of the letter
  OptionEffect effect;
};

/// One code an operation serves.
struct Variant {
  OpCode code;
  bool needs_output;     ///< choosing it keeps the output name required
  bool needs_selection;  ///< choosing it keeps a selection required
  /// The announcement on standard error, as printf formats: `full`, or `quiet`
  /// with --quiet (see announce()).
  const char* full;
  const char* quiet;
  Report report = Report::kNothing;
  int kind = 0;  ///< the operation's own number for the variant (a condition, a sum, a filter)
};

/// An operation: its options, its variants and its run.
struct Operation {
  const char* name;  ///< the operation's file
  std::span<const OptionSpec> options;
  std::span<const Variant> variants;
  OpResult (*run)(const Job& job);
  /// Puts the parameters its options set back to their start values.
  void (*reset)();
};

/// Every operation, in the order of the registry.
std::span<const Operation* const> operations();

/// The operation serving `code` and that code's variant, or nullptrs; the kind of
/// the job's variant.
const Operation* find_operation(OpCode code);
const Variant* find_variant(OpCode code);
int variant_kind(const Job& job);

/// Puts every operation's parameters back to their start values.
void reset_operations();

/// Writes the announcement of the job's variant: its `full` or `quiet` text, each
/// a printf format of `args`.
template <class... Args>
void announce(const Job& job, Args... args) {
  const Variant& variant = *find_variant(job.code);
  const char* text = settings().quiet ? variant.quiet : variant.full;
  if constexpr (sizeof...(Args) == 0) {
    std::fputs(text, stderr);
  } else {
    std::fprintf(stderr, text, args...);
  }
}

/// Writes "IN -> OUT\n" on standard error unless quiet.
void announce_names(const Job& job);

}  // namespace kest
