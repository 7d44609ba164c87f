// The option loop: the argument rules with their replaced values, messages and
// refusals, the parser's own errors, help and listings, and the order of
// options and names.
#include "driver/options.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

#include "base/settings.h"
#include "support.h"

namespace kest {
namespace {

using testing::contains;

std::string join(const std::forward_list<std::string>& list) {
  std::string text;
  for (const std::string& s : list) text += (text.empty() ? "" : "|") + s;
  return text;
}

// The operation chosen and the values of Settings the options set, as
// " name=value " words (the operations' own parameters show in their runs).
std::string snapshot(const OptionState& state) {
  const Settings& s = settings();
  return format_text(
      " op=%d need=%d%d skip_columns=%u skip_rows=%d wildcard=%d%s xtra=%d delimiter=%d"
      " format=%d%s maxbuff=%u fuzz=%g inverse=%d selections=%s line_count=%d flags=%d%d ",
      static_cast<int>(state.operation), state.need_output, state.need_selection, s.skip_columns,
      s.skip_rows, s.wildcard, s.extension.c_str(), s.xtra, s.delimiter, s.format_set,
      s.number_format.c_str(), s.maxbuff, s.fuzz, s.inverse, join(s.selection_strings).c_str(),
      s.add_line_count, s.keep_comments, s.qxstars);
}

struct Outcome : testing::Ending {
  int next = 0;                   // first positional argument
  std::vector<std::string> argv;  // after the parser's permutation
  std::string values;
};

Outcome parse(std::vector<std::string> args) {
  reset_settings();
  reset_operations();
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

std::string warning(const std::string& text) {
  return "\nWarning: " + text + "\nContinue [y/N]:";
}

// Arguments, the words their values must show ("op=0 need=11") and the whole of
// standard error.
struct ValueCase {
  std::vector<std::string> args;
  std::string words;
  std::string err = "";
};

void expect_values(const std::vector<ValueCase>& cases) {
  for (const ValueCase& c : cases) {
    const Outcome o = parse(c.args);
    std::string shown;
    for (const std::string& a : c.args) shown += " " + a;
    ASSERT_EQ(o.kind, Outcome::kReturned) << shown << ": " << o.message << o.err;
    std::istringstream words(c.words);
    for (std::string word; words >> word;) {
      EXPECT_TRUE(contains(o.values, " " + word + " ")) << shown << ": " << word << o.values;
    }
    EXPECT_EQ(o.err, c.err) << shown;
  }
}

TEST(Options, TheLastOperationWinsAndNeedsAreOnlyEverCleared) {
  expect_values({
      {{}, "op=-1 need=11"},
      {{"--eval=x", "-k"}, "op=0 need=10"},
      {{"-c", "-k"}, "op=0 need=00"},
      {{"-k", "-z,"}, "op=0 need=11 delimiter=44"},
      {{"-z,", "-k"}, "op=0 need=10"},
      // A prefix that fits only aliases of one option.
      {{"--sum-v"}, "op=25"},
      {{"--running-a=3"}, "op=30"},
      {{"--math=sin", "--eval=c[1]"}, "op=22"},
      {{"--keep-columns=1,2"}, "selections=1,2 inverse=1"},
      {{"-e", "1", "--specified=2-3"}, "selections=2-3|1"},
      {{"--cut-square=1-2", "--cut-square=4"}, "op=27 inverse=0"},
      {{"-i", "--cut-square=1"}, "inverse=0"},
      {{"-yc"}, "line_count=1"},
      {{"--enumerate=count"}, "line_count=1"},
      {{"-y"}, "line_count=0"},
  });
}

TEST(Options, ArgumentRulesReplacedValuesAndTheirMessages) {
  const std::string kMode = warning("Unknown running average mode.\nReseting to \"2 - PMA\"");
  const std::string kWide = std::string(28, 'x');
  expect_values({
      {{"-b", "-3"}, "skip_columns=0"},
      {{"-b", "7", "-b", "abc"}, "skip_columns=7"},
      {{"-b", "123456789"}, "skip_columns=12345678"},
      {{"--skip-rows=-3"}, "skip_rows=0"},
      {{"--skip-rows=4", "--skip-rows=x"}, "skip_rows=4"},
      {{"-ds"}, "op=4 need=00"},
      {{"-f4"}, "op=10", warning("Filtertaps should be odd (4), adjusting uppwards to 5")},
      // Values beyond 32 bits stop at the end of the range.
      {{"-x", "99999999999"}, "xtra=2147483646"},
      {{"-x", "1"}, "xtra=0"},
      {{"-x", "-1"}, "xtra=-1"},
      {{"-w"}, "wildcard=1.out"},
      {{"-w.txt"}, "wildcard=1.txt"},
      {{"-wtxt"}, "wildcard=1.txt"},
      {{"-z\\T"}, "delimiter=9"},
      {{"-z\\\\"}, "delimiter=92"},
      {{"-z\\x"}, "delimiter=32", "\nMessage: Unknown separator\n"},
      {{"--format=%5.2e%%"}, "format=1%5.2e%%", "Output format:%5.2e%%\n>1.23e+07%<\n"},
      {{"--format=%f" + std::string(40, 'x')},
       "format=1%f" + kWide,
       "Output format:%f" + kWide + "\n>12345678.901235" + kWide + "<\n"},
      // The value is taken modulo 2^32.
      {{"--maxbuff=-1"}, "maxbuff=4294967295"},
      {{"--maxbuff=4295098368"}, "maxbuff=131072"},
      {{"--maxbuff=010000000"}, "maxbuff=2097152"},
      {{"--maxbuff=1000"},
       "maxbuff=131072",
       warning("maxbuff=1000 is to small. Reseting to 131072\n")},
      {{"--running-average=4,-1"}, "op=30", kMode},
      {{"--running-average=1,9"},
       "op=30",
       warning("Running average window=1 is too small. Resetting to 5\n") + kMode},
      {{"-g"}, "op=-1", "?? getopt returned character code 0147 ??\n"},
      {{"--more", "-g"}, "op=-1"},
      // A range error is not reported again for a later good value.
      {{"--fuzz=1e999", "-m", "2"}, "fuzz=inf op=9", "get_double: Numerical result out of range\n"},
  });
}

TEST(Options, ArgumentErrorsAreFatal) {
  const std::string kXtra =
      "Argument to -x/--xtra must be larger than zero or equal to -1 (all columns)\n";
  const std::string kNumber = "Can't convert abc to a number\n";
  struct Case {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--split=150%"}, "Percent must be between 0% and 100% (150.000000)"},
      {{"-d0p"}, "Percent must be between 0% and 100% (0.000000)"},
      {{"-d8e1"}, "invalid characters in option argument for option -d: 8e1.\n"},
      {{"-f0"}, "Filtertaps can't be less than zero (0)"},
      {{"--sinc-lp=0.1,0"}, "M should be a positive even number\n"},
      {{"--sinc-bs=0.1,0.2,-4294967296"}, "M should be a positive even number\n"},
      {{"-u", "0"}, "Filtertaps can't be negative (0)"},
      {{"--sinc-lp=0.1 ,4"}, "Wrong number of parameters\n"},
      {{"--sinc-bp=0.1,0.2"}, "Wrong number of parameters\n"},
      {{"--sinc-lp=0.5,4"}, "Cutoff frequency out of range (0 - 0.5)\n"},
      {{"--sinc-hp=nan,4"}, "Cutoff frequency out of range (0 - 0.5)\n"},
      {{"--sinc-bs=0.1,0.6,8"}, "Cutoff frequencies out of range (0 - 0.5)\n"},
      {{"--sinc-lp=0.1,4294967296"}, "M should be even\n"},
      {{"--sinc-bp=0.1,0.2,7"}, "M should be even\n"},
      {{"-j", "abc"}, kNumber},
      {{"--maxbuff=abc"}, kNumber},
      {{"-x", "abc"}, kNumber},
      {{"--running-average=abc"}, kNumber},
      {{"-x", "0"}, kXtra},
      {{"-x", "-2"}, kXtra},
      {{"--divide=-0"}, "Can't divide by ZERO\n"},
      {{"-m", "x1"}, "Unable to convert \"x1\" to a number"},
      {{"--format=%lf"},
       "Invalid format (%lf) \n%[flags][width][.precision]{e|f|g}\nMinimum allowed format:      "
       "%f\nDefault format:              %f\nExtra precision (-x) format: %.18g"},
      {{"--plot-x=0"}, "Invalid column for --plot-x: 0 (a column number from 1)\n"},
      {{"--plot-x=2x"}, "Invalid column for --plot-x: 2x (a column number from 1)\n"},
      {{"--plot-size=99x200"}, "Invalid plot size 99x200 (WxH, each from 100 to 10000)\n"},
      {{"--plot-size=200"}, "Invalid plot size 200 (WxH, each from 100 to 10000)\n"},
      {{"--plot-size=100x10001"}, "Invalid plot size 100x10001 (WxH, each from 100 to 10000)\n"},
  };
  for (const Case& c : cases) {
    const Outcome o = parse(c.args);
    ASSERT_EQ(o.kind, Outcome::kFatal) << c.args[0] << o.values;
    EXPECT_EQ(o.message, c.message) << c.args[0];
  }
}

// Every upper-case letter acts as its lower-case twin, alone or with an argument.
TEST(Options, UpperCaseLettersActAsTheirLowerCaseTwins) {
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    for (const char* rest : {"", "2"}) {
      const std::string lower = std::string("-") + letter + rest;
      std::string upper = lower;
      upper[1] = static_cast<char>(letter - 'a' + 'A');
      const Outcome a = parse({"--more", lower});
      const Outcome b = parse({"--more", upper});
      EXPECT_EQ(std::tie(a.kind, a.status, a.next, a.out, a.values),
                std::tie(b.kind, b.status, b.next, b.out, b.values))
          << upper;
    }
  }
}

TEST(Options, PositionalArgumentsArePermutedBehindTheOptions) {
  Outcome o = parse({"in", "-k", "out", "-e", "1", "-", "--", "-r"});
  EXPECT_TRUE(contains(o.values, " op=0 "));
  ASSERT_EQ(o.next, 5);
  EXPECT_EQ(std::vector<std::string>(o.argv.begin() + 5, o.argv.end()),
            (std::vector<std::string>{"in", "out", "-", "-r"}));
  // Optional arguments are taken only when attached.
  for (const char* option : {"-f", "-d", "-w", "-y", "--keep-columns"}) {
    EXPECT_EQ(parse({option, "7"}).next, 2) << option;
  }
}

TEST(Options, HelpVersionAndErrorLogReportsEndTheRun) {
  const char* kHelp = "kest Version ";

  struct Case {
    std::vector<std::string> args;
    int status;
    const char* out_starts;  // start of standard output ("": none at all)
    const char* err_has;     // found in standard error
  } cases[] = {
      {{"--more", "-k?"}, 0, kHelp, ""},
      {{"--more", "--he"}, 0, kHelp, ""},
      // A refused option: the message and the help on standard error only.
      {{"--more", "-l"}, 1, "", "invalid option -- 'l'"},
      {{"--more", "--keep=1"}, 1, "", "ambiguous"},
      {{"--more", "-b"}, 1, "", "requires an argument -- 'b'"},
      {{"--more", "--check=1"}, 1, "", "doesn't allow an argument"},
      // -? after an error of an earlier parse is still the help option.
      {{"--more", "-?"}, 0, kHelp, ""},
  };
  for (const Case& c : cases) {
    const Outcome o = parse(c.args);
    ASSERT_EQ(o.kind, Outcome::kExit) << c.args.back();
    EXPECT_EQ(o.status, c.status) << c.args.back();
    EXPECT_EQ(o.out.rfind(c.out_starts, 0), 0u) << c.args.back();
    EXPECT_TRUE(*c.out_starts != '\0' || o.out.empty()) << c.args.back();
    EXPECT_TRUE(contains(o.err, c.err_has)) << c.args.back() << ": " << o.err;
  }
  // A range of one value ends the run with an error-log line.
  for (const char* range : {"--range-keep=1", "--range-remove=x"}) {
    const Outcome o = parse({range});
    EXPECT_EQ(o.kind, Outcome::kFatal) << range;
    EXPECT_EQ(o.message, "Need 2 values in the format lower,upper\n") << range;
  }
  // An argument that reads "-?" is not the help option.
  const Outcome o = parse({"--more", "-e", "-?", "-k"});
  EXPECT_EQ(o.kind, Outcome::kReturned);
  EXPECT_TRUE(contains(o.values, " selections=-? "));
}

}  // namespace
}  // namespace kest
