#include "ops/registry.h"

#include <iterator>

namespace kest {

// The entry of every operation, each defined in the file named as it.
OpResult add_col(const Job& job);
OpResult add_nois(const Job& job);
OpResult checkfil(const Job& job);
OpResult cut_square(const Job& job);
OpResult diff(const Job& job);
OpResult enumerate(const Job& job);
OpResult evaluate(const Job& job);
OpResult filter(const Job& job);
OpResult flip_lr(const Job& job);
OpResult flip_ud(const Job& job);
OpResult logical(const Job& job);
OpResult math_col(const Job& job);
OpResult medianfilter(const Job& job);
OpResult mul_col(const Job& job);
OpResult nop(const Job& job);
OpResult plot(const Job& job);
OpResult rem_col(const Job& job);
OpResult rem_row(const Job& job);
OpResult running_average(const Job& job);
OpResult shift(const Job& job);
OpResult shuffle(const Job& job);
OpResult sinc(const Job& job);
OpResult sortera(const Job& job);
OpResult splitfil(const Job& job);
OpResult sum_col(const Job& job);
OpResult transpos(const Job& job);

namespace {

constexpr bool kOutput = true;
constexpr bool kNoOutput = false;
constexpr bool kSelection = true;
constexpr bool kNoSelection = false;

// Every code in order; a row without an entry is an operation not available yet.
constexpr OpSpec kOperations[] = {
    {OpCode::kRemoveColumns, "rem_col", rem_col, kOutput, kSelection, Report::kNothing},
    {OpCode::kRemoveRows, "rem_row", rem_row, kOutput, kSelection, Report::kNothing},
    {OpCode::kTranspose, "transpos", transpos, kOutput, kNoSelection, Report::kNothing},
    {OpCode::kCheck, "checkfil", checkfil, kNoOutput, kNoSelection, Report::kCheckTable},
    {OpCode::kSplit, "splitfil", splitfil, kNoOutput, kNoSelection, Report::kNothing},
    {OpCode::kDelimiter, "rem_col", rem_col, kOutput, kNoSelection, Report::kNothing},
    {OpCode::kNoise, "add_nois", add_nois, kOutput, kSelection, Report::kNothing},
    {OpCode::kSort, "sortera", sortera, kOutput, kNoSelection, Report::kNothing},
    {OpCode::kUnused, "none", nullptr, kOutput, kSelection, Report::kNothing},
    {OpCode::kMultiply, "mul_col", mul_col, kOutput, kSelection, Report::kNothing},
    {OpCode::kFilter, "filter", filter, kOutput, kSelection, Report::kNothing},
    {OpCode::kShift, "shift", shift, kOutput, kSelection, Report::kNothing},
    {OpCode::kRemoveGt, "logical", logical, kOutput, kSelection, Report::kNothing},
    {OpCode::kRemoveLt, "logical", logical, kOutput, kSelection, Report::kNothing},
    {OpCode::kRemoveEq, "logical", logical, kOutput, kSelection, Report::kNothing},
    {OpCode::kKeepGt, "logical", logical, kOutput, kSelection, Report::kNothing},
    {OpCode::kKeepLt, "logical", logical, kOutput, kSelection, Report::kNothing},
    {OpCode::kKeepEq, "logical", logical, kOutput, kSelection, Report::kNothing},
    {OpCode::kAdd, "add_col", add_col, kOutput, kSelection, Report::kNothing},
    {OpCode::kEnumerate, "enumerate", enumerate, kOutput, kNoSelection, Report::kNothing},
    {OpCode::kMedian, "medianfilter", medianfilter, kOutput, kSelection, Report::kNothing},
    {OpCode::kMath, "math_col", math_col, kOutput, kSelection, Report::kNothing},
    {OpCode::kEval, "evaluate", evaluate, kOutput, kNoSelection, Report::kNothing},
    {OpCode::kShuffle, "shuffle", shuffle, kOutput, kSelection, Report::kNothing},
    {OpCode::kDiff, "diff", diff, kOutput, kSelection, Report::kNothing},
    {OpCode::kSumVertical, "sum_col", sum_col, kOutput, kNoSelection, Report::kNothing},
    {OpCode::kSumHorizontal, "sum_col", sum_col, kOutput, kNoSelection, Report::kNothing},
    {OpCode::kCutSquare, "cut_square", cut_square, kOutput, kSelection, Report::kNothing},
    {OpCode::kNop, "nop", nop, kOutput, kNoSelection, Report::kNothing},
    {OpCode::kDivide, "mul_col", mul_col, kOutput, kSelection, Report::kNothing},
    {OpCode::kRunningAverage, "running-average", running_average, kOutput, kSelection,
     Report::kNothing},
    {OpCode::kGetRows, "checkfil", checkfil, kNoOutput, kNoSelection, Report::kRowCount},
    {OpCode::kGetCols, "checkfil", checkfil, kNoOutput, kNoSelection, Report::kColumnCount},
    {OpCode::kRangeKeep, "logical", logical, kOutput, kSelection, Report::kNothing},
    {OpCode::kRangeRemove, "logical", logical, kOutput, kSelection, Report::kNothing},
    {OpCode::kSincLowPass, "sinc", sinc, kOutput, kSelection, Report::kNothing},
    {OpCode::kSincHighPass, "sinc", sinc, kOutput, kSelection, Report::kNothing},
    {OpCode::kSincBandPass, "sinc", sinc, kOutput, kSelection, Report::kNothing},
    {OpCode::kSincBandStop, "sinc", sinc, kOutput, kSelection, Report::kNothing},
    {OpCode::kFlipUpDown, "flip-ud", flip_ud, kOutput, kNoSelection, Report::kNothing},
    {OpCode::kFlipLeftRight, "flip-lr", flip_lr, kOutput, kNoSelection, Report::kNothing},
    {OpCode::kPlot, "plot", plot, kOutput, kNoSelection, Report::kNothing},
};

constexpr bool in_code_order() {
  for (std::size_t i = 0; i < std::size(kOperations); ++i) {
    if (static_cast<std::size_t>(kOperations[i].code) != i) return false;
  }
  return true;
}
static_assert(in_code_order(), "the table holds every code at its own index");

}  // namespace

const OpSpec* find_operation(OpCode code) {
  const auto index = static_cast<std::int32_t>(code);
  if (index < 0 || index >= static_cast<std::int32_t>(std::size(kOperations))) return nullptr;
  return &kOperations[index];
}

}  // namespace kest
