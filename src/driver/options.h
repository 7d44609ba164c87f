// The command-line vocabulary: the table of the options that cut across
// operations and, gathered from the descriptors, every operation's own (names,
// letter, argument kind and effect); the long-option parser's arrays are made
// from them, and the option loop fills Settings, the operations' parameters and
// the driver's option state.
#pragma once

#include <string_view>
#include <vector>

#include "ops/registry.h"

namespace kest {

/// What the option loop leaves for the driver besides Settings and the
/// operations' own parameters: the operation chosen and argument 0.
struct OptionState : OpChoice {
  const char* program = "kest";  ///< argument 0, for the help text
};

/// Runs the option loop over argv[0..argc) in command-line order. Returns the
/// index of the first positional argument after permutation (argv is permuted in
/// place as the long-option parser does). The help text, version and listings end
/// the run through ExitRequest.
int parse_options(int argc, char** argv, OptionState& state);

/// Every long option name, aliases included, in table order.
std::vector<std::string_view> long_option_names();

}  // namespace kest
