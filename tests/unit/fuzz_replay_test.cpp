// Every fuzz target over its corpus, as part of the suite: the targets' own
// checks (the fast paths against the library, every way of reading a file
// against the others, the selection windows against the flags, orderly ends of
// the option loop and the expression language) run on each input kept there.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/random.h"
#include "base/settings.h"
#include "expr/variables.h"
#include "fuzz/fuzz_support.h"
#include "io/reader.h"
#include "io/writer.h"
#include "ops/registry.h"
#include "support.h"

// The targets' entry points, renamed for this program by the build.
#define KEST_FUZZ_TARGETS(X) X(reader) X(numbers) X(selection) X(expr) X(options)
#define KEST_DECLARE(name) \
  extern "C" int kest_fuzz_##name(const std::uint8_t* data, std::size_t size);
KEST_FUZZ_TARGETS(KEST_DECLARE)

namespace kest {
namespace {

using Entry = int (*)(const std::uint8_t*, std::size_t);

class FuzzReplay : public ::testing::TestWithParam<std::pair<const char*, Entry>> {
 protected:
  void TearDown() override {
    reset_settings();
    reset_operations();
    reset_variables();
    reset_pending_comments();
    reset_random_source();
    select_standard_output();
  }
};

TEST_P(FuzzReplay, EveryCorpusInputKeepsTheTargetsProperties) {
  const auto [name, entry] = GetParam();
  const std::filesystem::path corpus =
      std::filesystem::path(KEST_SOURCE_DIR) / "tests/fuzz/corpus" / (std::string(name) + "_fuzz");
  std::size_t inputs = 0;
  testing::Capture out(1), err(2);  // the tool's own messages
  for (const auto& file : std::filesystem::directory_iterator(corpus)) {
    const std::string bytes = testing::slurp(file.path());
    fuzz::replayed_input = file.path().string();
    entry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    ++inputs;
  }
  EXPECT_GT(inputs, 0u) << corpus;
}

#define KEST_PARAM(name) std::pair<const char*, Entry>{#name, kest_fuzz_##name},
const std::pair<const char*, Entry> kTargets[] = {KEST_FUZZ_TARGETS(KEST_PARAM)};
INSTANTIATE_TEST_SUITE_P(Corpus, FuzzReplay, ::testing::ValuesIn(kTargets),
                         [](const auto& info) { return std::string(info.param.first); });

}  // namespace
}  // namespace kest
