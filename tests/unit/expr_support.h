// What the expression-language tests share beyond support.h: a fresh start,
// the status of a run, and the order of message fragments.
#pragma once

#include <cmath>
#include <initializer_list>
#include <string>

#include "base/settings.h"
#include "expr/variables.h"
#include "support.h"

namespace kest::testing {

/// The exit status of a run that ended early; -1 for one that ran to its end.
inline int status_of(const Ending& ending) {
  return ending.kind == Ending::kExit ? ending.status : -1;
}

/// True when every fragment occurs in `text`, each after the one before.
inline ::testing::AssertionResult in_order(const std::string& text,
                                           std::initializer_list<const char*> fragments) {
  std::size_t at = 0;
  for (const std::string fragment : fragments) {
    at = text.find(fragment, at);
    if (at == std::string::npos)
      return ::testing::AssertionFailure() << "no \"" << fragment << "\" in order in:\n" << text;
    at += fragment.size();
  }
  return ::testing::AssertionSuccess();
}

/// Equal values, NaN equal to NaN.
inline bool same_value(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || a == b;
}

/// Default settings and empty variable lists before and after each test.
class ExprTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_settings();
    reset_variables();
  }
  void TearDown() override { SetUp(); }
};

}  // namespace kest::testing
