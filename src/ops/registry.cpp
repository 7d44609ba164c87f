#include "ops/registry.h"

#include <iterator>

namespace kest {

// The entry of every operation, each defined in the file named as it.
OpResult checkfil(const Job& job);
OpResult filter(const Job& job);
OpResult flip_ud(const Job& job);
OpResult medianfilter(const Job& job);
OpResult nop(const Job& job);
OpResult running_average(const Job& job);
OpResult shuffle(const Job& job);
OpResult sinc(const Job& job);
OpResult sortera(const Job& job);
OpResult splitfil(const Job& job);
OpResult transpos(const Job& job);

namespace {

constexpr bool kOutput = true;
constexpr bool kNoOutput = false;
constexpr bool kSelection = true;
constexpr bool kNoSelection = false;

// Every code in order; a row without an entry is an operation not available yet.
constexpr OpSpec kOperations[] = {
    {OpCode::kRemoveColumns, "rem_col", nullptr, kOutput, kSelection, Report::kNothing},
    {OpCode::kRemoveRows, "rem_row", nullptr, kOutput, kSelection, Report::kNothing},
    {OpCode::kTranspose, "transpos", transpos, kOutput, kNoSelection, Report::kNothing},
    {OpCode::kCheck, "checkfil", checkfil, kNoOutput, kNoSelection, Report::kCheckTable},
    {OpCode::kSplit, "splitfil", splitfil, kNoOutput, kNoSelection, Report::kNothing},
    {OpCode::kDelimiter, "rem_col", nullptr, kOutput, kNoSelection, Report::kNothing},
    {OpCode::kNoise, "add_nois", nullptr, kOutput, kSelection, Report::kNothing},
    {OpCode::kSort, "sortera", sortera, kOutput, kNoSelection, Report::kNothing},
    {OpCode::kUnused, "none", nullptr, kOutput, kSelection, Report::kNothing},
    {OpCode::kMultiply, "mul_col", nullptr, kOutput, kSelection, Report::kNothing},
    {OpCode::kFilter, "filter", filter, kOutput, kSelection, Report::kNothing},
    {OpCode::kShift, "shift", nullptr, kOutput, kSelection, Report::kNothing},
    {OpCode::kRemoveGt, "logical", nullptr, kOutput, kSelection, Report::kNothing},
    {OpCode::kRemoveLt, "logical", nullptr, kOutput, kSelection, Report::kNothing},
    {OpCode::kRemoveEq, "logical", nullptr, kOutput, kSelection, Report::kNothing},
    {OpCode::kKeepGt, "logical", nullptr, kOutput, kSelection, Report::kNothing},
    {OpCode::kKeepLt, "logical", nullptr, kOutput, kSelection, Report::kNothing},
    {OpCode::kKeepEq, "logical", nullptr, kOutput, kSelection, Report::kNothing},
    {OpCode::kAdd, "add_col", nullptr, kOutput, kSelection, Report::kNothing},
    {OpCode::kEnumerate, "enumerate", nullptr, kOutput, kNoSelection, Report::kNothing},
    {OpCode::kMedian, "medianfilter", medianfilter, kOutput, kSelection, Report::kNothing},
    {OpCode::kMath, "math_col", nullptr, kOutput, kSelection, Report::kNothing},
    {OpCode::kEval, "evaluate", nullptr, kOutput, kNoSelection, Report::kNothing},
    {OpCode::kShuffle, "shuffle", shuffle, kOutput, kSelection, Report::kNothing},
    {OpCode::kDiff, "diff", nullptr, kOutput, kSelection, Report::kNothing},
    {OpCode::kSumVertical, "sum_col", nullptr, kOutput, kNoSelection, Report::kNothing},
    {OpCode::kSumHorizontal, "sum_col", nullptr, kOutput, kNoSelection, Report::kNothing},
    {OpCode::kCutSquare, "cut_square", nullptr, kOutput, kSelection, Report::kNothing},
    {OpCode::kNop, "nop", nop, kOutput, kNoSelection, Report::kNothing},
    {OpCode::kDivide, "mul_col", nullptr, kOutput, kSelection, Report::kNothing},
    {OpCode::kRunningAverage, "running-average", running_average, kOutput, kSelection,
     Report::kNothing},
    {OpCode::kGetRows, "checkfil", checkfil, kNoOutput, kNoSelection, Report::kRowCount},
    {OpCode::kGetCols, "checkfil", checkfil, kNoOutput, kNoSelection, Report::kColumnCount},
    {OpCode::kRangeKeep, "logical", nullptr, kOutput, kSelection, Report::kNothing},
    {OpCode::kRangeRemove, "logical", nullptr, kOutput, kSelection, Report::kNothing},
    {OpCode::kSincLowPass, "sinc", sinc, kOutput, kSelection, Report::kNothing},
    {OpCode::kSincHighPass, "sinc", sinc, kOutput, kSelection, Report::kNothing},
    {OpCode::kSincBandPass, "sinc", sinc, kOutput, kSelection, Report::kNothing},
    {OpCode::kSincBandStop, "sinc", sinc, kOutput, kSelection, Report::kNothing},
    {OpCode::kFlipUpDown, "flip-ud", flip_ud, kOutput, kNoSelection, Report::kNothing},
    {OpCode::kFlipLeftRight, "flip-lr", nullptr, kOutput, kNoSelection, Report::kNothing},
    {OpCode::kPlot, "plot", nullptr, kOutput, kNoSelection, Report::kNothing},
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
