#include "driver/help.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/diagnostics.h"
#include "base/settings.h"
#include "base/text.h"

extern char** environ;

namespace kest {

namespace {

#ifndef KEST_RELEASE
#define KEST_RELEASE "unreleased"
#endif

constexpr char kVersionLine[] =
    "kest Version " KEST_RELEASE " " __DATE__ " " __TIME__ " by the kest developers";
constexpr char kNoticeLine[] =
    "Copyright (C) 2026 the kest developers\n"
    "This is free software; see the source for copying conditions.";
constexpr char kContactLine[] = "Send bug reports and comments to the kest issue tracker.";

/// The most new columns an --eval program may add with n[#].
constexpr int kEvalNewColumnLimit = 100;

// The help body. Its substitutions, in order: the program's base name, the
// default wildcard extension, the default fuzz, the n[#] limit and the default
// buffer size.
constexpr char kHelpBody[] = R"(
Usage: %s -options infile outfile [kestfile] [-e "string"]
infile               - original file
outfile              - file with the result
kestfile             - file with variables wich will be affected

-e "string"          - string with variables which will be affected.
                       i.e: "1,3,5-7,10:5:-1" will select 1,3,5,6,7,10,15,20,...
                       every 5:th until end of file/row
-k, --remove--columns, --columns
                     - removes columns given in the -e option
    --keep-columns   - keeps columns given in the -e option, same as -k -i
-r, --remove-rows, rows
                     - removes rows given in the -e option
    --keep-rows      - keeps rows given in the -e option, same as -r -i
-i, --inverse        - invert the meaning of -k & -r
-t, --transpose      - transpose infile. Rows becomes columns & vice verse
-c, --check          - checks the file, reports columns & rows
    --get-rows       - checks the file, reports nr of rows
    --get-cols       - checks the file, reports nr of columns
-d, --split=#[p][s]  - split the file at row #.
                       if p use percent instead rows
                       if s use random split
-z, --delimiter=c    - changes character between numbers
                       -z\t gives tab between numbers
                       "-z " gives space between numbers
                       -zx   gives x between numbers


-n, --noise[=level]  - add noise absolute +-level to columns given
                       in the -e option
-q, --qsort=c1,c2,...- makes a qsort of column c1, if any column is negative
                       do a descending sort instead of ascending
-a, --keep-comments  - keeps comments when possible
-b, --skip-columns=# - skips # columns in begining of line
    --skip-rows=#    - skips # rows in begining of file
-m, --multiply=factor- multiplies selected columns by factor
    --divide=factor  - divide selected columns by factor
-p, --add=term       - adds selected columns with term
-f, --filter=#       - filters columns selected with -e
                       # number of filtertaps
    --sinc-lp=fc,M   - windowed-sinc lowpass filter @ fc with M filter points(even)
                       on selected columns
    --sinc-hp=fc,M   - windowed-sinc highpass filter @ fc with M filter points(even)
                       on selected columns
    --sinc-bp=fcl,fch,M   - windowed-sinc bandpass filter @ fcl-fch with M filter points(even)
                       on selected columns
    --sinc-bs=fcl,fch,M   - windowed-sinc bandstop filter @ fcl-fch with M filter points(even)
                       on selected columns
-u, --medianfilter=# - filters columns selected with -e
                       takes median of # cells before and after current value
--running-avg=#,mode - the running average applied to columns selected with -e
                       mode:
                        0 Prior moving average (PMA). Prepend data with zeros.
                        1 PMA. Reduced samples for the first # lines.
                        2 PMA. Remove the first #-1 rows of unselected columns. (default)
                        3 Central moving average (CMA). Average of n-floor(#/2) to n+floor(#/2).
-j, --shift=#        - shifts columns selected with -e up # rows
-w, --wildcard[=ext] - use wildcards in filenames and replace/add .ext
                       to filenames (default ext: %s)
-x, --xtra=#         - extra precision in output for col # (-1 all cols)
-y, --enumerate[=c]  - add linenumber column and optional linecount
--keep[lt|leq|gt|geq|eq|neq]=level
--remove[lt|leq|gt|geq|eq|neq]=level
                     - Keep/remove rows with columns <, <=, >, >=, = or != to
                       level for columns selected with -e. (See also --fuzz)
--range-keep=lower,upper
--range-remove=lower,upper
                     - Keep/remove values in the range [lower, upper)
                       for columns selected with -e. (See also --fuzz)
                       lower is inclusiv and upper is exclusive
--fuzz=epsilon       - Make the comparisons in --keep/remove a bit fuzzy
                       adds +/-epsilon to level (default: %g)
--math=func          - apply func to columns selected with -e, where
                       func is one of:
                           fabs, cos, cosh, sin, sinh, log, ln, log10, log2,
                           acos, asin, tan, atan, ceil, floor, sqrt, sqrt3,
                           x2, x3, inv, exp, pow2, pow10
--special-log        - replace logX & ln of negative numbers with log(1e-100).
                       (Only applicable to --math).
--eval="expr"        - evaluate expr where for example:
                           "r[1] = c[1] + c[2]"
                       will result in col 1 being replaced with sum of col 1
                       & col 2. Multiple expressions are separated by ';'.
                       There are also globals g[#] that keep their value
                       between lines.  All other variables are
                       reset between lines.  New columns can be added by
                       assigning to n[#] (# max %d). c[#] are treated
                       as constants.
                       Normal functions are available. Some constants are
                       also available. E.g. _pi.
--eval-prolog="expr" - evaluate expr before the first row
--eval-epilog="expr" - evaluate expr after the last row & print an extra row
--eval-examples      - display additional examples for eval.
--eval-operators     - display available operators.
--eval-functions     - display available functions.
--eval-constants     - display available constants.
--sum-vertical       - sums each column except selected rows and outputs an
                       extra row with the sum.
--sum-horizontal     - sums each row except selected columns and outputs an
                       extra column with the sum.
--nop                - do nothing except --output-*.
--plot               - draw the selected columns as an SVG line chart
                       (--plot-x=# against column #, --plot-size=WxH)
--plot-title="text"  - the chart's title (default: the input file's name)
--plot-xlabel="text" - the x axis label (default: row, or the x column's name)
--plot-ylabel="text" - the y axis label (default: none)
--plot-log=x|y|xy    - logarithmic x axis, y axis or both
--plot-style=s       - lines, points or both (default: lines)
--output-c           - output is formated like a C/C++ 2D array
--output-csv         - output is formated like a comma separated values
                       (CSV-file)
--output-latex       - output is formated like a LaTeX tabular environment
--output-standard    - output is normal text data-file
--shuffle            - shuffle columns selected with -e 
--diff               - calculates difference between current & previous row
                       for selected columns (current - previous)
--cut-square=y1-y2   - select a range of rows to apply --cut-square together
                       with columns selected with -e
--no-wait-on-error   - don't wait for keypress to continue
--maxbuff=#          - make buffers # bytes instead of %u bytes.
                       Good when you work with unusual files with
                       long (>200k) lines
--append             - append to outfile instead of replace
--input-delimiter=c  - allow 'c' as delimiter
--flip-ud            - last row becomes first & vice versa
--flip-lr            - last column becomes first & vice versa
--quiet              - makes the program less verbose
-?                   - shows this text
-v, --version        - show version of program

)";

// The program's base name: no drive, directory or extension, whatever its length.
std::string base_name(std::string_view path) {
  path.remove_prefix(path.find_last_of("\\/:") + 1);  // npos + 1 is 0: no separator
  return std::string(path.substr(0, path.rfind('.')));
}

// The whole help: the version lines, the body, the version lines again and the
// contact line. The body shows the values a run starts with (the help of a run
// that asked for it), or this run's own with --more.
std::string help_text(const char* program_path) {
  const std::string name = base_name(program_path);
  const Settings fresh;
  const Settings& shown = settings().more ? settings() : fresh;
  auto body = [&](char* out, std::size_t size) {
    return std::snprintf(out, size, kHelpBody, name.c_str(), shown.extension.c_str(), shown.fuzz,
                         kEvalNewColumnLimit, kDefaultMaxbuff);
  };
  std::string text = std::string(kVersionLine) + "\n" + kNoticeLine + "\n";
  const std::size_t head = text.size();
  text.resize(head + static_cast<std::size_t>(body(nullptr, 0)) + 1);
  text.resize(head + static_cast<std::size_t>(body(text.data() + head, text.size() - head)));
  return text + kVersionLine + "\n" + kNoticeLine + "\n" + kContactLine + "\n";
}

// The pager's words: `pager` split at blanks, or "more" when it holds none.
std::vector<std::string> pager_words(const char* pager) {
  std::vector<std::string> words;
  std::string word;
  for (const char* c = pager != nullptr ? pager : "";; ++c) {
    if (*c == ' ' || *c == '\t' || *c == '\0') {
      if (!word.empty()) words.push_back(word);
      word.clear();
      if (*c == '\0') break;
    } else {
      word += *c;
    }
  }
  if (words.empty()) words.emplace_back("more");
  return words;
}

// Waits for a child and gives its exit status; a child that was killed (or that
// cannot be waited for) counts as a failure, 1.
int wait_status(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) == -1) {
    if (errno != EINTR) return 1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// Writes `text` into the pipe to the pager. A pager that quits early (the reader
// is done) closes the pipe: the rest is dropped, without the signal that would
// end the run.
void feed_pager(int fd, const std::string& text) {
  struct sigaction ignore {
  }, saved{};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, &saved);
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  sigaction(SIGPIPE, &saved, nullptr);
}

// Shows `text` through the pager, run from `words` with posix_spawnp (never
// through a command interpreter) and reading a pipe. Gives the pager's exit
// status, or -1 when it cannot be started.
int run_pager(const std::vector<std::string>& words, const std::string& text) {
  int pipe_ends[2];
  if (pipe2(pipe_ends, O_CLOEXEC) != 0) return -1;
  const int read_end = pipe_ends[0];
  const int write_end = pipe_ends[1];
  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, read_end, STDIN_FILENO);
  pid_t pager = 0;
  const int error = posix_spawnp(&pager, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(read_end);
  if (error != 0) {
    close(write_end);
    return -1;
  }
  feed_pager(write_end, text);
  close(write_end);  // the pager sees the end of its input
  return wait_status(pager);
}

}  // namespace

int show_help(const char* program_path, bool terminal, const char* pager) {
  const std::string text = help_text(program_path);
  if (terminal && !settings().more) {
    std::fflush(stdout);
    std::fflush(stderr);
    const int status = run_pager(pager_words(pager), text);
    if (status >= 0) return status;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  return 0;
}

const char* version_line() {
  return kVersionLine;
}
const char* notice_line() {
  return kNoticeLine;
}
const char* contact_line() {
  return kContactLine;
}

void usage(const char* program_path) {
  exit_process(show_help(program_path, isatty(STDOUT_FILENO) == 1, std::getenv("PAGER")));
}

void usage_after_error(const char* program_path) {
  const std::string text = help_text(program_path);
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
  exit_process(1);
}

void print_version() {
  std::printf("%s\n", kVersionLine);
  std::printf("%s\n", kNoticeLine);
  std::printf("%s\n", kContactLine);
  std::fflush(stdout);
  exit_process(0);
}

void print_closing_banner() {
  if (settings().quiet) {
    std::fputs("\n", stderr);
  } else {
    std::fprintf(stderr, "\n%s\n", kVersionLine);
    std::fprintf(stderr, "%s\n", kNoticeLine);
  }
}

}  // namespace kest
