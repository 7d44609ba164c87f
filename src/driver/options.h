// The command-line vocabulary: one table of every option (its names, letter,
// argument kind and effect), from which the long-option parser's arrays are made,
// and the option loop that fills Settings and the driver's option state.
#pragma once

#include <string_view>
#include <vector>

#include "ops/registry.h"

namespace kest {

/// What the option loop leaves for the driver besides Settings.
struct OptionState {
  OpCode operation = OpCode::kNone;
  bool need_output = true;     ///< only ever cleared, by the operations that need none
  bool need_selection = true;  ///< likewise
  OpParams params;
  const char* program = "kest";  ///< argument 0, for the help text
};

/// Converts an option argument like strtod (trailing text ignored). No conversion
/// is fatal; a range error is reported with the prefix "get_double" and the
/// converted value used.
double get_double(const char* text);

/// Runs the option loop over argv[0..argc) in command-line order. Returns the
/// index of the first positional argument after permutation (argv is permuted in
/// place as the long-option parser does). The help text, version and listings end
/// the run through ExitRequest.
int parse_options(int argc, char** argv, OptionState& state);

/// Every long option name, aliases included, in table order.
std::vector<std::string_view> long_option_names();

}  // namespace kest
