// The command-line vocabulary: the option loop that fills Settings and the
// driver's operation parameters.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kest {

/// Cut-offs, number of points and type of the windowed-sinc filters.
struct SincSpec {
  double fc1 = 0.0;      ///< first cut-off
  double fc2 = 0.0;      ///< second cut-off
  std::int32_t m = 0;    ///< number of filter points, even
  std::int32_t type = 0; ///< 0 low-pass, 1 high-pass, 2 band-pass, 3 band-stop
};

/// The driver's per-run values that the operation options set.
struct DriverParams {
  bool need_output = true;
  bool need_selection = true;
  std::int32_t filter_taps = 5;
  double split_amount = 0.0;
  std::string sort_spec = "1";
  double range_lower = 0.0;
  double range_upper = 0.0;
  double level = 0.0;  ///< comparison level of the --keepXX / --removeXX options
  double add_term = 0.0;
  double multiply_factor = 1.0;
  double noise_level = 0.001;
  std::optional<std::string> function;  ///< --math / --eval text
  std::optional<std::string> prolog;
  std::optional<std::string> epilog;
  std::int32_t shift = 0;
  SincSpec sinc;
};

/// Converts an option argument like strtod (trailing text ignored). No conversion
/// is fatal; a range error is reported with the prefix "get_double" and the
/// converted value used.
double get_double(const char* text);

/// Runs the option loop over argv[0..argc) in command-line order. Returns the
/// index of the first positional argument after permutation (argv is permuted in
/// place as the long-option parser does). The help text, version and listings end
/// the run through ExitRequest.
int parse_options(int argc, char** argv, DriverParams& params);

/// Every long option name, aliases included, in table order.
std::vector<std::string_view> long_option_names();

}  // namespace kest
