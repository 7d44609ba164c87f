// Split (-d, --split=#[p][s]): divides the data rows between a training file
// (".trn") and a test file (".tst") named after the input.
//
// The first n rows go to the training file, or (with s) n rows drawn at random;
// the others go to the test file, each file in input order. n is a row number
// or (with p) a percentage of the rows. The selected columns are left out of
// both files. The random split starts from the run's fixed seed, so the same
// file and arguments give the same files in every run.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "base/random.h"
#include "base/settings.h"
#include "base/text.h"
#include "ops/frame.h"
#include "ops/option_scan.h"

namespace kest {

namespace {

constexpr double kDefaultAmount = 90.0;

// What -d gives: the rows (or the percentage) of the training file, and whether
// they are drawn at random.
struct Split {
  double amount = kDefaultAmount;
  bool percent = false;
  bool random = false;
};
Split g_split;

// The input name with its extension (from the last '.' of the last path
// component, if any) replaced by `extension`.
std::string split_name(const std::string& in, const char* extension) {
  const std::size_t slash = in.rfind('/');
  const std::size_t from = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = in.rfind('.');
  const std::size_t cut = dot != std::string::npos && dot >= from ? dot : in.size();
  return in.substr(0, cut) + extension;
}

// The number of training rows, from the split value.
std::uint32_t training_rows(double value, std::uint32_t rows) {
  if (g_split.percent) {
    const double n = std::floor(static_cast<double>(rows) * value / 100.0);
    if (!(n > 0.0)) return 0;
    return n >= rows ? rows : static_cast<std::uint32_t>(n);
  }
  if (!(value >= 1.0 && value < static_cast<double>(rows))) {
    KEST_FATAL("At least 1 and max %lu", static_cast<unsigned long>(rows));
  }
  return static_cast<std::uint32_t>(value);
}

// Files up to this many rows draw row indices as rows x draw: every row can be
// hit, since single-precision draws are at most 2^-24 apart.
constexpr std::uint32_t kSingleDrawRows = std::uint32_t{1} << 24;

// A row index below `rows` drawn at random.
std::uint32_t draw_row(std::uint32_t rows) {
  for (;;) {
    std::uint64_t index;
    if (rows <= kSingleDrawRows) {
      index = static_cast<std::uint64_t>(static_cast<double>(rows) * random_draw());
    } else {
      // Larger files need finer draws: two draws give an integer below 10^18.
      random_draw();
      const auto high = static_cast<std::uint64_t>(random_source().last_integer());
      random_draw();
      const auto low = static_cast<std::uint64_t>(random_source().last_integer());
      const unsigned __int128 wide =
          static_cast<unsigned __int128>(high * 1000000000u + low) * rows;
      index = static_cast<std::uint64_t>(wide / 1000000000000000000u);
    }
    if (index < rows) return static_cast<std::uint32_t>(index);  // a draw of 1.0 is drawn again
  }
}

OpResult run(const Job& job) {
  const Settings& s = settings();
  announce(job);
  // The file is checked first (its report is printed even in quiet mode), then
  // read again for the rows.
  Frame frame(job, {.comments = false, .another_pass = true});
  const std::uint32_t cols = frame.cols();
  if (s.quiet) {
    std::fprintf(stderr, "Found %lu variables.\n", static_cast<unsigned long>(cols));
    if (s.add_line_count) {
      std::fprintf(stderr, "Found %lu rows.\n", static_cast<unsigned long>(frame.counted_rows()));
    }
  }
  const std::uint32_t rows = check_rows(frame.input(), cols);
  frame.rewind(true);

  const std::uint32_t n = training_rows(g_split.amount, rows);
  const auto report = [](const char* before, std::uint32_t count, const char* after) {
    std::fprintf(stderr, "%s%lu%s", before, static_cast<unsigned long>(count), after);
  };
  if (s.quiet) {
    if (g_split.random) {
      report("", n, " train & ");
      report("", rows - n, " test");
    } else {
      report("at row ", n, "");
    }
  } else {
    std::fprintf(stderr, "Variables:%lu\nRows:%lu\n", static_cast<unsigned long>(cols),
                 static_cast<unsigned long>(rows));
    if (g_split.random) {
      report("Splits the file with ", n, " rows in the trainingfile\n");
      report("and ", rows - n, " rows in the testfile.\n");
    } else {
      report("Splits file after row ", n, ".\n");
    }
  }

  std::vector<std::uint8_t> training = vector_or_die<std::uint8_t>(__FILE_NAME__, __LINE__, rows);
  if (g_split.random) {
    for (std::uint32_t i = 0; i < n; ++i) {
      std::uint32_t row = draw_row(rows);
      while (training[row] != 0) row = draw_row(rows);
      training[row] = 1;
    }
  } else {
    std::fill(training.begin(), training.begin() + n, std::uint8_t{1});
  }

  const std::string training_name = split_name(job.in, ".trn");
  const std::string test_name = split_name(job.in, ".tst");
  if (!s.quiet) {
    std::fprintf(stderr, "Infile\t\t: %s\trows %lu\n", job.in.c_str(),
                 static_cast<unsigned long>(rows));
    std::fprintf(stderr, "Training file\t: %s\trows %lu\n", training_name.c_str(),
                 static_cast<unsigned long>(n));
    std::fprintf(stderr, "Test file\t: %s\trows %lu\n", test_name.c_str(),
                 static_cast<unsigned long>(rows - n));
    std::fprintf(stderr, "Found %lu variables.\n\n", static_cast<unsigned long>(cols));
  }

  // Each file's header counts its written columns and its own rows.
  const std::uint32_t written = count_unselected(frame.flags(), cols);
  frame.refuse_inputs_as_outputs({training_name, test_name});
  Output& train = frame.open_output(training_name, Shape{written, n});
  Output& test = frame.open_output(test_name, Shape{written, rows - n});
  // Rows beyond the checked ones (after a line without a readable number) are
  // not part of the split.
  std::uint32_t row = 0;
  for (std::span<double> values : frame.rows()) {
    if (row == rows) break;
    (training[row] != 0 ? train : test).write(values, frame.flags());
    ++row;
  }
  return frame.finish(rows);
}

// "#[p][s]": a number of rows, or with p (or %) a percentage; with s at random.
void parse_split(const char* arg, OpChoice& choice) {
  choice.choose(OpCode::kSplit);
  g_split = Split{};
  double& amount = g_split.amount;
  if (arg == nullptr) return;
  if (arg[std::strspn(arg, "0123456789.pP%sS")] != '\0') {
    KEST_FATAL("invalid characters in option argument for option -d: %s.\n", arg);
  }
  // "%16lf": only digits and '.' can form the number here.
  char number[17];
  bounded_copy(number, arg, sizeof number);
  const char* cursor = number;
  int percent = 0;
  if (!scan_double(cursor, amount)) {
    percent = 1;
    amount = kDefaultAmount;
  }
  if (std::strpbrk(arg, "pP%") != nullptr) ++percent;
  g_split.random = std::strpbrk(arg, "sS") != nullptr;
  if (percent != 0) {
    if (!(amount > 0.0 && amount < 100.0)) {
      KEST_FATAL("Percent must be between 0%% and 100%% (%f)", amount);
    }
    g_split.percent = true;
  }
}

constexpr OptionSpec kOptions[] = {
    {"split", 'd', OptionArg::kRequired, OptionArg::kOptional, parse_split},
};
constexpr Variant kVariants[] = {
    {OpCode::kSplit, false, false, "", "Kest: Split "},
};

}  // namespace

extern const Operation kSplitfil = {"splitfil", kOptions, kVariants, run, [] { g_split = {}; }};

}  // namespace kest
