#include "driver/options.h"

#include <getopt.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/diagnostics.h"
#include "base/log.h"
#include "base/settings.h"
#include "base/text.h"
#include "driver/help.h"
#include "expr/builtins.h"
#include "io/numscan.h"
#include "io/writer.h"
#include "select/readflag.h"

namespace kest {

namespace {

// ---------------------------------------------------------------------------
// Argument scans

// A long from strtol held in a signed 32-bit field: out-of-range values stop at
// the nearest end of the range, as a 32-bit strtol would give them.
std::int32_t clamp_int32(long long value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

// The scanf conversion "%lf" (and "%lg"); false when nothing was converted.
bool scan_double(const char*& text, double& value) {
  const std::size_t used = kest::scan_double(text, &value);
  text += used;
  return used != 0;
}

// The scanf conversion "%d": strtol in base 10, held as int32.
bool scan_int(const char*& text, std::int32_t& value) {
  char* end = nullptr;
  errno = 0;
  const long raw = std::strtol(text, &end, 10);
  if (end == text) return false;
  value = clamp_int32(raw);
  text = end;
  return true;
}

// A literal character of a scanf format.
bool scan_literal(const char*& text, char c) {
  if (*text != c) return false;
  ++text;
  return true;
}

// A blank of a scanf format: any number of blanks.
void skip_blanks(const char*& text) {
  while (is_blank(*text)) ++text;
}

// "%lf, %d": the number of values read.
int scan_cutoff_and_points(const char* text, double& fc, std::int32_t& m) {
  if (!scan_double(text, fc)) return 0;
  if (!scan_literal(text, ',')) return 1;
  skip_blanks(text);
  return scan_int(text, m) ? 2 : 1;
}

// "%lf, %lf, %d": the number of values read.
int scan_two_cutoffs_and_points(const char* text, double& fcl, double& fch, std::int32_t& m) {
  if (!scan_double(text, fcl)) return 0;
  if (!scan_literal(text, ',')) return 1;
  skip_blanks(text);
  if (!scan_double(text, fch)) return 1;
  if (!scan_literal(text, ',')) return 2;
  skip_blanks(text);
  return scan_int(text, m) ? 3 : 2;
}

// "%lg,%lg": the number of values read.
int scan_range(const char* text, double& lower, double& upper) {
  if (!scan_double(text, lower)) return 0;
  if (!scan_literal(text, ',')) return 1;
  return scan_double(text, upper) ? 2 : 1;
}

// The fc of the sinc filters must lie strictly inside (0, 0.5); NaN does not.
bool cutoff_in_range(double fc) { return fc > 0.0 && fc < 0.5; }

// ---------------------------------------------------------------------------
// Effects

Settings& set() { return mutable_settings(); }

// Chooses an operation: the last one given wins, and the need flags are only
// ever cleared, by the operations that need no output name or no selection.
void choose(OptionState& state, OpCode code) {
  state.operation = code;
  const OpSpec* spec = find_operation(code);
  state.need_output = state.need_output && spec->needs_output;
  state.need_selection = state.need_selection && spec->needs_selection;
}

void parse_split(const char* arg, OptionState& state) {
  Settings& s = set();
  choose(state, OpCode::kSplit);
  s.split_percent = 0;
  s.split_random = false;
  double& amount = state.params.split_amount;
  amount = 90.0;
  if (arg == nullptr) return;
  if (arg[std::strspn(arg, "0123456789.pP%sS")] != '\0') {
    KEST_FATAL("invalid characters in option argument for option -d: %s.\n", arg);
  }
  // "%16lf": only digits and '.' can form the number here.
  char number[17];
  bounded_copy(number, arg, sizeof number);
  const char* cursor = number;
  if (!scan_double(cursor, amount)) {
    s.split_percent = 1;
    amount = 90.0;
  }
  if (std::strpbrk(arg, "pP%") != nullptr) ++s.split_percent;
  if (std::strpbrk(arg, "sS") != nullptr) s.split_random = true;
  if (s.split_percent != 0) {
    if (!(amount > 0.0 && amount < 100.0)) {
      KEST_FATAL("Percent must be between 0%% and 100%% (%f)", amount);
    }
    s.split_percent = 1;
  }
}

void parse_filter(const char* arg, OptionState& state) {
  long long taps = state.params.filter_taps;
  if (arg != nullptr) scan_width_integer(arg, 8, taps);
  if (taps < 1) KEST_FATAL("Filtertaps can't be less than zero (%lld)", taps);
  if (taps % 2 == 0) {
    warning_message("Filtertaps should be odd (%lld), adjusting uppwards to %lld", taps, taps + 1);
  }
  choose(state, OpCode::kFilter);
  state.params.filter_taps = clamp_int32(taps / 2 + 1);
}

void parse_sinc_single(const char* arg, bool high_pass, OptionState& state) {
  double fc = 0.0;
  std::int32_t m = 0;
  if (scan_cutoff_and_points(arg, fc, m) != 2) KEST_FATAL("Wrong number of parameters\n");
  if (!cutoff_in_range(fc)) KEST_FATAL("Cutoff frequency out of range (0 - 0.5)\n");
  if (m % 2 != 0) KEST_FATAL("M should be even\n");
  if (m <= 0) KEST_FATAL("M should be a positive even number\n");
  choose(state, high_pass ? OpCode::kSincHighPass : OpCode::kSincLowPass);
  state.params.sinc = high_pass ? SincSpec{0.0, fc, m, 1} : SincSpec{fc, 0.0, m, 0};
}

void parse_sinc_pair(const char* arg, bool band_stop, OptionState& state) {
  double fcl = 0.0;
  double fch = 0.0;
  std::int32_t m = 0;
  if (scan_two_cutoffs_and_points(arg, fcl, fch, m) != 3) {
    KEST_FATAL("Wrong number of parameters\n");
  }
  if (!cutoff_in_range(fcl) || !cutoff_in_range(fch)) {
    KEST_FATAL("Cutoff frequencies out of range (0 - 0.5)\n");
  }
  if (m % 2 != 0) KEST_FATAL("M should be even\n");
  if (m <= 0) KEST_FATAL("M should be a positive even number\n");
  choose(state, band_stop ? OpCode::kSincBandStop : OpCode::kSincBandPass);
  state.params.sinc = SincSpec{fcl, fch, m, band_stop ? 3 : 2};
}

void parse_shift(const char* arg, OptionState& state) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(arg, &end, 10);
  if (value == 0 && end == arg) KEST_FATAL("Can't convert %s to a number\n", arg);
  // Kept off INT32_MIN so that its absolute value exists.
  std::int32_t shift = clamp_int32(value);
  if (shift == INT32_MIN) shift = -INT32_MAX;
  state.params.shift = shift;
  choose(state, OpCode::kShift);
}

void parse_divide(const char* arg, OptionState& state) {
  const double factor = get_double(arg);
  if (factor == 0.0) KEST_FATAL("Can't divide by ZERO\n");
  state.params.multiply_factor = factor;
  choose(state, OpCode::kDivide);
}

void parse_median(const char* arg, OptionState& state) {
  long long taps = state.params.filter_taps;
  scan_width_integer(arg, 8, taps);
  if (taps < 1) KEST_FATAL("Filtertaps can't be negative (%lld)", taps);
  choose(state, OpCode::kMedian);
  state.params.filter_taps = clamp_int32(taps);
}

void parse_wildcard(const char* arg) {
  Settings& s = set();
  s.wildcard = true;
  if (arg == nullptr) return;
  try {
    std::string extension;
    if (arg[0] != '.') extension.push_back('.');
    extension.append(arg);
    s.extension = std::move(extension);
  } catch (const std::bad_alloc&) {
    KEST_ERROR("error in handling file-extension: %s\n", arg);
    exit_process(1);
  }
}

void parse_xtra(const char* arg) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(arg, &end, 10);
  if (end == arg) KEST_FATAL("Can't convert %s to a number\n", arg);
  if (value < -1 || value == 0) {
    KEST_FATAL("Argument to -x/--xtra must be larger than zero or equal to -1 (all columns)\n");
  }
  set().xtra = value == -1 ? -1 : clamp_int32(value) - 1;
}

void parse_delimiter(const char* arg, OptionState& state) {
  Settings& s = set();
  if (arg[0] == '\\') {
    switch (arg[1] >= 'A' && arg[1] <= 'Z' ? arg[1] - 'A' + 'a' : arg[1]) {
      case 'n':
        s.delimiter = '\n';
        break;
      case 't':
        s.delimiter = '\t';
        break;
      case '\\':
        s.delimiter = '\\';
        break;
      default:
        s.delimiter = ' ';
        info_message("Unknown separator\n");
        break;
    }
  } else {
    s.delimiter = arg[0];
  }
  if (state.operation == OpCode::kNone) choose(state, OpCode::kDelimiter);
}

void parse_format(const char* arg) {
  Settings& s = set();
  s.number_format.assign(arg, strnlen(arg, 30));
  const char* format = s.number_format.c_str();
  if (!check_number_format(s.number_format)) {
    KEST_FATAL(
        "Invalid format (%s) \n%%[flags][width][.precision]{e|f|g}\nMinimum allowed format:      "
        "%%f\nDefault format:              %%f\nExtra precision (-x) format: %%.18g",
        format);
  }
  // A sample of the format; a very wide one is shown cut.
  char sample[1024];
  if (std::snprintf(sample, sizeof sample, format, 12345678.901234567) < 0) sample[0] = '\0';
  std::fprintf(stderr, "Output format:%s\n>%s<\n", format, sample);
  s.format_set = true;
}

void parse_range(const char* arg, OpCode code, OptionState& state) {
  if (scan_range(arg, state.params.range_lower, state.params.range_upper) != 2) {
    KEST_ERROR("Need 2 values in the format lower,upper\n");
    exit_process(1);
  }
  choose(state, code);
}

// The long strtol gives is taken modulo 2^32, so -1 is 4294967295.
void parse_maxbuff(const char* arg) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(arg, &end, 0);
  auto size = static_cast<std::uint32_t>(static_cast<unsigned long>(value) & 0xffffffffUL);
  if (size < kDefaultMaxbuff) {
    if (end == arg) KEST_FATAL("Can't convert %s to a number\n", arg);
    warning_message("maxbuff=%lu is to small. Reseting to %u\n", static_cast<unsigned long>(size),
                    kDefaultMaxbuff);
    size = kDefaultMaxbuff;
  }
  set().maxbuff = size;
}

// "window[,mode]"
void parse_running_average(const char* arg, OptionState& state) {
  char* end = nullptr;
  errno = 0;
  long window = std::strtol(arg, &end, 0);
  if (end == arg) KEST_FATAL("Can't convert %s to a number\n", arg);
  if (window <= 1) {
    warning_message("Running average window=%ld is too small. Resetting to 5\n", window);
    window = 5;
  }
  state.params.filter_taps = clamp_int32(window);
  if (*end == ',') {
    errno = 0;
    long mode = std::strtol(end + 1, nullptr, 0);
    if (mode < 0 || mode > 3) {
      warning_message("Unknown running average mode.\nReseting to \"2 - PMA\"");
      mode = 2;
    }
    set().running_average_mode = static_cast<std::uint32_t>(mode);
  }
  choose(state, OpCode::kRunningAverage);
}

void parse_keep(const char* arg, OpCode code, OptionState& state) {
  choose(state, code);
  set().inverse = true;
  if (arg != nullptr) add_selection_string(set().selection_strings, arg);
}

void parse_plot_x(const char* arg, OptionState& state) {
  long long column = 0;
  const std::size_t used = scan_width_integer(arg, 10, column);
  if (used == 0 || arg[used] != '\0' || column < 1 || column > UINT32_MAX) {
    KEST_FATAL("Invalid column for --plot-x: %s (a column number from 1)\n", arg);
  }
  state.params.plot_x = static_cast<std::uint32_t>(column);
}

void parse_plot_size(const char* arg, OptionState& state) {
  long long width = 0;
  long long height = 0;
  const std::size_t used = scan_width_integer(arg, 6, width);
  const bool separator = used != 0 && (arg[used] == 'x' || arg[used] == 'X');
  const std::size_t more = separator ? scan_width_integer(arg + used + 1, 6, height) : 0;
  if (more == 0 || arg[used + 1 + more] != '\0' || width < 100 || width > 10000 || height < 100 ||
      height > 10000) {
    KEST_FATAL("Invalid plot size %s (WxH, each from 100 to 10000)\n", arg);
  }
  state.params.plot_width = static_cast<std::uint32_t>(width);
  state.params.plot_height = static_cast<std::uint32_t>(height);
}

// "x", "y" or "xy": the logarithmic axes.
void parse_plot_log(const char* arg, OptionState& state) {
  const std::string_view axes = arg;
  if (axes != "x" && axes != "y" && axes != "xy") {
    KEST_FATAL("Invalid value for --plot-log: %s (x, y or xy)\n", arg);
  }
  state.params.plot_log_x = axes != "y";
  state.params.plot_log_y = axes != "x";
}

// "lines", "points" or "both".
void parse_plot_style(const char* arg, OptionState& state) {
  const std::string_view style = arg;
  if (style != "lines" && style != "points" && style != "both") {
    KEST_FATAL("Invalid value for --plot-style: %s (lines, points or both)\n", arg);
  }
  state.params.plot_lines = style != "points";
  state.params.plot_points = style != "lines";
}

// -g: an accepted letter without a meaning.
void report_unused_letter() {
  if (!settings().more) std::fprintf(stderr, "?? getopt returned character code 0%o ??\n", 'g');
}

// The expression language's listings on standard output, then the end of the run.
[[noreturn]] void show_listing(void (*print)(std::FILE*)) {
  if (print != nullptr) print(stdout);
  std::fflush(stdout);
  exit_process(0);
}

// ---------------------------------------------------------------------------
// The table

enum class Arg { kNone = no_argument, kRequired = required_argument, kOptional = optional_argument };

using Effect = void (*)(const char* arg, OptionState& state);

struct OptionSpec {
  const char* names;  ///< long names separated by '|'; empty for a letter alone
  char letter;        ///< short letter (its upper-case twin acts the same), or 0
  Arg arg;            ///< argument of the long names
  Arg letter_arg;     ///< argument of the letter
  Effect effect;
};

#define EFFECT [](const char* arg [[maybe_unused]], OptionState& state [[maybe_unused]])

constexpr Arg N = Arg::kNone;
constexpr Arg R = Arg::kRequired;
constexpr Arg O = Arg::kOptional;

// Every option in the order of the help's reference table. Options act strictly in
// command-line order, so for every value the last option given wins.
constexpr OptionSpec kOptions[] = {
    {"quiet|silence", '#', N, N, EFFECT { set().quiet = true; }},
    {"keep-comments", 'a', N, N, EFFECT { set().keep_comments = true; }},
    {"skip-columns", 'b', R, R,
     EFFECT {
       long long value = 0;
       if (scan_width_integer(arg, 8, value) != 0) {
         set().skip_columns = value < 0 ? 0 : static_cast<std::uint32_t>(value);
       }
     }},
    {"skip-rows", 0, R, N,
     EFFECT {
       long long value = 0;
       if (scan_width_integer(arg, 8, value) != 0) {
         set().skip_rows = value < 0 ? 0 : static_cast<std::int32_t>(value);
       }
     }},
    {"check", 'c', N, N, EFFECT { choose(state, OpCode::kCheck); }},
    {"split", 'd', R, O, EFFECT { parse_split(arg, state); }},
    {"specified", 'e', R, R, EFFECT { add_selection_string(set().selection_strings, arg); }},
    {"filter", 'f', O, O, EFFECT { parse_filter(arg, state); }},
    {"sinc-lp", 0, R, N, EFFECT { parse_sinc_single(arg, false, state); }},
    {"sinc-hp", 0, R, N, EFFECT { parse_sinc_single(arg, true, state); }},
    {"sinc-bp", 0, R, N, EFFECT { parse_sinc_pair(arg, false, state); }},
    {"sinc-bs", 0, R, N, EFFECT { parse_sinc_pair(arg, true, state); }},
    {"inverse", 'i', N, N, EFFECT { set().inverse = true; }},
    {"shift", 'j', R, R, EFFECT { parse_shift(arg, state); }},
    {"columns|remove-columns", 'k', N, N, EFFECT { choose(state, OpCode::kRemoveColumns); }},
    {"keep-columns", 0, O, N, EFFECT { parse_keep(arg, OpCode::kRemoveColumns, state); }},
    {"multiply", 'm', R, R,
     EFFECT {
       state.params.multiply_factor = get_double(arg);
       choose(state, OpCode::kMultiply);
     }},
    {"divide", 0, R, N, EFFECT { parse_divide(arg, state); }},
    {"noise", 'n', R, R,
     EFFECT {
       state.params.noise_level = get_double(arg);
       choose(state, OpCode::kNoise);
     }},
    {"add", 'p', R, R,
     EFFECT {
       state.params.add_term = get_double(arg);
       choose(state, OpCode::kAdd);
     }},
    {"sort|qsort", 'q', R, R,
     EFFECT {
       state.params.sort_spec = arg;
       choose(state, OpCode::kSort);
     }},
    {"rows|remove-rows", 'r', N, N, EFFECT { choose(state, OpCode::kRemoveRows); }},
    {"keep-rows", 0, O, N, EFFECT { parse_keep(arg, OpCode::kRemoveRows, state); }},
    {"qxstars", 's', N, N, EFFECT { set().qxstars = true; }},
    {"transpose", 't', N, N, EFFECT { choose(state, OpCode::kTranspose); }},
    {"medianfilter", 'u', R, R, EFFECT { parse_median(arg, state); }},
    {"wildcard", 'w', O, O, EFFECT { parse_wildcard(arg); }},
    {"xtra", 'x', R, R, EFFECT { parse_xtra(arg); }},
    {"enumerate", 'y', O, O,
     EFFECT {
       choose(state, OpCode::kEnumerate);
       if (arg != nullptr && (arg[0] == 'c' || arg[0] == 'C')) set().add_line_count = true;
     }},
    {"add-line-count", 0, N, N, EFFECT { set().add_line_count = true; }},
    {"delimiter", 'z', R, R, EFFECT { parse_delimiter(arg, state); }},
    {"more", 0, N, N, EFFECT { set().more = true; }},
    {"format", 0, R, N, EFFECT { parse_format(arg); }},
    {"removegt|keepleq", 0, R, N,
     EFFECT {
       state.params.level = get_double(arg);
       choose(state, OpCode::kRemoveGt);
     }},
    {"removelt|keepgeq", 0, R, N,
     EFFECT {
       state.params.level = get_double(arg);
       choose(state, OpCode::kRemoveLt);
     }},
    {"removeeq|keepneq", 0, R, N,
     EFFECT {
       state.params.level = get_double(arg);
       choose(state, OpCode::kRemoveEq);
     }},
    {"keepgt|removeleq", 0, R, N,
     EFFECT {
       state.params.level = get_double(arg);
       choose(state, OpCode::kKeepGt);
     }},
    {"keeplt|removegeq", 0, R, N,
     EFFECT {
       state.params.level = get_double(arg);
       choose(state, OpCode::kKeepLt);
     }},
    {"keepeq|removeneq", 0, R, N,
     EFFECT {
       state.params.level = get_double(arg);
       choose(state, OpCode::kKeepEq);
     }},
    {"range-keep", 0, R, N, EFFECT { parse_range(arg, OpCode::kRangeKeep, state); }},
    {"range-remove", 0, R, N, EFFECT { parse_range(arg, OpCode::kRangeRemove, state); }},
    {"math", 0, R, N,
     EFFECT {
       state.params.function = arg;
       choose(state, OpCode::kMath);
     }},
    {"eval", 0, R, N,
     EFFECT {
       state.params.function = arg;
       choose(state, OpCode::kEval);
     }},
    {"shuffle", 0, N, N, EFFECT { choose(state, OpCode::kShuffle); }},
    {"diff", 0, N, N, EFFECT { choose(state, OpCode::kDiff); }},
    {"special-log", 0, N, N, EFFECT { set().special_log = true; }},
    {"sum-col|sum_col|sum-vertical|sum_vertical", 0, N, N,
     EFFECT { choose(state, OpCode::kSumVertical); }},
    {"sum-row|sum_row|sum-horizontal|sum_horizontal", 0, N, N,
     EFFECT { choose(state, OpCode::kSumHorizontal); }},
    {"cut-square", 0, R, N,
     EFFECT {
       choose(state, OpCode::kCutSquare);
       add_selection_string(set().cut_square_strings, arg);
       set().inverse = !settings().inverse;
     }},
    {"eval-examples|eval_examples", 0, N, N, EFFECT { show_listing(print_examples); }},
    {"eval-operators|eval_operators", 0, N, N, EFFECT { show_listing(print_operators); }},
    {"eval-constants|eval_constants", 0, N, N, EFFECT { show_listing(print_constants); }},
    {"eval-functions|eval_functions", 0, N, N, EFFECT { show_listing(print_functions); }},
    {"eval-begin|eval_begin|eval-prolog|eval_prolog", 0, R, N,
     EFFECT { state.params.prolog = arg; }},
    {"eval-end|eval_end|eval-epilog|eval_epilog", 0, R, N, EFFECT { state.params.epilog = arg; }},
    {"latex-output|output-latex", 0, N, N, EFFECT { select_latex_output(); }},
    {"c-output|output-c", 0, N, N, EFFECT { select_c_output(); }},
    {"standard-output|output-standard", 0, N, N, EFFECT { select_standard_output(); }},
    {"output-csv", 0, N, N, EFFECT { select_csv_output(); }},
    {"fuzz", 0, R, N, EFFECT { set().fuzz = get_double(arg); }},
    {"nop|noop", 0, N, N, EFFECT { choose(state, OpCode::kNop); }},
    {"maxbuff", 0, R, N, EFFECT { parse_maxbuff(arg); }},
    {"running-average|running-avg|running-mean", 0, R, N,
     EFFECT { parse_running_average(arg, state); }},
    {"no-wait-on-error", 0, N, N, EFFECT { set().wait_on_error = false; }},
    {"wait-on-error", 0, N, N, EFFECT { set().wait_on_error = true; }},
    {"help", 0, N, N, EFFECT { usage(state.program); }},
    {"", 'h', N, N, EFFECT { usage(state.program); }},
    {"version", 'v', N, N, EFFECT { print_version(); }},
    {"debug", 0, N, N, EFFECT { set().debug = true; }},
    {"get-rows", 0, N, N, EFFECT { choose(state, OpCode::kGetRows); }},
    {"get-cols", 0, N, N, EFFECT { choose(state, OpCode::kGetCols); }},
    {"append", 0, N, N, EFFECT { set().append = true; }},
    {"input-delimiter", 0, R, N, EFFECT { set().input_delimiter = arg[0]; }},
    {"flip-ud", 0, N, N, EFFECT { choose(state, OpCode::kFlipUpDown); }},
    {"flip-lr", 0, N, N, EFFECT { choose(state, OpCode::kFlipLeftRight); }},
    {"plot", 0, N, N, EFFECT { choose(state, OpCode::kPlot); }},
    {"plot-x", 0, R, N, EFFECT { parse_plot_x(arg, state); }},
    {"plot-size", 0, R, N, EFFECT { parse_plot_size(arg, state); }},
    {"plot-title", 0, R, N, EFFECT { state.params.plot_title = arg; }},
    {"plot-xlabel", 0, R, N, EFFECT { state.params.plot_xlabel = arg; }},
    {"plot-ylabel", 0, R, N, EFFECT { state.params.plot_ylabel = arg; }},
    {"plot-log", 0, R, N, EFFECT { parse_plot_log(arg, state); }},
    {"plot-style", 0, R, N, EFFECT { parse_plot_style(arg, state); }},
    {"", 'g', N, N, EFFECT { report_unused_letter(); }},
};

#undef EFFECT

constexpr int kFirstLongCode = 256;
// Only used to put the parser's error indicator in a known state.
constexpr int kProbe = kFirstLongCode + 1000;

// The parser's arrays, made from the table: long options of a row share the
// row's code, so a prefix that fits only aliases of one option is not ambiguous.
struct ParserArrays {
  std::string short_options = "#?";
  std::vector<std::string> names;
  std::vector<struct option> long_options;
  std::array<const OptionSpec*, 256> by_letter{};

  ParserArrays() {
    for (std::size_t row = 0; row < std::size(kOptions); ++row) {
      const OptionSpec& spec = kOptions[row];
      const int code = spec.letter != 0 ? spec.letter : kFirstLongCode + static_cast<int>(row);
      std::string_view all = spec.names;
      while (!all.empty()) {
        const std::size_t bar = all.find('|');
        names.emplace_back(all.substr(0, bar));
        all = bar == std::string_view::npos ? std::string_view() : all.substr(bar + 1);
      }
      for (std::size_t i = names.size() - count_names(spec); i < names.size(); ++i) {
        long_options.push_back({nullptr, static_cast<int>(spec.arg), nullptr, code});
      }
      if (spec.letter == 0) continue;
      by_letter[static_cast<unsigned char>(spec.letter)] = &spec;
      const char* suffix = spec.letter_arg == Arg::kRequired   ? ":"
                           : spec.letter_arg == Arg::kOptional ? "::"
                                                               : "";
      if (spec.letter >= 'a' && spec.letter <= 'z') {
        short_options += static_cast<char>(spec.letter - 'a' + 'A');
        short_options += suffix;
      }
      if (spec.letter != '#') {
        short_options += spec.letter;
        short_options += suffix;
      }
    }
    for (std::size_t i = 0; i < names.size(); ++i) long_options[i].name = names[i].c_str();
    long_options.push_back({nullptr, 0, nullptr, 0});
  }

  static std::size_t count_names(const OptionSpec& spec) {
    if (spec.names[0] == '\0') return 0;
    return 1 + static_cast<std::size_t>(std::count(spec.names, spec.names + std::strlen(spec.names), '|'));
  }

  const OptionSpec* find(int code) const {
    if (code >= kFirstLongCode && code < kFirstLongCode + static_cast<int>(std::size(kOptions))) {
      return &kOptions[code - kFirstLongCode];
    }
    if (code > 0 && code < 256) return by_letter[static_cast<unsigned char>(code)];
    return nullptr;
  }
};

const ParserArrays& parser_arrays() {
  static const ParserArrays arrays;
  return arrays;
}

// The parser leaves its error indicator (optopt) alone when it accepts an option
// and sets it on every error, always to a value in the range of a char or to the
// code of one of our long options. kProbe is neither, so after a probe that puts
// kProbe there, '?' with optopt == kProbe can only be the -? option itself.
void reset_parser_error_indicator() {
  static const struct option probe_options[] = {{"probe", required_argument, nullptr, kProbe},
                                                {nullptr, 0, nullptr, 0}};
  char program[] = "kest";
  char probe[] = "--probe";
  char* probe_argv[] = {program, probe, nullptr};
  const int saved_opterr = opterr;
  opterr = 0;
  optind = 0;
  getopt_long(2, probe_argv, "", probe_options, nullptr);  // missing argument
  opterr = saved_opterr;
  optind = 0;
}

}  // namespace

double get_double(const char* text) {
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text, &end);
  if (end == text) KEST_FATAL("Unable to convert \"%s\" to a number", text);
  if (errno != 0) std::fprintf(stderr, "get_double: %s\n", std::strerror(errno));
  return value;
}

int parse_options(int argc, char** argv, OptionState& state) {
  const ParserArrays& arrays = parser_arrays();
  if (argc > 0 && argv[0] != nullptr) state.program = argv[0];
  reset_parser_error_indicator();
  optind = 0;
  opterr = 1;
  for (;;) {
    int code = getopt_long(argc, argv, arrays.short_options.c_str(), arrays.long_options.data(),
                           nullptr);
    if (code == -1) break;
    if (code == '?') {
      if (optopt == kProbe) usage(state.program);  // the -? option itself
      usage_after_error(state.program);            // the parser has reported the error
    }
    if (code >= 'A' && code <= 'Z') code = code - 'A' + 'a';
    if (const OptionSpec* spec = arrays.find(code)) spec->effect(optarg, state);
  }
  return optind;
}

std::vector<std::string_view> long_option_names() {
  const ParserArrays& arrays = parser_arrays();
  return {arrays.names.begin(), arrays.names.end()};
}

}  // namespace kest
