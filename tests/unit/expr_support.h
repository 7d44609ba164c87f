// Shared pieces of the expression-language tests: running a piece of code with
// both standard streams captured, and checking the order of message fragments.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <string>

#include "base/diagnostics.h"
#include "base/settings.h"
#include "expr/variables.h"
#include "support.h"

namespace kest::testing {

/// What a run showed: its exit status (-1 when it ran to the end) and both streams.
struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

template <class Body>
Outcome run_captured(Body&& body) {
  Outcome outcome;
  Capture out(1);
  Capture err(2);
  try {
    body();
  } catch (const ExitRequest& request) {
    outcome.status = request.status;
  }
  outcome.out = out.text();
  outcome.err = err.text();
  return outcome;
}

/// True when every fragment occurs in `text`, each after the one before.
inline ::testing::AssertionResult in_order(const std::string& text,
                                           std::initializer_list<const char*> fragments) {
  std::size_t at = 0;
  for (const char* fragment : fragments) {
    std::size_t found = text.find(fragment, at);
    if (found == std::string::npos) {
      return ::testing::AssertionFailure() << "missing \"" << fragment << "\" in order in:\n"
                                           << text;
    }
    at = found + std::string(fragment).size();
  }
  return ::testing::AssertionSuccess();
}

/// Equal values, NaN equal to NaN.
inline bool same_value(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || a == b;
}

/// A fresh start: default settings and empty variable lists.
class ExprTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_settings();
    reset_variables();
  }
  void TearDown() override {
    reset_settings();
    reset_variables();
  }
};

}  // namespace kest::testing
