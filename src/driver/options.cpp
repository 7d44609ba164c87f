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
#include "base/settings.h"
#include "base/text.h"
#include "driver/help.h"
#include "io/numscan.h"
#include "io/writer.h"
#include "ops/option_scan.h"
#include "select/readflag.h"

namespace kest {

namespace {

// ---------------------------------------------------------------------------
// Effects

Settings& set() {
  return mutable_settings();
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
    KEST_FATAL_LOGGED("error in handling file-extension: %s\n", arg);
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

// -z: the output delimiter; alone, it chooses the column removal with nothing
// selected.
void parse_delimiter(const char* arg, OpChoice& choice) {
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
  if (choice.operation == OpCode::kNone) choice.choose(OpCode::kDelimiter);
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

// A count of characters or rows to skip ("%8d"); a negative one is 0.
template <class Field>
void parse_skip(const char* arg, Field& field) {
  long long value = 0;
  if (scan_width_integer(arg, 8, value) != 0) field = value < 0 ? 0 : static_cast<Field>(value);
}

// -g: an accepted letter without a meaning.
void report_unused_letter() {
  if (!settings().more) std::fprintf(stderr, "?? getopt returned character code 0%o ??\n", 'g');
}

const char* g_program = "kest";  // argument 0, for the help text

// ---------------------------------------------------------------------------
// The table

#define EFFECT [](const char* arg [[maybe_unused]], OpChoice& choice [[maybe_unused]])

constexpr OptionArg N = OptionArg::kNone;
constexpr OptionArg R = OptionArg::kRequired;
constexpr OptionArg O = OptionArg::kOptional;

// The options of reading, writing, the number format, the selection, the
// wildcard mode, the log and the run itself; every operation brings its own.
// Options act strictly in command-line order, so for every value the last option
// given wins.
constexpr OptionSpec kOptions[] = {{"quiet|silence", '#', N, N, EFFECT{set().quiet = true;
}  // namespace
}  // namespace kest
, {"keep-comments", 'a', N, N, EFFECT{set().keep_comments = true;
}
}
, {"skip-columns", 'b', R, R, EFFECT{parse_skip(arg, set().skip_columns);
}
}
, {"skip-rows", 0, R, N, EFFECT{parse_skip(arg, set().skip_rows);
}
}
, {"specified", 'e', R, R, EFFECT{add_selection_string(set().selection_strings, arg);
}
}
, {"inverse", 'i', N, N, EFFECT{set().inverse = true;
}
}
, {"qxstars", 's', N, N, EFFECT{set().qxstars = true;
}
}
, {"wildcard", 'w', O, O, EFFECT{parse_wildcard(arg);
}
}
, {"xtra", 'x', R, R, EFFECT{parse_xtra(arg);
}
}
, {"add-line-count", 0, N, N, EFFECT{set().add_line_count = true;
}
}
, {"delimiter", 'z', R, R, EFFECT{parse_delimiter(arg, choice);
}
}
, {"more", 0, N, N, EFFECT{set().more = true;
}
}
, {"format", 0, R, N, EFFECT{parse_format(arg);
}
}
, {"special-log", 0, N, N, EFFECT{set().special_log = true;
}
}
, {"latex-output|output-latex", 0, N, N, EFFECT{select_latex_output();
}
}
, {"c-output|output-c", 0, N, N, EFFECT{select_c_output();
}
}
, {"standard-output|output-standard", 0, N, N, EFFECT{select_standard_output();
}
}
, {"output-csv", 0, N, N, EFFECT{select_csv_output();
}
}
, {"fuzz", 0, R, N, EFFECT{set().fuzz = get_double(arg);
}
}
, {"maxbuff", 0, R, N, EFFECT{parse_maxbuff(arg);
}
}
, {"no-wait-on-error", 0, N, N, EFFECT{set().wait_on_error = false;
}
}
, {"wait-on-error", 0, N, N, EFFECT{set().wait_on_error = true;
}
}
, {"help", 0, N, N, EFFECT{usage(g_program);
}
}
, {"", 'h', N, N, EFFECT{usage(g_program);
}
}
, {"version", 'v', N, N, EFFECT{print_version();
}
}
, {"debug", 0, N, N, EFFECT{set().debug = true;
}
}
, {"append", 0, N, N, EFFECT{set().append = true;
}
}
, {"input-delimiter", 0, R, N, EFFECT{set().input_delimiter = arg[0];
}
}
, {"", 'g', N, N, EFFECT{report_unused_letter();
}
}
,
}
;

#undef EFFECT

constexpr int kFirstLongCode = 256;

int getopt_argument(OptionArg arg) {
  switch (arg) {
    case OptionArg::kRequired:
      return required_argument;
    case OptionArg::kOptional:
      return optional_argument;
    case OptionArg::kNone:
      break;
  }
  return no_argument;
}
// Only used to put the parser's error indicator in a known state.
constexpr int kProbe = kFirstLongCode + 1000;

// The parser's arrays, made from the table: long options of a row share the
// row's code, so a prefix that fits only aliases of one option is not ambiguous.
struct ParserArrays {
  std::vector<const OptionSpec*> rows;  // this file's options, then every operation's
  std::string short_options = "#?";
  std::vector<std::string> names;
  std::vector<struct option> long_options;
  std::array<const OptionSpec*, 256> by_letter{};

  ParserArrays() {
    for (const OptionSpec& spec : kOptions) rows.push_back(&spec);
    for (const Operation* operation : operations()) {
      for (const OptionSpec& spec : operation->options) rows.push_back(&spec);
    }
    for (std::size_t row = 0; row < rows.size(); ++row) {
      const OptionSpec& spec = *rows[row];
      const int code = spec.letter != 0 ? spec.letter : kFirstLongCode + static_cast<int>(row);
      std::string_view all = spec.names;
      while (!all.empty()) {
        const std::size_t bar = all.find('|');
        names.emplace_back(all.substr(0, bar));
        all = bar == std::string_view::npos ? std::string_view() : all.substr(bar + 1);
      }
      for (std::size_t i = names.size() - count_names(spec); i < names.size(); ++i) {
        long_options.push_back({nullptr, getopt_argument(spec.arg), nullptr, code});
      }
      if (spec.letter == 0) continue;
      by_letter[static_cast<unsigned char>(spec.letter)] = &spec;
      const char* suffix = spec.letter_arg == OptionArg::kRequired   ? ":"
                           : spec.letter_arg == OptionArg::kOptional ? "::"
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
    return 1 + static_cast<std::size_t>(
                   std::count(spec.names, spec.names + std::strlen(spec.names), '|'));
  }

  const OptionSpec* find(int code) const {
    if (code >= kFirstLongCode && code < kFirstLongCode + static_cast<int>(rows.size())) {
      return rows[static_cast<std::size_t>(code - kFirstLongCode)];
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

int parse_options(int argc, char** argv, OptionState& state) {
  const ParserArrays& arrays = parser_arrays();
  if (argc > 0 && argv[0] != nullptr) state.program = argv[0];
  g_program = state.program;
  reset_parser_error_indicator();
  optind = 0;
  opterr = 1;
  for (;;) {
    int code =
        getopt_long(argc, argv, arrays.short_options.c_str(), arrays.long_options.data(), nullptr);
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
