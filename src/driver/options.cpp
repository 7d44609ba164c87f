#include "driver/options.h"

#include <getopt.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>
#include <vector>

#include "driver/help.h"
#include "base/settings.h"
#include "base/diagnostics.h"
#include "io/numscan.h"
#include "io/writer.h"
#include "select/readflag.h"
#include "base/log.h"

namespace kest {

namespace {

// Operation codes chosen by the options (Settings.operation).
enum Operation : std::int32_t {
  kOpRemoveColumns = 0,
  kOpRemoveRows = 1,
  kOpTranspose = 2,
  kOpCheck = 3,
  kOpSplit = 4,
  kOpDelimiterOnly = 5,
  kOpNoise = 6,
  kOpSort = 7,
  kOpMultiply = 9,
  kOpFilter = 10,
  kOpShift = 11,
  kOpRemoveGt = 12,
  kOpRemoveLt = 13,
  kOpRemoveEq = 14,
  kOpKeepGt = 15,
  kOpKeepLt = 16,
  kOpKeepEq = 17,
  kOpAdd = 18,
  kOpEnumerate = 19,
  kOpMedian = 20,
  kOpMath = 21,
  kOpEval = 22,
  kOpShuffle = 23,
  kOpDiff = 24,
  kOpSumVertical = 25,
  kOpSumHorizontal = 26,
  kOpCutSquare = 27,
  kOpNop = 28,
  kOpDivide = 29,
  kOpRunningAverage = 30,
  kOpGetRows = 31,
  kOpGetCols = 32,
  kOpRangeKeep = 33,
  kOpRangeRemove = 34,
  kOpSincLowPass = 35,
  kOpSincHighPass = 36,
  kOpSincBandPass = 37,
  kOpSincBandStop = 38,
  kOpFlipUpDown = 39,
  kOpFlipLeftRight = 40,
};

// Codes the parser returns for long options without a short letter. Aliases share
// a code, so a prefix that fits only aliases of one option is not ambiguous.
enum LongCode : int {
  kSkipRows = 256,
  kSincLowPass,
  kSincHighPass,
  kSincBandPass,
  kSincBandStop,
  kKeepColumns,
  kDivide,
  kKeepRows,
  kAddLineCount,
  kMore,
  kFormat,
  kRemoveGt,  // also --keepleq
  kRemoveLt,  // also --keepgeq
  kRemoveEq,  // also --keepneq
  kKeepGt,    // also --removeleq
  kKeepLt,    // also --removegeq
  kKeepEq,    // also --removeneq
  kRangeKeep,
  kRangeRemove,
  kMath,
  kEval,
  kShuffle,
  kDiff,
  kSpecialLog,
  kSumVertical,
  kSumHorizontal,
  kCutSquare,
  kEvalExamples,
  kEvalOperators,
  kEvalConstants,
  kEvalFunctions,
  kEvalProlog,
  kEvalEpilog,
  kLatexOutput,
  kCOutput,
  kStandardOutput,
  kCsvOutput,
  kFuzz,
  kNop,
  kMaxbuff,
  kRunningAverage,
  kNoWaitOnError,
  kWaitOnError,
  kHelp,
  kDebug,
  kGetRows,
  kGetCols,
  kAppend,
  kInputDelimiter,
  kFlipUpDown,
  kFlipLeftRight,
  // Only used to put the parser's error indicator in a known state.
  kProbe,
};

constexpr char kShortOptions[] =
    "#?AB:CD::E:F::GHIJ:KM:N:P:Q:RSTU:VW::X:Y::Z:ab:cd::e:f::ghij:km:n:p:q:rstu:vw::x:y::z:";

constexpr int kNone = no_argument;
constexpr int kRequired = required_argument;
constexpr int kOptional = optional_argument;

const struct option kLongOptions[] = {
    {"quiet", kNone, nullptr, '#'},
    {"silence", kNone, nullptr, '#'},
    {"keep-comments", kNone, nullptr, 'a'},
    {"skip-columns", kRequired, nullptr, 'b'},
    {"skip-rows", kRequired, nullptr, kSkipRows},
    {"check", kNone, nullptr, 'c'},
    {"split", kRequired, nullptr, 'd'},
    {"specified", kRequired, nullptr, 'e'},
    {"filter", kOptional, nullptr, 'f'},
    {"sinc-lp", kRequired, nullptr, kSincLowPass},
    {"sinc-hp", kRequired, nullptr, kSincHighPass},
    {"sinc-bp", kRequired, nullptr, kSincBandPass},
    {"sinc-bs", kRequired, nullptr, kSincBandStop},
    {"inverse", kNone, nullptr, 'i'},
    {"shift", kRequired, nullptr, 'j'},
    {"columns", kNone, nullptr, 'k'},
    {"remove-columns", kNone, nullptr, 'k'},
    {"keep-columns", kOptional, nullptr, kKeepColumns},
    {"multiply", kRequired, nullptr, 'm'},
    {"divide", kRequired, nullptr, kDivide},
    {"noise", kRequired, nullptr, 'n'},
    {"add", kRequired, nullptr, 'p'},
    {"sort", kRequired, nullptr, 'q'},
    {"qsort", kRequired, nullptr, 'q'},
    {"rows", kNone, nullptr, 'r'},
    {"remove-rows", kNone, nullptr, 'r'},
    {"keep-rows", kOptional, nullptr, kKeepRows},
    {"qxstars", kNone, nullptr, 's'},
    {"transpose", kNone, nullptr, 't'},
    {"medianfilter", kRequired, nullptr, 'u'},
    {"wildcard", kOptional, nullptr, 'w'},
    {"xtra", kRequired, nullptr, 'x'},
    {"enumerate", kOptional, nullptr, 'y'},
    {"add-line-count", kNone, nullptr, kAddLineCount},
    {"delimiter", kRequired, nullptr, 'z'},
    {"more", kNone, nullptr, kMore},
    {"format", kRequired, nullptr, kFormat},
    {"removegt", kRequired, nullptr, kRemoveGt},
    {"keepleq", kRequired, nullptr, kRemoveGt},
    {"removelt", kRequired, nullptr, kRemoveLt},
    {"keepgeq", kRequired, nullptr, kRemoveLt},
    {"removeeq", kRequired, nullptr, kRemoveEq},
    {"keepneq", kRequired, nullptr, kRemoveEq},
    {"keepgt", kRequired, nullptr, kKeepGt},
    {"removeleq", kRequired, nullptr, kKeepGt},
    {"keeplt", kRequired, nullptr, kKeepLt},
    {"removegeq", kRequired, nullptr, kKeepLt},
    {"keepeq", kRequired, nullptr, kKeepEq},
    {"removeneq", kRequired, nullptr, kKeepEq},
    {"range-keep", kRequired, nullptr, kRangeKeep},
    {"range-remove", kRequired, nullptr, kRangeRemove},
    {"math", kRequired, nullptr, kMath},
    {"eval", kRequired, nullptr, kEval},
    {"shuffle", kNone, nullptr, kShuffle},
    {"diff", kNone, nullptr, kDiff},
    {"special-log", kNone, nullptr, kSpecialLog},
    {"sum-col", kNone, nullptr, kSumVertical},
    {"sum_col", kNone, nullptr, kSumVertical},
    {"sum-vertical", kNone, nullptr, kSumVertical},
    {"sum_vertical", kNone, nullptr, kSumVertical},
    {"sum-row", kNone, nullptr, kSumHorizontal},
    {"sum_row", kNone, nullptr, kSumHorizontal},
    {"sum-horizontal", kNone, nullptr, kSumHorizontal},
    {"sum_horizontal", kNone, nullptr, kSumHorizontal},
    {"cut-square", kRequired, nullptr, kCutSquare},
    {"eval-examples", kNone, nullptr, kEvalExamples},
    {"eval_examples", kNone, nullptr, kEvalExamples},
    {"eval-operators", kNone, nullptr, kEvalOperators},
    {"eval_operators", kNone, nullptr, kEvalOperators},
    {"eval-constants", kNone, nullptr, kEvalConstants},
    {"eval_constants", kNone, nullptr, kEvalConstants},
    {"eval-functions", kNone, nullptr, kEvalFunctions},
    {"eval_functions", kNone, nullptr, kEvalFunctions},
    {"eval-begin", kRequired, nullptr, kEvalProlog},
    {"eval_begin", kRequired, nullptr, kEvalProlog},
    {"eval-prolog", kRequired, nullptr, kEvalProlog},
    {"eval_prolog", kRequired, nullptr, kEvalProlog},
    {"eval-end", kRequired, nullptr, kEvalEpilog},
    {"eval_end", kRequired, nullptr, kEvalEpilog},
    {"eval-epilog", kRequired, nullptr, kEvalEpilog},
    {"eval_epilog", kRequired, nullptr, kEvalEpilog},
    {"latex-output", kNone, nullptr, kLatexOutput},
    {"output-latex", kNone, nullptr, kLatexOutput},
    {"c-output", kNone, nullptr, kCOutput},
    {"output-c", kNone, nullptr, kCOutput},
    {"standard-output", kNone, nullptr, kStandardOutput},
    {"output-standard", kNone, nullptr, kStandardOutput},
    {"output-csv", kNone, nullptr, kCsvOutput},
    {"fuzz", kRequired, nullptr, kFuzz},
    {"nop", kNone, nullptr, kNop},
    {"noop", kNone, nullptr, kNop},
    {"maxbuff", kRequired, nullptr, kMaxbuff},
    {"running-average", kRequired, nullptr, kRunningAverage},
    {"running-avg", kRequired, nullptr, kRunningAverage},
    {"running-mean", kRequired, nullptr, kRunningAverage},
    {"no-wait-on-error", kNone, nullptr, kNoWaitOnError},
    {"wait-on-error", kNone, nullptr, kWaitOnError},
    // Not '?': the parser also reports errors with '?'.
    {"help", kNone, nullptr, kHelp},
    {"version", kNone, nullptr, 'v'},
    {"debug", kNone, nullptr, kDebug},
    {"get-rows", kNone, nullptr, kGetRows},
    {"get-cols", kNone, nullptr, kGetCols},
    {"append", kNone, nullptr, kAppend},
    {"input-delimiter", kRequired, nullptr, kInputDelimiter},
    {"flip-ud", kNone, nullptr, kFlipUpDown},
    {"flip-lr", kNone, nullptr, kFlipLeftRight},
    {nullptr, 0, nullptr, 0},
};

// The parser leaves its error indicator (optopt) alone when it accepts an option
// and sets it on every error, always to a value in the range of a char or to the
// code of one of our long options. kProbe is neither, so after a probe that puts
// kProbe there, '?' with optopt == kProbe can only be the -? option itself.
void reset_parser_error_indicator() {
  static const struct option probe_options[] = {{"probe", kRequired, nullptr, kProbe},
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

// Adds to one of the header adjustments without overflowing it.
void adjust(std::int32_t& field, long long amount) {
  long long sum = static_cast<long long>(field) + amount;
  if (sum > INT32_MAX) sum = INT32_MAX;
  if (sum < INT32_MIN) sum = INT32_MIN;
  field = static_cast<std::int32_t>(sum);
}

// A long from strtol held in a signed 32-bit field: out-of-range values stop at
// the nearest end of the range, as a 32-bit strtol would give them.
std::int32_t clamp_int32(long value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

// The scanf conversion "%<width>d" (and %ld, %lu): leading blanks, then at most
// `width` characters of sign and decimal digits. False when no digit was read.
// Within the width the value always fits a long.
bool scan_width_integer(const char* text, int width, long& value) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  int used = 0;
  bool negative = false;
  if ((*text == '-' || *text == '+') && used < width) {
    negative = *text == '-';
    ++text;
    ++used;
  }
  long magnitude = 0;
  int digits = 0;
  while (used < width && *text >= '0' && *text <= '9') {
    magnitude = magnitude * 10 + (*text - '0');
    ++text;
    ++used;
    ++digits;
  }
  if (digits == 0) return false;
  value = negative ? -magnitude : magnitude;
  return true;
}

// The scanf conversion "%lf" (and "%lg"); false when nothing was converted.
bool scan_double(const char*& text, double& value) {
  std::size_t used = kest::scan_double(text, &value);
  if (used == 0) return false;
  text += used;
  return true;
}

// strtol (base 10) as the scanf conversion "%d" uses it, held as int32.
bool scan_int(const char*& text, std::int32_t& value) {
  char* end = nullptr;
  errno = 0;
  long raw = std::strtol(text, &end, 10);
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
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
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
bool cutoff_in_range(double fc) {
  return fc > 0.0 && fc < 0.5;
}

void set_operation(std::int32_t code) {
  mutable_settings().operation = code;
}

// -d, --split
void parse_split(const char* arg, DriverParams& params) {
  Settings& s = mutable_settings();
  set_operation(kOpSplit);
  s.split_percent = 0;
  s.split_random = false;
  params.split_amount = 90.0;
  if (arg != nullptr) {
    if (arg[std::strspn(arg, "0123456789.pP%sS")] != '\0') {
      KEST_FATAL("invalid characters in option argument for option -d: %s.\n", arg);
    }
    // "%16lf": only digits and '.' can form the number here.
    char number[17];
    std::strncpy(number, arg, 16);
    number[16] = '\0';
    const char* cursor = number;
    double amount = 0.0;
    if (scan_double(cursor, amount)) {
      params.split_amount = amount;
    } else {
      s.split_percent = 1;
      params.split_amount = 90.0;
    }
    if (std::strpbrk(arg, "pP%") != nullptr) ++s.split_percent;
    if (std::strpbrk(arg, "sS") != nullptr) s.split_random = true;
    if (s.split_percent != 0) {
      if (!(params.split_amount > 0.0 && params.split_amount < 100.0)) {
        KEST_FATAL("Percent must be between 0%% and 100%% (%f)", params.split_amount);
      }
      s.split_percent = 1;
    }
  }
  params.need_output = false;
  params.need_selection = false;
}

// -f, --filter
void parse_filter(const char* arg, DriverParams& params) {
  long taps = params.filter_taps;
  if (arg != nullptr) scan_width_integer(arg, 8, taps);
  if (taps < 1) KEST_FATAL("Filtertaps can't be less than zero (%ld)", taps);
  if (taps % 2 == 0) {
    warning_message("Filtertaps should be odd (%ld), adjusting uppwards to %ld", taps, taps + 1);
  }
  set_operation(kOpFilter);
  params.filter_taps = clamp_int32(taps / 2 + 1);
}

// --sinc-lp, --sinc-hp
void parse_sinc_single(const char* arg, bool high_pass, DriverParams& params) {
  double fc = 0.0;
  std::int32_t m = 0;
  if (scan_cutoff_and_points(arg, fc, m) != 2) KEST_FATAL("Wrong number of parameters\n");
  if (!cutoff_in_range(fc)) KEST_FATAL("Cutoff frequency out of range (0 - 0.5)\n");
  if (m % 2 != 0) KEST_FATAL("M should be even\n");
  set_operation(high_pass ? kOpSincHighPass : kOpSincLowPass);
  params.sinc = high_pass ? SincSpec{0.0, fc, m, 1} : SincSpec{fc, 0.0, m, 0};
}

// --sinc-bp, --sinc-bs
void parse_sinc_pair(const char* arg, bool band_stop, DriverParams& params) {
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
  set_operation(band_stop ? kOpSincBandStop : kOpSincBandPass);
  params.sinc = SincSpec{fcl, fch, m, band_stop ? 3 : 2};
}

// -j, --shift
void parse_shift(const char* arg, DriverParams& params) {
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(arg, &end, 10);
  if (value == 0 && end == arg) KEST_FATAL("Can't convert %s to a number\n", arg);
  // Kept off INT32_MIN so that its absolute value exists.
  std::int32_t shift = clamp_int32(value);
  if (shift == INT32_MIN) shift = -INT32_MAX;
  params.shift = shift;
  set_operation(kOpShift);
  adjust(mutable_settings().row_adjust, -static_cast<long long>(shift < 0 ? -shift : shift));
}

// --divide
void parse_divide(const char* arg, DriverParams& params) {
  double factor = get_double(arg);
  if (factor == 0.0) KEST_FATAL("Can't divide by ZERO\n");
  params.multiply_factor = factor;
  set_operation(kOpDivide);
}

// -u, --medianfilter
void parse_median(const char* arg, DriverParams& params) {
  long taps = params.filter_taps;
  scan_width_integer(arg, 8, taps);
  if (taps < 1) KEST_FATAL("Filtertaps can't be negative (%ld)", taps);
  set_operation(kOpMedian);
  params.filter_taps = clamp_int32(taps);
}

// -w, --wildcard
void parse_wildcard(const char* arg) {
  Settings& s = mutable_settings();
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

// -x, --xtra
void parse_xtra(const char* arg) {
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(arg, &end, 10);
  if (end == arg) KEST_FATAL("Can't convert %s to a number\n", arg);
  if (value < -1 || value == 0) {
    KEST_FATAL("Argument to -x/--xtra must be larger than zero or equal to -1 (all columns)\n");
  }
  mutable_settings().xtra = value == -1 ? -1 : clamp_int32(value) - 1;
}

// -z, --delimiter
void parse_delimiter(const char* arg, DriverParams& params) {
  Settings& s = mutable_settings();
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
  if (s.operation == -1) {
    set_operation(kOpDelimiterOnly);
    params.need_selection = false;
  }
}

// --format
void parse_format(const char* arg) {
  Settings& s = mutable_settings();
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
  std::snprintf(sample, sizeof sample, format, 12345678.901234567);
  std::fprintf(stderr, "Output format:%s\n>", format);
  std::fputs(sample, stderr);
  std::fputs("<\n", stderr);
  s.format_set = true;
}

// --range-keep, --range-remove
void parse_range(const char* arg, bool remove, DriverParams& params) {
  if (scan_range(arg, params.range_lower, params.range_upper) != 2) {
    KEST_ERROR("Need 2 values in the format lower,upper\n");
    exit_process(1);
  }
  set_operation(remove ? kOpRangeRemove : kOpRangeKeep);
}

// --maxbuff: the long strtol gives is taken modulo 2^32, so -1 is 4294967295.
void parse_maxbuff(const char* arg) {
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(arg, &end, 0);
  auto size = static_cast<std::uint32_t>(static_cast<unsigned long>(value) & 0xffffffffUL);
  if (size < kDefaultMaxbuff) {
    if (end == arg) KEST_FATAL("Can't convert %s to a number\n", arg);
    warning_message("maxbuff=%lu is to small. Reseting to %u\n", static_cast<unsigned long>(size),
                    kDefaultMaxbuff);
    size = kDefaultMaxbuff;
  }
  mutable_settings().maxbuff = size;
}

// --running-average, --running-avg, --running-mean: "window[,mode]"
void parse_running_average(const char* arg, DriverParams& params) {
  Settings& s = mutable_settings();
  char* end = nullptr;
  errno = 0;
  long window = std::strtol(arg, &end, 0);
  if (end == arg) KEST_FATAL("Can't convert %s to a number\n", arg);
  if (window <= 1) {
    warning_message("Running average window=%ld is too small. Resetting to 5\n", window);
    window = 5;
  }
  params.filter_taps = clamp_int32(window);
  if (*end == ',') {
    errno = 0;
    long mode = std::strtol(end + 1, nullptr, 0);
    if (mode < 0 || mode > 3) {
      warning_message("Unknown running average mode.\nReseting to \"2 - PMA\"");
      mode = 2;
    }
    s.running_average_mode = static_cast<std::uint32_t>(mode);
  }
  set_operation(kOpRunningAverage);
}

// Operations 12 to 17: the comparison level.
void parse_comparison(const char* arg, std::int32_t code, DriverParams& params) {
  params.level = get_double(arg);
  set_operation(code);
}

// --keep-columns, --keep-rows
void parse_keep(const char* arg, std::int32_t code) {
  Settings& s = mutable_settings();
  set_operation(code);
  s.inverse = true;
  if (arg != nullptr) add_selection_string(s.selection_strings, arg);
}

// --eval-examples, --eval-operators, --eval-constants, --eval-functions.
enum class EvalListing { kExamples, kOperators, kConstants, kFunctions };

// Stub until the expression language's listings exist: prints nothing yet.
void print_eval_listing_stub(EvalListing which) {
  static_cast<void>(which);
}

[[noreturn]] void show_eval_listing(EvalListing which) {
  print_eval_listing_stub(which);
  std::fflush(stdout);
  exit_process(0);
}

// -g: an accepted letter without a meaning.
void report_unused_letter(int code) {
  if (!mutable_settings().more) std::fprintf(stderr, "?? getopt returned character code 0%o ??\n", code);
}

}  // namespace

double get_double(const char* text) {
  char* end = nullptr;
  errno = 0;
  double value = std::strtod(text, &end);
  if (end == text) KEST_FATAL("Unable to convert \"%s\" to a number", text);
  if (errno != 0) std::fprintf(stderr, "get_double: %s\n", std::strerror(errno));
  return value;
}

int parse_options(int argc, char** argv, DriverParams& params) {
  Settings& s = mutable_settings();
  const char* program = argc > 0 && argv[0] != nullptr ? argv[0] : "kest";
  reset_parser_error_indicator();
  optind = 0;
  opterr = 1;
  for (;;) {
    int code = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr);
    if (code == -1) break;
    if (code >= 'A' && code <= 'Z') code = code - 'A' + 'a';
    const char* arg = optarg;
    switch (code) {
      case '?':
        if (optopt == kProbe) usage(program);  // the -? option itself
        usage_after_error(program);            // the parser has reported the error
      case 'h':
      case kHelp:
        usage(program);
      case 'v':
        print_version();
      case '#':
        s.quiet = true;
        break;
      case 'a':
        s.keep_comments = true;
        break;
      case 'b': {
        long value = 0;
        if (scan_width_integer(arg, 8, value)) {
          s.skip_columns = value < 0 ? 0 : static_cast<std::uint32_t>(value);
        }
        break;
      }
      case kSkipRows: {
        long value = 0;
        if (scan_width_integer(arg, 8, value)) {
          s.skip_rows = value < 0 ? 0 : static_cast<std::int32_t>(value);
        }
        break;
      }
      case 'c':
        set_operation(kOpCheck);
        params.need_output = false;
        params.need_selection = false;
        break;
      case 'd':
        parse_split(arg, params);
        break;
      case 'e':
        add_selection_string(s.selection_strings, arg);
        break;
      case 'f':
        parse_filter(arg, params);
        break;
      case 'g':
        report_unused_letter(code);
        break;
      case kSincLowPass:
        parse_sinc_single(arg, false, params);
        break;
      case kSincHighPass:
        parse_sinc_single(arg, true, params);
        break;
      case kSincBandPass:
        parse_sinc_pair(arg, false, params);
        break;
      case kSincBandStop:
        parse_sinc_pair(arg, true, params);
        break;
      case 'i':
        s.inverse = true;
        break;
      case 'j':
        parse_shift(arg, params);
        break;
      case 'k':
        set_operation(kOpRemoveColumns);
        break;
      case kKeepColumns:
        parse_keep(arg, kOpRemoveColumns);
        break;
      case 'm':
        params.multiply_factor = get_double(arg);
        set_operation(kOpMultiply);
        break;
      case kDivide:
        parse_divide(arg, params);
        break;
      case 'n':
        params.noise_level = get_double(arg);
        set_operation(kOpNoise);
        break;
      case 'p':
        params.add_term = get_double(arg);
        set_operation(kOpAdd);
        break;
      case 'q':
        params.sort_spec = arg;
        set_operation(kOpSort);
        params.need_selection = false;
        break;
      case 'r':
        set_operation(kOpRemoveRows);
        break;
      case kKeepRows:
        parse_keep(arg, kOpRemoveRows);
        break;
      case 's':
        s.qxstars = true;
        break;
      case 't':
        set_operation(kOpTranspose);
        params.need_selection = false;
        break;
      case 'u':
        parse_median(arg, params);
        break;
      case 'w':
        parse_wildcard(arg);
        break;
      case 'x':
        parse_xtra(arg);
        break;
      case 'y':
        set_operation(kOpEnumerate);
        adjust(s.column_adjust, 1);
        if (arg != nullptr && (arg[0] == 'c' || arg[0] == 'C')) s.add_line_count = true;
        params.need_selection = false;
        break;
      case kAddLineCount:
        s.add_line_count = true;
        break;
      case 'z':
        parse_delimiter(arg, params);
        break;
      case kMore:
        s.more = true;
        break;
      case kFormat:
        parse_format(arg);
        break;
      case kRemoveGt:
        parse_comparison(arg, kOpRemoveGt, params);
        break;
      case kRemoveLt:
        parse_comparison(arg, kOpRemoveLt, params);
        break;
      case kRemoveEq:
        parse_comparison(arg, kOpRemoveEq, params);
        break;
      case kKeepGt:
        parse_comparison(arg, kOpKeepGt, params);
        break;
      case kKeepLt:
        parse_comparison(arg, kOpKeepLt, params);
        break;
      case kKeepEq:
        parse_comparison(arg, kOpKeepEq, params);
        break;
      case kRangeKeep:
        parse_range(arg, false, params);
        break;
      case kRangeRemove:
        parse_range(arg, true, params);
        break;
      case kMath:
        params.function = arg;
        set_operation(kOpMath);
        break;
      case kEval:
        params.function = arg;
        set_operation(kOpEval);
        params.need_selection = false;
        break;
      case kShuffle:
        set_operation(kOpShuffle);
        break;
      case kDiff:
        set_operation(kOpDiff);
        break;
      case kSpecialLog:
        s.special_log = true;
        break;
      case kSumVertical:
        set_operation(kOpSumVertical);
        adjust(s.row_adjust, 1);
        params.need_selection = false;
        break;
      case kSumHorizontal:
        set_operation(kOpSumHorizontal);
        adjust(s.column_adjust, 1);
        params.need_selection = false;
        break;
      case kCutSquare:
        set_operation(kOpCutSquare);
        add_selection_string(s.cut_square_strings, arg);
        s.inverse = !s.inverse;
        break;
      case kEvalExamples:
        show_eval_listing(EvalListing::kExamples);
      case kEvalOperators:
        show_eval_listing(EvalListing::kOperators);
      case kEvalConstants:
        show_eval_listing(EvalListing::kConstants);
      case kEvalFunctions:
        show_eval_listing(EvalListing::kFunctions);
      case kEvalProlog:
        params.prolog = arg;
        break;
      case kEvalEpilog:
        params.epilog = arg;
        adjust(s.row_adjust, 1);
        break;
      case kLatexOutput:
        select_latex_output();
        break;
      case kCOutput:
        select_c_output();
        break;
      case kStandardOutput:
        select_standard_output();
        break;
      case kCsvOutput:
        select_csv_output();
        break;
      case kFuzz:
        s.fuzz = get_double(arg);
        break;
      case kNop:
        set_operation(kOpNop);
        params.need_selection = false;
        break;
      case kMaxbuff:
        parse_maxbuff(arg);
        break;
      case kRunningAverage:
        parse_running_average(arg, params);
        break;
      case kNoWaitOnError:
        s.wait_on_error = false;
        break;
      case kWaitOnError:
        s.wait_on_error = true;
        break;
      case kDebug:
        s.debug = true;
        break;
      case kGetRows:
        set_operation(kOpGetRows);
        params.need_output = false;
        params.need_selection = false;
        break;
      case kGetCols:
        set_operation(kOpGetCols);
        params.need_output = false;
        params.need_selection = false;
        break;
      case kAppend:
        s.append = true;
        break;
      case kInputDelimiter:
        s.input_delimiter = arg[0];
        break;
      case kFlipUpDown:
        set_operation(kOpFlipUpDown);
        params.need_selection = false;
        break;
      case kFlipLeftRight:
        set_operation(kOpFlipLeftRight);
        params.need_selection = false;
        break;
      default:
        // Every letter of the option string is handled above.
        break;
    }
  }
  return optind;
}

std::vector<std::string_view> long_option_names() {
  std::vector<std::string_view> names;
  for (const struct option& entry : kLongOptions) {
    if (entry.name != nullptr) names.emplace_back(entry.name);
  }
  return names;
}

}  // namespace kest
