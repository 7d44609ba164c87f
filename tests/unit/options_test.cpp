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
#include "test_support.h"
#include "base/diagnostics.h"
#include "io/writer.h"

namespace kest {
namespace {

using testing::Capture;

std::string join(const std::forward_list<std::string>& list) {
  std::string text;
  for (const std::string& s : list) text += (text.empty() ? "" : "|") + s;
  return text;
}

// Every value the options set, as " name=value " words.
std::string snapshot(const DriverParams& p) {
  const Settings& s = mutable_settings();
  return format_text(
      " op=%d need=%d%d quiet=%d comments=%d skip_columns=%u skip_rows=%d split=%g,%d,%d taps=%d"
      " sinc=%g,%g,%d,%d shift=%d adjust=%d,%d factor=%g noise=%g add=%g level=%g range=%g,%g"
      " sort=%s function=%s prolog=%s epilog=%s wildcard=%d%s xtra=%d delimiter=%d"
      " input_delimiter=%d format=%d%s maxbuff=%u mode=%u fuzz=%g inverse=%d selections=%s"
      " squares=%s line_count=%d flags=%d%d%d%d%d%d ",
      s.operation, p.need_output, p.need_selection, s.quiet, s.keep_comments, s.skip_columns,
      s.skip_rows, p.split_amount, s.split_percent, s.split_random, p.filter_taps, p.sinc.fc1,
      p.sinc.fc2, p.sinc.m, p.sinc.type, p.shift, s.row_adjust, s.column_adjust,
      p.multiply_factor, p.noise_level, p.add_term, p.level, p.range_lower, p.range_upper,
      p.sort_spec.c_str(), p.function.value_or("none").c_str(), p.prolog.value_or("none").c_str(),
      p.epilog.value_or("none").c_str(), s.wildcard, s.extension.c_str(), s.xtra, s.delimiter,
      s.input_delimiter, s.format_set, s.number_format.c_str(), s.maxbuff,
      s.running_average_mode, s.fuzz, s.inverse, join(s.selection_strings).c_str(),
      join(s.cut_square_strings).c_str(), s.add_line_count, s.qxstars, s.append, s.more,
      s.special_log, s.debug, s.wait_on_error);
}

struct Outcome {
  enum Kind { kParsed, kFatal, kExit } kind = kParsed;
  std::string message;            // of a fatal error
  int status = 0;                 // of an early end
  int next = 0;                   // first positional argument
  std::vector<std::string> argv;  // after the parser's permutation
  std::string out, err, values;
};

Outcome parse(std::vector<std::string> args) {
  reset_settings();
  select_standard_output();
  args.insert(args.begin(), "kest");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  Outcome o;
  DriverParams params;
  Capture out(1, stdout);
  Capture err(2, stderr);
  try {
    o.next = parse_options(static_cast<int>(args.size()), argv.data(), params);
  } catch (const FatalError& e) {
    o.kind = Outcome::kFatal;
    o.message = e.message();
  } catch (const ExitRequest& e) {
    o.kind = Outcome::kExit;
    o.status = e.status;
  }
  o.out = out.text();
  o.err = err.text();
  o.values = snapshot(params);
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
    ASSERT_EQ(o.kind, Outcome::kParsed) << shown << ": " << o.message << o.err;
    EXPECT_NE(o.values.find(" " + c.expected + " "), std::string::npos) << shown << o.values;
  }
}

TEST(Options, NoOptionsLeaveTheStartValues) {
  Outcome o = parse({});
  EXPECT_EQ(o.next, 1);
  EXPECT_EQ(o.values, snapshot(DriverParams{}));
  for (const char* word : {" op=-1 need=11 ", " taps=5 ", " split=0,0,0 ", " sort=1 ", " factor=1 ",
                           " noise=0.001 ", " maxbuff=131072 ", " xtra=-2 ", " delimiter=32 ",
                           " fuzz=2.22045e-16 ", " mode=2 ", " flags=000000 ", " wildcard=0.out ",
                           " function=none "}) {
    EXPECT_NE(o.values.find(word), std::string::npos) << word;
  }
}

TEST(Options, OperationOptionsChooseTheirCodeAndClearTheirNeeds) {
  expect_values({
      {{"-k"}, "op=0 need=11"}, {{"--columns"}, "op=0 need=11"},
      {{"--remove-columns"}, "op=0 need=11"}, {{"-r"}, "op=1 need=11"},
      {{"--rows"}, "op=1 need=11"}, {{"--remove-rows"}, "op=1 need=11"}, {{"-t"}, "op=2 need=10"},
      {{"--transpose"}, "op=2 need=10"}, {{"-c"}, "op=3 need=00"}, {{"--check"}, "op=3 need=00"},
      {{"-d"}, "op=4 need=00"}, {{"--split=5"}, "op=4 need=00"}, {{"-z,"}, "op=5 need=10"},
      {{"-n", "1"}, "op=6 need=11"}, {{"--noise=1"}, "op=6 need=11"}, {{"-q2"}, "op=7 need=10"},
      {{"--sort=2"}, "op=7 need=10"}, {{"--qsort=2"}, "op=7 need=10"}, {{"-m2"}, "op=9 need=11"},
      {{"--multiply=2"}, "op=9 need=11"}, {{"-f"}, "op=10 need=11"},
      {{"--filter"}, "op=10 need=11"}, {{"-j1"}, "op=11 need=11"},
      {{"--removegt=1"}, "op=12 need=11"}, {{"--keepleq=1"}, "op=12 need=11"},
      {{"--removelt=1"}, "op=13 need=11"}, {{"--keepgeq=1"}, "op=13 need=11"},
      {{"--removeeq=1"}, "op=14 need=11"}, {{"--keepneq=1"}, "op=14 need=11"},
      {{"--keepgt=1"}, "op=15 need=11"}, {{"--removeleq=1"}, "op=15 need=11"},
      {{"--keeplt=1"}, "op=16 need=11"}, {{"--removegeq=1"}, "op=16 need=11"},
      {{"--keepeq=1"}, "op=17 need=11"}, {{"--removeneq=1"}, "op=17 need=11"},
      {{"-p1"}, "op=18 need=11"}, {{"--add=1"}, "op=18 need=11"}, {{"-y"}, "op=19 need=10"},
      {{"--enumerate"}, "op=19 need=10"}, {{"-u3"}, "op=20 need=11"},
      {{"--medianfilter=3"}, "op=20 need=11"}, {{"--math=sin"}, "op=21 need=11"},
      {{"--eval=x"}, "op=22 need=10"}, {{"--shuffle"}, "op=23 need=11"},
      {{"--diff"}, "op=24 need=11"}, {{"--sum-col"}, "op=25 need=10"},
      {{"--sum_col"}, "op=25 need=10"}, {{"--sum-vertical"}, "op=25 need=10"},
      {{"--sum_vertical"}, "op=25 need=10"}, {{"--sum-row"}, "op=26 need=10"},
      {{"--sum_row"}, "op=26 need=10"}, {{"--sum-horizontal"}, "op=26 need=10"},
      {{"--sum_horizontal"}, "op=26 need=10"}, {{"--cut-square=1-2"}, "op=27 need=11"},
      {{"--nop"}, "op=28 need=10"}, {{"--noop"}, "op=28 need=10"},
      {{"--divide=2"}, "op=29 need=11"}, {{"--running-average=3"}, "op=30 need=11"},
      {{"--running-avg=3"}, "op=30 need=11"}, {{"--running-mean=3"}, "op=30 need=11"},
      {{"--get-rows"}, "op=31 need=00"}, {{"--get-cols"}, "op=32 need=00"},
      {{"--range-keep=1,2"}, "op=33 need=11"}, {{"--range-remove=1,2"}, "op=34 need=11"},
      {{"--sinc-lp=0.1,4"}, "op=35 need=11"}, {{"--sinc-hp=0.1,4"}, "op=36 need=11"},
      {{"--sinc-bp=0.1,0.2,4"}, "op=37 need=11"}, {{"--sinc-bs=0.1,0.2,4"}, "op=38 need=11"},
      {{"--flip-ud"}, "op=39 need=10"}, {{"--flip-lr"}, "op=40 need=10"},
      // Prefixes, also one that fits only aliases of one option.
      {{"--transp"}, "op=2 need=10"}, {{"--sum-v"}, "op=25 need=10"},
      {{"--running-a=3"}, "op=30 need=11"},
      // The last operation wins; needs are only ever cleared.
      {{"--eval=x", "-k"}, "op=0 need=10"}, {{"-c", "-k"}, "op=0 need=00"},
      {{"-k", "-z,"}, "op=0 need=11"}, {{"-z,", "-k"}, "op=0 need=10"},
  });
}

TEST(Options, SettingOptions) {
  expect_values({
      {{"-#"}, "quiet=1"}, {{"--quiet"}, "quiet=1"}, {{"--silence"}, "quiet=1"},
      {{"-a"}, "comments=1"}, {{"--keep-comments"}, "comments=1"}, {{"-s"}, "flags=100000"},
      {{"--qxstars"}, "flags=100000"}, {{"--append"}, "flags=010000"}, {{"--more"}, "flags=001000"},
      {{"--special-log"}, "flags=000100"}, {{"--debug"}, "flags=000010"},
      {{"--wait-on-error"}, "flags=000001"},
      {{"--wait-on-error", "--no-wait-on-error"}, "flags=000000"},
      {{"--no-wait-on-error", "--wait-on-error"}, "flags=000001"},
      {{"--add-line-count"}, "line_count=1"}, {{"-i"}, "inverse=1"}, {{"--inverse"}, "inverse=1"},
      {{"--fuzz=0.5"}, "fuzz=0.5"}, {{"--input-delimiter=;"}, "input_delimiter=59"},
      {{"--input-delimiter="}, "input_delimiter=0"},
      {{"-e", "1", "--specified=2-3"}, "selections=2-3|1"},
      {{"--keep-columns=1,2"}, "selections=1,2"}, {{"--keep-columns=1,2"}, "inverse=1"},
      {{"--keep-rows=3"}, "inverse=1"}, {{"--keep-rows=3"}, "op=1"},
      {{"--cut-square=1-2"}, "inverse=1"}, {{"--cut-square=1-2", "--cut-square=4"}, "inverse=0"},
      {{"--cut-square=1-2", "--cut-square=4"}, "squares=4|1-2"},
      {{"-i", "--cut-square=1"}, "inverse=0"}, {{"--math=sin", "--eval=c[1]"}, "function=c[1]"},
      {{"-q", "3,-1"}, "sort=3,-1"}, {{"--eval-begin=a"}, "prolog=a"},
      {{"--eval_prolog=b"}, "prolog=b"}, {{"--eval-end=a"}, "epilog=a"},
      {{"--eval_epilog=a"}, "adjust=1,0"},
      {{"--sum-vertical", "--eval-epilog=x", "-j", "-3", "-k"}, "adjust=-1,0"},
      {{"-y", "--sum-horizontal"}, "adjust=0,2"}, {{"-yc"}, "line_count=1"},
      {{"-yC"}, "line_count=1"}, {{"-y"}, "line_count=0"}, {{"--enumerate=count"}, "line_count=1"},
      {{"-m", "2.5"}, "factor=2.5"}, {{"-n", "0.1"}, "noise=0.1"}, {{"-p", "-3"}, "add=-3"},
      {{"--keepeq=7"}, "level=7"},
  });
}

TEST(Options, StyleOptionsSelectTheLastStyleGiven) {
  struct Case {
    std::vector<std::string> args;
    void (*select)();
  } cases[] = {
      {{"--latex-output", "--output-csv"}, select_csv_output},
      {{"--output-latex"}, select_latex_output}, {{"--c-output"}, select_c_output},
      {{"--output-c"}, select_c_output},
      {{"--output-c", "--standard-output"}, select_standard_output},
      {{"--output-csv", "--output-standard"}, select_standard_output},
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
      {{"-j", "3"}, "adjust=-3,0"}, {{"-j", "-4"}, "adjust=-4,0"},
      {{"-j", "2", "-j", "-3"}, "adjust=-5,0"}, {{"-j", "0"}, "shift=0"},
      // Values beyond 32 bits stop at the end of the range.
      {{"-j", "99999999999"}, "shift=2147483647"}, {{"-j", "-99999999999"}, "shift=-2147483647"},
      {{"-j", "2147483647", "-j", "2147483647"}, "adjust=-2147483648,0"},
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
  };
  for (const Case& c : cases) {
    Outcome o = parse(c.args);
    ASSERT_EQ(o.kind, Outcome::kFatal) << c.args[0];
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
    EXPECT_EQ(o.kind, Outcome::kParsed) << c.args[0];
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
      {"g", {}}, {"i", {}}, {"j", {"2"}}, {"k", {}}, {"m", {"2"}}, {"n", {"0.1"}}, {"p", {"1"}},
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
    EXPECT_NE(a.values, parse({}).values) << upper[1];
  }
}

TEST(Options, PositionalArgumentsArePermutedBehindTheOptions) {
  Outcome o = parse({"in", "-k", "out", "-e", "1", "-", "--", "-r"});
  ASSERT_EQ(o.kind, Outcome::kParsed);
  EXPECT_EQ(mutable_settings().operation, 0);
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
  EXPECT_EQ(mutable_settings().operation, -1);
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
      {{"--version"}, 0, "kest Version ", ""}, {{"--eval-examples"}, 0, "", ""},
      {{"--eval_operators"}, 0, "", ""}, {{"--eval-constants"}, 0, "", ""},
      {{"--eval_functions"}, 0, "", ""},
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
  EXPECT_EQ(o.kind, Outcome::kParsed);
  EXPECT_NE(o.values.find(" selections=-? "), std::string::npos);
}

}  // namespace
}  // namespace kest
