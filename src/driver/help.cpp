#include "driver/help.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/settings.h"
#include "base/diagnostics.h"
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
std::string base_name(const char* program_path) {
  std::string name(std::strlen(program_path) + 1, '\0');
  split_path(program_path, nullptr, 0, nullptr, 0, name.data(), name.size(), nullptr, 0);
  name.resize(std::strlen(name.c_str()));
  return name;
}

void print_help(const char* program_path) {
  std::printf("%s\n%s\n", kVersionLine, kNoticeLine);
  std::printf(kHelpBody, base_name(program_path).c_str(), settings().extension.c_str(),
              settings().fuzz, kEvalNewColumnLimit, kDefaultMaxbuff);
  std::printf("%s\n%s\n%s\n", kVersionLine, kNoticeLine, kContactLine);
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

// Runs `program_path --more -?` with its standard output piped into the pager. The
// path goes to the system as it is, never through a command interpreter. Returns
// the pager's exit status, 1 when the pager or the program cannot be started.
int run_through_pager(const char* program_path) {
  int pipe_ends[2];
  if (pipe2(pipe_ends, O_CLOEXEC) != 0) {
    std::perror("usage");
    return 1;
  }
  const int read_end = pipe_ends[0];
  const int write_end = pipe_ends[1];

  posix_spawn_file_actions_t pager_actions;
  posix_spawn_file_actions_init(&pager_actions);
  posix_spawn_file_actions_adddup2(&pager_actions, read_end, STDIN_FILENO);
  char pager_name[] = "more";  // the pager, found through PATH
  char* pager_argv[] = {pager_name, nullptr};
  pid_t pager = 0;
  int error = posix_spawnp(&pager, pager_name, &pager_actions, nullptr, pager_argv, environ);
  posix_spawn_file_actions_destroy(&pager_actions);
  if (error != 0) {
    close(read_end);
    close(write_end);
    return 1;
  }
  close(read_end);

  posix_spawn_file_actions_t program_actions;
  posix_spawn_file_actions_init(&program_actions);
  posix_spawn_file_actions_adddup2(&program_actions, write_end, STDOUT_FILENO);
  char more_option[] = "--more";
  char help_option[] = "-?";
  char* program_argv[] = {const_cast<char*>(program_path), more_option, help_option, nullptr};
  pid_t program = 0;
  // A path without '/' is looked up in PATH, as a command interpreter would.
  error =
      std::strchr(program_path, '/') != nullptr
          ? posix_spawn(&program, program_path, &program_actions, nullptr, program_argv, environ)
          : posix_spawnp(&program, program_path, &program_actions, nullptr, program_argv, environ);
  posix_spawn_file_actions_destroy(&program_actions);
  close(write_end);  // the pager sees the end of its input when the program ends
  if (error != 0) {
    std::fprintf(stderr, "usage: %s: %s\n", program_path, std::strerror(error));
    wait_status(pager);
    return 1;
  }
  wait_status(program);
  return wait_status(pager);
}

// Shows the help text and gives the status the run would end with.
int show_help(const char* program_path) {
  std::fflush(stdout);
  if (settings().more) {
    print_help(program_path);
    std::fflush(stdout);
    return 0;
  }
  std::fflush(stderr);
  return run_through_pager(program_path);
}

}  // namespace

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
  exit_process(show_help(program_path));
}

void usage_after_error(const char* program_path) {
  show_help(program_path);
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
