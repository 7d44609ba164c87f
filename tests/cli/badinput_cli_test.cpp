// Bad input, awkward files and exhausted memory. Every operation on every kind
// of bad input ends with status 0, or 1 and the fatal report, never by a signal,
// and leaves its input as it was; each file-system case ends as it should and
// destroys no file; a run that cannot get the memory it needs says so with the
// number of bytes.
#include <filesystem>
#include <regex>

#include "cli_harness.h"

namespace kest_cli {
namespace {

using kest::testing::kScale;

// Every operation with the arguments it needs.
// clang-format off
const char* const kOperations[] = {
    "--nop", "-k -e 2", "-r -e 1", "-t", "-c", "--get-rows", "--get-cols", "-d2", "-z ,",
    "-n 0.1 -e 1", "-q 1", "-m 2 -e 1", "--divide=2 -e 1", "-p 1 -e 1", "-f -e 1", "-j 1 -e 1",
    "-j -2 -e 1", "--removegt=1 -e 1", "--keepeq=0 -e 1", "--range-keep=0,1 -e 1",
    "--range-remove=0,1 -e 1", "-y", "-u 3 -e 1", "--math=sin -e 1", "--math=log -e 1",
    "--eval=n[1]=c[1]", "--shuffle -e 1", "--diff -e 1", "--sum-vertical", "--sum-horizontal",
    "--cut-square=1 -e 1", "--running-average=3 -e 1", "--sinc-lp=0.1,4 -e 1",
    "--sinc-hp=0.1,4 -e 1", "--sinc-bp=0.1,0.2,4 -e 1", "--sinc-bs=0.1,0.2,4 -e 1", "--flip-ud",
    "--flip-lr", "--plot", "--plot -e 1",
};
// clang-format on

// The file checks report on standard output and the split writes files named
// after its input: neither takes an output name.
bool is_check(const std::string& op) {
  return op == "-c" || op == "--get-rows" || op == "--get-cols";
}
bool takes_output(const std::string& op) {
  return !is_check(op) && op != "-d2";
}

// A fixed pseudo-random byte string.
std::string garbage() {
  std::string bytes(4096, '\0');
  std::uint32_t state = 20240601;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return bytes;
}

// 4 MB of numbers on one line without a line feed: sixteen read blocks (eight, 2 MB, under the
// sanitizer).
std::string long_line() {
  const std::string numbers = "-12345678901234567890.123456789012345e-123 0.5 7 1e308 ";
  const std::size_t size = kScale == 1 ? 4'000'000 : 2'000'000;
  std::string line;
  line.reserve(size + numbers.size());
  while (line.size() < size) line += numbers;
  return line;
}

// Three rows of 20000 columns.
std::string wide_rows() {
  std::string row;
  for (int c = 0; c < 20000; ++c) row += std::to_string(c % 97) + ' ';
  row.back() = '\n';
  return row + row + row;
}

struct Input {
  const char* name;  ///< the file name and the test's name
  std::string (*bytes)();
  /// Every operation but the file checks must refuse it and write nothing.
  bool refused = false;
};

const Input kInputs[] = {
    {"empty", [] { return std::string(); }},
    {"comments", [] { return std::string("# one\n! two\n; three\nwords only\n"); }},
    {"garbage", garbage},
    // "1 2 3\n4 5 6\n" compressed.
    {"gzip",
     [] {
       return std::string(
           "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\x33\x54\x30\x52\x30\xe6\x32\x51\x30\x55\x30"
           "\xe3\x02\x00\x02\xb4\x5b\xfb\x0c\x00\x00\x00",
           32);
     }},
    {"nul", [] { return std::string("1 2\0 3\n4\0 5 6\n\0 7 8\n9 10\n", 26); }},
    {"crlf", [] { return std::string("1 2 3\r\n4 5 6\r\n7 8 9\r\n"); }},
    {"longline", long_line},
    {"wide", wide_rows},
    {"special",
     [] {
       return std::string(
           "nan inf -0 0x1p3 1e308 1e-320 1e400\n-inf NaN -0.0 0x10 -1e308 4.9e-324 -1e400\n"
           "1 2 3 4 5 6 7\n");
     }},
    // The header would count as a data line without a number: no column at all.
    {"header", [] { return std::string("time temp1 temp2\n0 1.5 2.5\n1 1.6 2.6\n2 1.7 2.7\n"); },
     true},
};

class BadInputRuns : public CliTest, public ::testing::WithParamInterface<Input> {};

TEST_P(BadInputRuns, EveryOperationEndsCleanlyAndKeepsItsInput) {
  const Input& input = GetParam();
  const std::string bytes = input.bytes();
  write(input.name, bytes);
  const std::string split_files[] = {path(input.name + std::string(".trn")),
                                     path(input.name + std::string(".tst"))};
  for (const std::string op : kOperations) {
    std::filesystem::remove(path("out"));
    for (const std::string& file : split_files) std::filesystem::remove(file);
    const std::string command = op + " " + input.name + (takes_output(op) ? " out" : "");
    const RunResult r = run_words(command);
    const bool reported = r.status == 1 && contains(r.err, "\nError in File:");
    EXPECT_TRUE(r.status == 0 || reported) << command << ": status " << r.status << "\n"
                                           << r.err.substr(0, 2000);
    EXPECT_TRUE(read(input.name) == bytes) << command << " changed its input";
    if (input.refused && !is_check(op)) {
      EXPECT_TRUE(reported) << command << " was not refused: status " << r.status;
      EXPECT_FALSE(exists("out") || std::filesystem::exists(split_files[0]) ||
                   std::filesystem::exists(split_files[1]))
          << command << " wrote a file";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BadInput, BadInputRuns, ::testing::ValuesIn(kInputs),
                         [](const auto& info) { return std::string(info.param.name); });

// A run against awkward files: `setup` (shell commands) makes them beside "in",
// which holds three rows of two columns.
struct FileCase {
  const char* setup;
  const char* args;
  int status;
  /// Part of standard error (after kSame when it is a file name alone), or all "out" holds
  /// for status 0.
  const char* message;
  std::vector<std::string> intact;  ///< files whose bytes the run must keep
  const char* absent = "";          ///< a file the run must not make
  bool unprivileged = false;        ///< file modes must hold even when the tests run as root
};

// clang-format off
const char* const kSame = "Input and output are the same file: ";
const char* const kFeed = "mkfifo pipe && (timeout 20 sh -c \"cat in > pipe\" &)";
const FileCase kFileCases[] = {
    {"", "--nop missing out", 1, "Could not open file missing\n", {}, "out"},
    {"mkdir dir", "--nop dir out", 1, "Could not open file dir\n", {}, "out"},
    // A FIFO fed by a writer of its own: one pass, and two passes over a spooled copy.
    {kFeed, "--nop pipe out", 0, "1 2\n3 4\n5 6\n", {"in"}},
    {kFeed, "-t pipe out", 0, "1 3 5\n2 4 6\n", {"in"}},
    {"", "--nop in nodir/out", 1, "Could not open file nodir/out for writing\n", {"in"}},
    {"", "--append --nop in nodir/out", 1, "Could not open file nodir/out for appending\n", {"in"}},
    {"mkdir dir", "--nop in dir", 1, "Could not open file dir for writing\n", {"in"}},
    {"", "--nop in /dev/full", 1, "Could not write file /dev/full\n", {"in"}},
    {"", "-t in /dev/full", 1, "Could not write file /dev/full\n", {"in"}},
    {"", "--plot in /dev/full", 1, "Could not write file /dev/full\n", {"in"}},
    {"echo kept > ro && chmod 444 ro", "--nop in ro", 1, "Could not open file ro for writing\n",
     {"in", "ro"}, "", true},
    // The input as the output: by name, through links, appended to, as the selection file.
    {"", "--nop in in", 1, "in\n", {"in"}},
    {"", "--plot in in", 1, "in\n", {"in"}},
    {"", "--append --nop in in", 1, "in\n", {"in"}},
    {"ln -s in link", "--nop in link", 1, "link\n", {"in"}},
    {"ln -s in link", "--nop link in", 1, "in\n", {"in"}},
    {"ln in hard", "--append --nop in hard", 1, "hard\n", {"in"}},
    {"echo 1 > sel", "-k in sel sel", 1, "sel\n", {"in", "sel"}},
    // Derived names: the wildcard outputs and the split files, all checked before any opens.
    {"cp in x.dat && cp in x.out", "-w --nop x.dat x.out", 1,
     "Output x.out of x.dat would overwrite the input x.out\n", {"x.dat", "x.out"}},
    {"cp in x.dat", "--wildcard=dat --nop x.dat", 1,
     "Output x.dat of x.dat would overwrite the input x.dat\n", {"x.dat"}},
    {"cp in b.txt && cp in b.csv", "-w --nop b.txt b.csv", 1,
     "Inputs b.txt and b.csv would both be written to b.out\n", {"b.txt", "b.csv"}, "b.out"},
    {"cp in x.tst", "-d2 x.tst", 1, "x.tst\n", {"x.tst"}, "x.trn"},
    {"cp in x.tst && echo keep > x.trn", "-d2 x.tst", 1, "x.tst\n", {"x.tst", "x.trn"}},
    {"cp in x.trn", "-d2 x.trn", 1, "x.trn\n", {"x.trn"}, "x.tst"},
    {"cp in s && echo 1 > s.tst && echo keep > s.trn", "-d2 s ignored s.tst", 1, "s.tst\n",
     {"s", "s.trn"}},
    {"ln -s in l.tst && echo keep > l.trn", "-d2 l.tst", 1, "l.tst\n", {"in", "l.trn"}},
};
// clang-format on

class BadInputFiles : public CliTest {};

TEST_F(BadInputFiles, EachCaseEndsAsItShouldAndDestroysNothing) {
  for (const FileCase& c : kFileCases) {
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      std::filesystem::remove_all(entry.path());
    }
    write("in", "1 2\n3 4\n5 6\n");
    ASSERT_EQ(shell(c.setup).status, 0) << c.setup;
    std::vector<std::string> before;
    for (const std::string& name : c.intact) before.push_back(read(name));
    if (c.unprivileged) {
      std::filesystem::permissions(
          dir_, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                    std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                    std::filesystem::perms::others_exec);
    }
    ChildLimits limits;
    limits.alarm_seconds = 20 * kScale;
    limits.unprivileged = c.unprivileged;
    const RunResult r = run(split_words(c.args), "", {}, ".stdout", limits);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
    if (c.status == 0) {
      EXPECT_EQ(read("out"), c.message) << c.args;
    } else {
      const bool named = std::string(c.message).find(' ') == std::string::npos;
      EXPECT_TRUE(contains(r.err, "\nError in File:") &&
                  contains(r.err, (named ? kSame : "") + std::string(c.message)))
          << c.args << "\n"
          << r.err;
    }
    for (std::size_t i = 0; i < c.intact.size(); ++i) {
      EXPECT_EQ(read(c.intact[i]), before[i]) << c.args << " changed " << c.intact[i];
    }
    if (*c.absent != '\0') {
      EXPECT_FALSE(exists(c.absent)) << c.args << " made " << c.absent;
    }
  }
}

// The memory tests lower the address space of the run; the address sanitizer
// needs a huge one, so they do not run under it.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Rows of `cols` values "1".
std::string ones(int rows, int cols) {
  std::string row;
  for (int c = 0; c < cols; ++c) row += "1 ";
  row.back() = '\n';
  std::string text;
  text.reserve(row.size() * rows);
  for (int r = 0; r < rows; ++r) text += row;
  return text;
}

class BadInputMemory : public CliTest {};

TEST_F(BadInputMemory, RunsThatCannotHoldTheirDataReportTheBytes) {
  if (kSanitized) GTEST_SKIP() << "the address sanitizer needs a huge address space";
  constexpr rlim_t kLimit = rlim_t{24} << 20;
  // 25.6 MB of values each: a table of 1600 rows from 6.4 MB of text, and a single
  // row. The narrow table of as many rows fits, so the limit leaves room for a run.
  write("table", ones(1600, 2000));
  write("row", ones(1, 3'200'000));
  write("narrow", ones(1600, 2));
  struct Case {
    const char* args;
    const char* input;
  };
  const Case cases[] = {
      // Every operation that holds the whole table, or a window as long as the file.
      {"-t", "table"},
      {"--flip-ud", "table"},
      {"-q 1", "table"},
      {"--shuffle -e 1", "table"},
      {"-f -e 1", "table"},
      {"-u 1 -e 1", "table"},
      {"--sinc-lp=0.1,4 -e 1", "table"},
      {"--sinc-hp=0.1,4 -e 1", "table"},
      {"--sinc-bp=0.1,0.2,4 -e 1", "table"},
      {"--sinc-bs=0.1,0.2,4 -e 1", "table"},
      {"--running-average=1600 -e 1", "table"},
      {"-j 1599 -e 1", "table"},
      // Every operation holds a row: the split streams its rows, but not this one.
      {"-d50p", "row"},
      {"--nop", "row"},
      {"--eval=n[1]=c[1]", "row"},
      // A line buffer larger than the limit, asked for by the line that spans
      // two read blocks.
      {"--maxbuff=2000000000 --nop", "table"},
  };
  const std::regex report("\nError in File:[^\n]*\nCould not allocate memory [0-9]+ bytes\n");
  ChildLimits limits;
  limits.address_space = kLimit;
  limits.alarm_seconds = 60;
  for (const Case& c : cases) {
    const auto run_on = [&](const std::string& input) {
      return run(split_words(std::string(c.args) + " " + input + " out"), "", {}, ".stdout",
                 limits);
    };
    const RunResult fits = run_on("narrow");
    EXPECT_EQ(fits.status, 0) << c.args << " on the narrow table\n" << fits.err;
    const RunResult r = run_on(c.input);
    EXPECT_EQ(r.status, 1) << c.args << "\n" << r.err;
    EXPECT_TRUE(std::regex_search(r.err, report)) << c.args << "\n" << r.err;
  }
}

}  // namespace
}  // namespace kest_cli
