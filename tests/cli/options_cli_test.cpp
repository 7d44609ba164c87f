// Option arguments end to end (the option loop's own tests hold every rule): a
// refusal ends with its report and status 1,
// replaced values are announced, and nothing strange crashes the program.
#include "cli_harness.h"

namespace kest_cli {
namespace {

class OptionsCli : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    write("in", "1 2 3\n4 5 6\n");
  }
};

bool ends_with(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST_F(OptionsCli, RefusedArgumentsEndWithTheirMessage) {
  struct Case {
    std::vector<std::string> args;
    std::string message;  // the end of standard error
  } cases[] = {
      {{"-d8e1"}, "invalid characters in option argument for option -d: 8e1.\n"},
      {{"--split=150%"}, "Percent must be between 0% and 100% (150.000000)"},
      {{"-f0"}, "Filtertaps can't be less than zero (0)"},
      {{"-u", "-3"}, "Filtertaps can't be negative (-3)"},
      {{"--sinc-hp=0.5,4"}, "Cutoff frequency out of range (0 - 0.5)\n"},
      {{"--sinc-bp=0.1,0.6,4"}, "Cutoff frequencies out of range (0 - 0.5)\n"},
      {{"-j", "abc"}, "Can't convert abc to a number\n"},
      {{"--divide=-0"}, "Can't divide by ZERO\n"},
      {{"-x", "0"}, "Argument to -x/--xtra must be larger than zero or equal to -1 (all columns)\n"},
      {{"--format=%lf"},
       "Invalid format (%lf) \n%[flags][width][.precision]{e|f|g}\nMinimum allowed format:      "
       "%f\nDefault format:              %f\nExtra precision (-x) format: %.18g"},
      {{"--format=%n%s%s%s"}, "Invalid format (%n%s%s%s) \n%[flags][width][.precision]{e|f|g}\n"
                              "Minimum allowed format:      %f\nDefault format:              %f\n"
                              "Extra precision (-x) format: %.18g"},
      {{"--range-keep=1"}, ":: error: Need 2 values in the format lower,upper\n"},
      {{"-m", "x"}, "Unable to convert \"x\" to a number"},
      {{"-e", "a"}, "invalid characters in option argument for option -e: a.\n"},
      {{"--cut-square=:3"}, "invalid characters in option argument for option -e: :3.\n"},
      {{"-e", "1:0:5", "--nop"}, ":: error: Error: step can't be less than 1: 0\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--nop", "in", "out"});
    RunResult r = run(args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_TRUE(ends_with(r.err, c.message)) << args[0] << "\n" << r.err;
  }
}

TEST_F(OptionsCli, ReplacedValuesAreAnnouncedAndTheRunGoesOn) {
  RunResult r = run({"--maxbuff=1000", "--nop", "in", "out"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err.rfind("\nWarning: maxbuff=1000 is to small. Reseting to 131072\n\nContinue [y/N]:", 0),
            0u)
      << r.err;
  r = run({"-z\\x", "--nop", "in", "out"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err.rfind("\nMessage: Unknown separator\n", 0), 0u);
  r = run({"-g", "--nop", "in", "out"});
  EXPECT_EQ(r.err.rfind("?? getopt returned character code 0147 ??\n", 0), 0u);
  r = run({"--format=%8.3f", "--nop", "in", "-"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err.rfind("Output format:%8.3f\n>12345678.901<\n", 0), 0u) << r.err;
  EXPECT_EQ(r.out, "   1.000    2.000    3.000\n   4.000    5.000    6.000\n");
}

TEST_F(OptionsCli, StrangeArgumentsNeitherCrashNorPrintThroughUncheckedFormats) {
  const std::string long_text(100000, '9');
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"-e", long_text},
           {"--maxbuff=-1"},
           {"--format=%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%f"},
           {"--format=%99999999999f"},
           {"-j", long_text},
           {"-x", long_text},
           {"--running-average=" + long_text + ",9"},
           {"--skip-rows=" + long_text},
           {"-b", long_text},
           {"--fuzz=1e999"},
           {"-m", "nan"},
           {"--split=" + long_text + "p"},
           {"-w" + long_text},
       }) {
    std::vector<std::string> full = args;
    full.insert(full.end(), {"--nop", "in", "out"});
    RunResult r = run(full);
    EXPECT_TRUE(r.status == 0 || r.status == 1) << args[0].substr(0, 40) << " " << r.status;
  }
}

}  // namespace
}  // namespace kest_cli
