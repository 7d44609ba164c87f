// The option loop: every option's effect on Settings and the driver's values,
// the argument rules with their messages, and the parser's own errors.
#include "driver/options.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "base/settings.h"
#include "base/diagnostics.h"
#include "io/writer.h"
#include "support.h"

namespace kest {
namespace {

std::string join(const std::forward_list<std::string>& list) {
  std::string text;
  for (const std::string& s : list) text += (text.empty() ? "" : "|") + s;
  return text;
}

// Every value the options set, as " name=value " words.
std::string snapshot(const OptionState& state) {
  const Settings& s = settings();
  const OpParams& p = state.params;
  return format_text(
      " op=%d need=%d%d quiet=%d skip_columns=%u skip_rows=%d split=%g,%d,%d taps=%d"
      " sinc=%g,%g,%d,%d shift=%d factor=%g level=%g range=%g,%g sort=%s function=%s"
      " prolog=%s epilog=%s wildcard=%d%s xtra=%d delimiter=%d format=%d%s maxbuff=%u mode=%u"
      " fuzz=%g inverse=%d selections=%s squares=%s line_count=%d plot=%u,%ux%u flags=%d%d ",
      static_cast<int>(state.operation), state.need_output, state.need_selection, s.quiet,
      s.skip_columns, s.skip_rows, p.split_amount, s.split_percent, s.split_random, p.filter_taps,
      p.sinc.fc1, p.sinc.fc2, p.sinc.m, p.sinc.type, p.shift, p.multiply_factor, p.level,
      p.range_lower, p.range_upper, p.sort_spec.c_str(), p.function.value_or("none").c_str(),
      p.prolog.value_or("none").c_str(), p.epilog.value_or("none").c_str(), s.wildcard,
      s.extension.c_str(), s.xtra, s.delimiter, s.format_set, s.number_format.c_str(), s.maxbuff,
      s.running_average_mode, s.fuzz, s.inverse, join(s.selection_strings).c_str(),
      join(s.cut_square_strings).c_str(), s.add_line_count, p.plot_x.value_or(0), p.plot_width,
      p.plot_height, s.keep_comments, s.qxstars);
}

struct Outcome : testing::Ending {
  int next = 0;                   // first positional argument
  std::vector<std::string> argv;  // after the parser's permutation
  std::string values;
};

Outcome parse(std::vector<std::string> args) {
  reset_settings();
  select_standard_output();
  args.insert(args.begin(), "kest");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  Outcome o;
  OptionState state;
  static_cast<testing::Ending&>(o) = testing::run_ending(
      [&] { o.next = parse_options(static_cast<int>(args.size()), argv.data(), state); });
  o.values = snapshot(state);
  for (std::size_t i = 0; i + 1 < argv.size(); ++i) o.argv.push_back(argv[i]);
  return o;
}

// Arguments and the words their values must show, e.g. "op=0 need=11".
struct ValueCase {
  std::vector<std::string> args;
  std::string expected;
};

void expect_values(const std::vector<ValueCase>& cases) {
  for (const ValueCase& c : cases) {
    Outcome o = parse(c.args);
    std::string shown;
    for (const std::string& a : c.args) shown += " " + a;
    ASSERT_EQ(o.kind, Outcome::kReturned) << shown << ": " << o.message << o.err;
    EXPECT_NE(o.values.find(" " + c.expected + " "), std::string::npos) << shown << o.values;
  }
}

// Every long name of the table reaches the parser whole: none is unknown or
// ambiguous with itself, and its aliases act alike.
TEST(Options, EveryLongNameIsAccepted) {
  for (std::string_view name : long_option_names()) {
    Outcome o = parse({"--more", "--" + std::string(name) + "=1", "--" + std::string(name)});
    EXPECT_EQ(o.err.find("unrecognized"), std::string::npos) << name << o.err;
    EXPECT_EQ(o.err.find("ambiguous"), std::string::npos) << name << o.err;
  }
}

TEST(Options, TheLastOperationWinsAndNeedsAreOnlyEverCleared) {
  expect_values({
      {{}, "op=-1 need=11"}, {{"-k"}, "op=0 need=11"}, {{"--keep-rows"}, "op=1 need=11"},
      {{"-c"}, "op=3 need=00"}, {{"-d"}, "op=4 need=00"}, {{"-z,"}, "op=5 need=10"},
      {{"--eval=x"}, "op=22 need=10"}, {{"--get-cols"}, "op=32 need=00"},
      {{"--plot"}, "op=41 need=10"},
      // Prefixes, also one that fits only aliases of one option.
      {{"--transp"}, "op=2 need=10"}, {{"--sum-v"}, "op=25 need=10"},
      {{"--running-a=3"}, "op=30 need=11"},
      {{"--eval=x", "-k"}, "op=0 need=10"}, {{"-c", "-k"}, "op=0 need=00"},
      {{"-k", "-z,"}, "op=0 need=11"}, {{"-z,", "-k"}, "op=0 need=10"},
      {{"--math=sin", "--eval=c[1]"}, "function=c[1]"},
      {{"--keep-columns=1,2"}, "selections=1,2"}, {{"--keep-columns=1,2"}, "inverse=1"},
      {{"-e", "1", "--specified=2-3"}, "selections=2-3|1"},
      {{"--cut-square=1-2", "--cut-square=4"}, "inverse=0"},
      {{"--cut-square=1-2", "--cut-square=4"}, "squares=4|1-2"},
      {{"-i", "--cut-square=1"}, "inverse=0"}, {{"-yc"}, "line_count=1"},
      {{"--enumerate=count"}, "line_count=1"}, {{"-y"}, "line_count=0"},
  });
}

TEST(Options, StyleOptionsSelectTheLastStyleGiven) {
  struct Case {
    std::vector<std::string> args;
    void (*select)();
  } cases[] = {
      {{"--latex-output", "--output-csv"}, select_csv_output},
      {{"--output-c"}, select_c_output},
      {{"--output-c", "--standard-output"}, select_standard_output},
  };
  for (const Case& c : cases) {
    parse(c.args);
    OutputFormat parsed = output_format();
    c.select();
    EXPECT_EQ(parsed.end_row, output_format().end_row) << c.args[0];
    EXPECT_EQ(parsed.header, output_format().header) << c.args[0];
  }
  select_standard_output();
}

TEST(Options, ArgumentRules) {
  expect_values({
      {{"-b", "5"}, "skip_columns=5"}, {{"-b", "-3"}, "skip_columns=0"},
      {{"-b", "-0"}, "skip_columns=0"}, {{"-b", "7", "-b", "abc"}, "skip_columns=7"},
      {{"-b", "123456789"}, "skip_columns=12345678"}, {{"--skip-columns=9"}, "skip_columns=9"},
      {{"--skip-rows=3"}, "skip_rows=3"}, {{"--skip-rows=-3"}, "skip_rows=0"},
      {{"--skip-rows=4", "--skip-rows=x"}, "skip_rows=4"}, {{"-d"}, "split=90,0,0"},
      {{"-ds"}, "split=90,1,1"}, {{"-d80p"}, "split=80,1,0"}, {{"-d80%"}, "split=80,1,0"},
      {{"-d80P"}, "split=80,1,0"}, {{"-dp"}, "split=90,1,0"}, {{"-d."}, "split=90,1,0"},
      {{"-d250"}, "split=250,0,0"}, {{"-d12.5pS"}, "split=12.5,1,1"},
      {{"-ds", "-d40"}, "split=40,0,0"}, {{"-d12345678901234567"}, "split=1.23457e+15,0,0"},
      {{"-f"}, "taps=3"}, {{"-f4"}, "taps=3"}, {{"-f7"}, "taps=4"}, {{"--filter=9"}, "taps=5"},
      {{"-fabc"}, "taps=3"}, {{"-f", "-f"}, "taps=2"}, {{"--sinc-lp=0.1,4"}, "sinc=0.1,0,4,0"},
      {{"--sinc-lp=0.1, 6"}, "sinc=0.1,0,6,0"}, {{"--sinc-hp=0.2,6"}, "sinc=0,0.2,6,1"},
      {{"--sinc-bp=0.1,0.2,8"}, "sinc=0.1,0.2,8,2"},
      {{"--sinc-bs=0.3, 0.1, 8"}, "sinc=0.3,0.1,8,3"}, {{"-j", "3"}, "shift=3"},
      {{"-j", "0"}, "shift=0"},
      // Values beyond 32 bits stop at the end of the range.
      {{"-j", "99999999999"}, "shift=2147483647"}, {{"-j", "-99999999999"}, "shift=-2147483647"},
      {{"--divide=1e-10"}, "factor=1e-10"}, {{"-u", "3"}, "taps=3"}, {{"-uabc"}, "taps=5"},
      {{"-f", "-uabc"}, "taps=3"}, {{"-w"}, "wildcard=1.out"}, {{"-w.txt"}, "wildcard=1.txt"},
      {{"-wtxt"}, "wildcard=1.txt"}, {{"--wildcard=dat"}, "wildcard=1.dat"},
      {{"-x", "1"}, "xtra=0"}, {{"-x", "3"}, "xtra=2"}, {{"-x", "-1"}, "xtra=-1"},
      {{"-x", "99999999999"}, "xtra=2147483646"}, {{"-z\\t"}, "delimiter=9"},
      {{"-z\\T"}, "delimiter=9"}, {{"-z\\n"}, "delimiter=10"}, {{"-z\\\\"}, "delimiter=92"},
      {{"-z\\x"}, "delimiter=32"}, {{"-z;"}, "delimiter=59"}, {{"-z", ""}, "delimiter=0"},
      {{"--delimiter=,"}, "delimiter=44"}, {{"--format=%8.3f"}, "format=1%8.3f"},
      {{"--format=%5.2e%%"}, "format=1%5.2e%%"},
      {{"--format=%f" + std::string(40, 'x')}, "format=1%f" + std::string(28, 'x')},
      {{"--range-keep=1,2"}, "range=1,2"}, {{"--range-remove=-1.5,inf"}, "range=-1.5,inf"},
      {{"--maxbuff=1000"}, "maxbuff=131072"}, {{"--maxbuff=0x40000"}, "maxbuff=262144"},
      {{"--maxbuff=010000000"}, "maxbuff=2097152"},
      // The value is taken modulo 2^32.
      {{"--maxbuff=-1"}, "maxbuff=4294967295"}, {{"--maxbuff=4294967296"}, "maxbuff=131072"},
      {{"--maxbuff=4295098368"}, "maxbuff=131072"}, {{"--running-average=010"}, "taps=8"},
      {{"--running-average=1,9"}, "taps=5"}, {{"--running-average=1,9"}, "mode=2"},
      {{"--running-average=4,0"}, "mode=0"}, {{"--running-average=4,3"}, "mode=3"},
      {{"--running-average=4,-1"}, "mode=2"},
      {{"--running-average=99999999999"}, "taps=2147483647"},
      {{"--plot-x=3", "--plot-size=800x600"}, "plot=3,800x600"},
      {{"--plot-size=100X10000"}, "plot=0,100x10000"},
  });
}

TEST(Options, ArgumentErrorsAreFatal) {
  const std::string kXtra =
      "Argument to -x/--xtra must be larger than zero or equal to -1 (all columns)\n";
  const std::string kFormats =
      "\n%[flags][width][.precision]{e|f|g}\nMinimum allowed format:      %f\nDefault format:"
      "              %f\nExtra precision (-x) format: %.18g";
  struct Case {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--split=150%"}, "Percent must be between 0% and 100% (150.000000)"},
      {{"-d0p"}, "Percent must be between 0% and 100% (0.000000)"},
      {{"-d8e1"}, "invalid characters in option argument for option -d: 8e1.\n"},
      {{"-d-5"}, "invalid characters in option argument for option -d: -5.\n"},
      {{"-f0"}, "Filtertaps can't be less than zero (0)"},
      {{"--sinc-lp=0.1"}, "Wrong number of parameters\n"},
      {{"--sinc-lp=0.1 ,4"}, "Wrong number of parameters\n"},
      {{"--sinc-lp=0.5,4"}, "Cutoff frequency out of range (0 - 0.5)\n"},
      {{"--sinc-hp=0,4"}, "Cutoff frequency out of range (0 - 0.5)\n"},
      {{"--sinc-hp=nan,4"}, "Cutoff frequency out of range (0 - 0.5)\n"},
      {{"--sinc-lp=0.1,5"}, "M should be even\n"},
      {{"--sinc-lp=0.1,4294967296"}, "M should be even\n"},
      {{"--sinc-bp=0.1,0.2"}, "Wrong number of parameters\n"},
      {{"--sinc-bs=0.1,0.6,8"}, "Cutoff frequencies out of range (0 - 0.5)\n"},
      {{"--sinc-bp=0.1,0.2,7"}, "M should be even\n"},
      {{"--sinc-lp=0.1,0"}, "M should be a positive even number\n"},
      {{"--sinc-bs=0.1,0.2,-4294967296"}, "M should be a positive even number\n"},
      {{"-j", "abc"}, "Can't convert abc to a number\n"},
      {{"--divide=0"}, "Can't divide by ZERO\n"}, {{"--divide=-0"}, "Can't divide by ZERO\n"},
      {{"--divide=abc"}, "Unable to convert \"abc\" to a number"},
      {{"-u", "0"}, "Filtertaps can't be negative (0)"},
      {{"-u", "-2"}, "Filtertaps can't be negative (-2)"}, {{"-x", "0"}, kXtra},
      {{"-x", "-2"}, kXtra}, {{"-x", "abc"}, "Can't convert abc to a number\n"},
      {{"--format=%lf"}, "Invalid format (%lf) " + kFormats},
      {{"--format=%d"}, "Invalid format (%d) " + kFormats},
      {{"--maxbuff=abc"}, "Can't convert abc to a number\n"},
      {{"--running-average=abc"}, "Can't convert abc to a number\n"},
      {{"-m", "x1"}, "Unable to convert \"x1\" to a number"},
      {{"-e", "x"}, "invalid characters in option argument for option -e: x.\n"},
      {{"--cut-square=a"}, "invalid characters in option argument for option -e: a.\n"},
      {{"--format=%2147483648f"}, "Invalid format (%2147483648f) " + kFormats},
      {{"--plot-x=0"}, "Invalid column for --plot-x: 0 (a column number from 1)\n"},
      {{"--plot-x=2x"}, "Invalid column for --plot-x: 2x (a column number from 1)\n"},
      {{"--plot-size=99x200"}, "Invalid plot size 99x200 (WxH, each from 100 to 10000)\n"},
      {{"--plot-size=200"}, "Invalid plot size 200 (WxH, each from 100 to 10000)\n"},
  };
  for (const Case& c : cases) {
    Outcome o = parse(c.args);
    ASSERT_EQ(o.kind, Outcome::kFatal) << c.args[0] << o.values;
    EXPECT_EQ(o.message, c.message) << c.args[0];
  }
}

std::string warning(const std::string& text) {
  return "\nWarning: " + text + "\nContinue [y/N]:";
}

TEST(Options, MessagesAndWarningsOnStandardError) {
  const std::string kMode = warning("Unknown running average mode.\nReseting to \"2 - PMA\"");
  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"-f4"}, warning("Filtertaps should be odd (4), adjusting uppwards to 5")},
      {{"-z\\x"}, "\nMessage: Unknown separator\n"},
      {{"--format=%8.3f"}, "Output format:%8.3f\n>12345678.901<\n"},
      {{"--maxbuff=1000"}, warning("maxbuff=1000 is to small. Reseting to 131072\n")},
      {{"--running-average=4,7"}, kMode}, {{"-g"}, "?? getopt returned character code 0147 ??\n"},
      {{"-G"}, "?? getopt returned character code 0147 ??\n"}, {{"--more", "-g"}, ""},
      {{"--fuzz=1e999"}, "get_double: Numerical result out of range\n"},
      // A range error is not reported again for a later good value.
      {{"--fuzz=1e999", "-m", "2"}, "get_double: Numerical result out of range\n"},
      {{"-k", "-e", "1"}, ""},
  };
  for (const Case& c : cases) {
    Outcome o = parse(c.args);
    EXPECT_EQ(o.kind, Outcome::kReturned) << c.args[0];
    EXPECT_EQ(o.err, c.err) << c.args[0];
  }
  Outcome twice = parse({"--running-average=1,9"});
  EXPECT_EQ(twice.err, warning("Running average window=1 is too small. Resetting to 5\n") + kMode);
}

TEST(Options, RangeWithOneValueEndsWithStatusOne) {
  for (const char* option : {"--range-keep=1", "--range-remove=x"}) {
    Outcome o = parse({option});
    EXPECT_EQ(o.kind, Outcome::kExit);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find(":: error: Need 2 values in the format lower,upper\n"),
              std::string::npos);
  }
}

TEST(Options, GetDouble) {
  reset_settings();
  EXPECT_EQ(get_double("  1.5e3xyz"), 1500.0);
  EXPECT_EQ(get_double("-0x10"), -16.0);
  EXPECT_THROW(get_double(""), FatalError);
  EXPECT_THROW(get_double("e5"), FatalError);
}

TEST(Options, UpperCaseLettersActAsTheirLowerCaseTwins) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> letters = {
      {"a", {}}, {"b", {"3"}}, {"c", {}}, {"d", {}}, {"d50p", {}}, {"e", {"1"}}, {"f7", {}},
      {"i", {}}, {"j", {"2"}}, {"k", {}}, {"m", {"2"}}, {"n", {"0.1"}}, {"p", {"1"}},
      {"q", {"2"}}, {"r", {}}, {"s", {}}, {"t", {}}, {"u", {"3"}}, {"wtxt", {}}, {"x", {"2"}},
      {"yc", {}}, {"z", {";"}}, {"v", {}}, {"h", {}},
  };
  for (const auto& [letter, rest] : letters) {
    std::vector<std::string> lower = {"--more", "-" + letter};
    std::vector<std::string> upper = lower;
    upper[1][1] = static_cast<char>(upper[1][1] - 'a' + 'A');
    lower.insert(lower.end(), rest.begin(), rest.end());
    upper.insert(upper.end(), rest.begin(), rest.end());
    Outcome a = parse(lower);
    Outcome b = parse(upper);
    EXPECT_EQ(a.kind, b.kind) << upper[1];
    EXPECT_EQ(a.status, b.status) << upper[1];
    EXPECT_EQ(a.out, b.out) << upper[1];
    EXPECT_EQ(a.next, b.next) << upper[1];
    EXPECT_EQ(a.values, b.values) << upper[1];
    EXPECT_TRUE(a.values != parse({}).values || a.kind == Outcome::kExit || !a.err.empty())
        << upper[1];
  }
}

TEST(Options, PositionalArgumentsArePermutedBehindTheOptions) {
  Outcome o = parse({"in", "-k", "out", "-e", "1", "-", "--", "-r"});
  ASSERT_EQ(o.kind, Outcome::kReturned);
  EXPECT_NE(o.values.find(" op=0 "), std::string::npos);
  ASSERT_EQ(o.next, 5);
  EXPECT_EQ(std::vector<std::string>(o.argv.begin() + 5, o.argv.end()),
            (std::vector<std::string>{"in", "out", "-", "-r"}));
  // Optional arguments are taken only when attached.
  for (const char* letter : {"-f", "-d", "-w", "-y"}) {
    o = parse({letter, "7"});
    EXPECT_EQ(o.next, 2) << letter;
  }
  o = parse({"--keep-columns", "5"});
  EXPECT_NE(o.values.find(" selections= "), std::string::npos);
  EXPECT_EQ(o.next, 2);

  setenv("POSIXLY_CORRECT", "1", 1);
  o = parse({"in", "-k"});
  unsetenv("POSIXLY_CORRECT");
  EXPECT_EQ(o.next, 1);
  EXPECT_NE(o.values.find(" op=-1 "), std::string::npos);
}

TEST(Options, HelpVersionAndListingsEndTheRun) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* out_starts;  // start of standard output
    const char* err_has;     // found in standard error
  } cases[] = {
      {{"--more", "-?"}, 0, "kest Version ", ""}, {{"--more", "-k", "-?"}, 0, "kest Version ", ""},
      {{"--more", "-k?"}, 0, "kest Version ", ""}, {{"--more", "-h"}, 0, "kest Version ", ""},
      {{"--more", "--help"}, 0, "kest Version ", ""}, {{"--more", "--he"}, 0, "kest Version ", ""},
      {{"--more", "-l"}, 1, "kest Version ", "invalid option -- 'l'"},
      {{"--more", "-O"}, 1, "kest Version ", "invalid option -- 'O'"},
      {{"--more", "--bogus"}, 1, "kest Version ", "unrecognized option '--bogus'"},
      {{"--more", "--keep=1"}, 1, "kest Version ", "ambiguous"},
      {{"--more", "--eval_"}, 1, "kest Version ", "ambiguous"},
      {{"--more", "-b"}, 1, "kest Version ", "requires an argument -- 'b'"},
      {{"--more", "--shift"}, 1, "kest Version ", "requires an argument"},
      {{"--more", "--check=1"}, 1, "kest Version ", "doesn't allow an argument"},
      {{"--more", "--help=1"}, 1, "kest Version ", "doesn't allow an argument"},
      // -? after an error of an earlier parse is still the help option.
      {{"--more", "-?"}, 0, "kest Version ", ""}, {{"-v"}, 0, "kest Version ", ""},
      {{"--version"}, 0, "kest Version ", ""},
      {{"--eval-examples"}, 0, "Some examples for --eval:\n", ""},
      {{"--eval_operators"}, 0, "Unary operators:\n", ""},
      {{"--eval-constants"}, 0, "_c           Speed of light\n", ""},
      {{"--eval_functions"}, 0, "abs(x)       absolute value\n", ""},
  };
  for (const Case& c : cases) {
    Outcome o = parse(c.args);
    ASSERT_EQ(o.kind, Outcome::kExit) << c.args.back();
    EXPECT_EQ(o.status, c.status) << c.args.back();
    EXPECT_EQ(o.out.rfind(c.out_starts, 0), 0u) << c.args.back();
    if (*c.out_starts == '\0') {
      EXPECT_EQ(o.out, "") << c.args.back();
    }
    EXPECT_NE(o.err.find(c.err_has), std::string::npos) << c.args.back() << ": " << o.err;
  }
  // An argument that reads "-?" is not the help option.
  Outcome o = parse({"--more", "-e", "-?", "-k"});
  EXPECT_EQ(o.kind, Outcome::kReturned);
  EXPECT_NE(o.values.find(" selections=-? "), std::string::npos);
}

}  // namespace
}  // namespace kest
