#include "ops/registry.h"

namespace kest {

// Every operation's descriptor, each defined in the file named as it: one line each.
#define KEST_OPERATIONS(X) \
  X(kRemCol)               \
  X(kRemRow)               \
  X(kTranspos)             \
  X(kCheckfil)             \
  X(kSplitfil)             \
  X(kAddNois)              \
  X(kSortera)              \
  X(kMulCol)               \
  X(kFilter)               \
  X(kShift)                \
  X(kLogical)              \
  X(kAddCol)               \
  X(kEnumerate)            \
  X(kMedianfilter)         \
  X(kMathCol)              \
  X(kEvaluate)             \
  X(kShuffle)              \
  X(kDiff)                 \
  X(kSumCol)               \
  X(kCutSquare)            \
  X(kNop)                  \
  X(kRunningAverage)       \
  X(kSinc)                 \
  X(kFlipUd)               \
  X(kFlipLr)               \
  X(kPlot)

#define KEST_DECLARE(name) extern const Operation name;
KEST_OPERATIONS(KEST_DECLARE)
#undef KEST_DECLARE

namespace {

#define KEST_ADDRESS(name) &name,
constexpr const Operation* kOperations[] = {KEST_OPERATIONS(KEST_ADDRESS)};
#undef KEST_ADDRESS

}  // namespace

std::span<const Operation* const> operations() {
  return kOperations;
}

const Variant* find_variant(OpCode code) {
  for (const Operation* operation : kOperations) {
    for (const Variant& variant : operation->variants) {
      if (variant.code == code) return &variant;
    }
  }
  return nullptr;
}

const Operation* find_operation(OpCode code) {
  for (const Operation* operation : kOperations) {
    for (const Variant& variant : operation->variants) {
      if (variant.code == code) return operation;
    }
  }
  return nullptr;
}

int variant_kind(const Job& job) {
  return find_variant(job.code)->kind;
}

void reset_operations() {
  for (const Operation* operation : kOperations) {
    if (operation->reset != nullptr) operation->reset();
  }
}

void OpChoice::choose(OpCode code) {
  operation = code;
  const Variant* variant = find_variant(code);
  need_output = need_output && variant->needs_output;
  need_selection = need_selection && variant->needs_selection;
}

void announce_names(const Job& job) {
  if (!settings().quiet)
    std::fprintf(stderr, "%s -> %s\n", job.in.c_str(), job.out.value_or("").c_str());
}

}  // namespace kest
