#include "driver/help.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

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

// The program's base name: no drive, directory or extension.
void base_name(const char* program_path, char (&name)[256]) {
  int result = split_path(program_path, nullptr, 0, nullptr, 0, name, sizeof name, nullptr, 0);
  if (result != 0) std::fprintf(stderr, "usage: %s\n", std::strerror(result));
}

void print_help(const char* program_path) {
  char name[256] = "";
  base_name(program_path, name);
  std::printf("%s\n", kVersionLine);
  std::printf("%s\n", kNoticeLine);
  std::printf(
      "\n"
      "Usage: %s -options infile outfile [kestfile] [-e \"string\"]\n",
      name);
  std::fputs("infile               - original file\n", stdout);
  std::fputs("outfile              - file with the result\n", stdout);
  std::fputs("kestfile             - file with variables wich will be affected\n", stdout);
  std::fputs("\n", stdout);
  std::fputs("-e \"string\"          - string with variables which will be affected.\n", stdout);
  std::fputs("                       i.e: \"1,3,5-7,10:5:-1\" will select 1,3,5,6,7,10,15,20,...\n",
             stdout);
  std::fputs("                       every 5:th until end of file/row\n", stdout);
  std::fputs("-k, --remove--columns, --columns\n", stdout);
  std::fputs("                     - removes columns given in the -e option\n", stdout);
  std::fputs("    --keep-columns   - keeps columns given in the -e option, same as -k -i\n",
             stdout);
  std::fputs("-r, --remove-rows, rows\n", stdout);
  std::fputs("                     - removes rows given in the -e option\n", stdout);
  std::fputs("    --keep-rows      - keeps rows given in the -e option, same as -r -i\n", stdout);
  std::fputs("-i, --inverse        - invert the meaning of -k & -r\n", stdout);
  std::fputs("-t, --transpose      - transpose infile. Rows becomes columns & vice verse\n",
             stdout);
  std::fputs("-c, --check          - checks the file, reports columns & rows\n", stdout);
  std::fputs("    --get-rows       - checks the file, reports nr of rows\n", stdout);
  std::fputs("    --get-cols       - checks the file, reports nr of columns\n", stdout);
  std::fputs("-d, --split=#[p][s]  - split the file at row #.\n", stdout);
  std::fputs("                       if p use percent instead rows\n", stdout);
  std::fputs("                       if s use random split\n", stdout);
  std::fputs("-z, --delimiter=c    - changes character between numbers\n", stdout);
  std::fputs("                       -z\\t gives tab between numbers\n", stdout);
  std::fputs("                       \"-z \" gives space between numbers\n", stdout);
  std::fputs(
      "                       -zx   gives x between numbers\n"
      "\n",
      stdout);
  std::fputs("\n", stdout);
  std::fputs(
      "-n, --noise[=level]  - add noise absolute +-level to columns given\n"
      "                       in the -e option\n",
      stdout);
  std::fputs(
      "-q, --qsort=c1,c2,...- makes a qsort of column c1, if any column is negative\n"
      "                       do a descending sort instead of ascending\n",
      stdout);
  std::fputs("-a, --keep-comments  - keeps comments when possible\n", stdout);
  std::fputs("-b, --skip-columns=# - skips # columns in begining of line\n", stdout);
  std::fputs("    --skip-rows=#    - skips # rows in begining of file\n", stdout);
  std::fputs("-m, --multiply=factor- multiplies selected columns by factor\n", stdout);
  std::fputs("    --divide=factor  - divide selected columns by factor\n", stdout);
  std::fputs("-p, --add=term       - adds selected columns with term\n", stdout);
  std::fputs(
      "-f, --filter=#       - filters columns selected with -e\n"
      "                       # number of filtertaps\n",
      stdout);
  std::fputs(
      "    --sinc-lp=fc,M   - windowed-sinc lowpass filter @ fc with M filter points(even)\n"
      "                       on selected columns\n",
      stdout);
  std::fputs(
      "    --sinc-hp=fc,M   - windowed-sinc highpass filter @ fc with M filter points(even)\n"
      "                       on selected columns\n",
      stdout);
  std::fputs(
      "    --sinc-bp=fcl,fch,M   - windowed-sinc bandpass filter @ fcl-fch with M"
      " filter points(even)\n"
      "                       on selected columns\n",
      stdout);
  std::fputs(
      "    --sinc-bs=fcl,fch,M   - windowed-sinc bandstop filter @ fcl-fch with M"
      " filter points(even)\n"
      "                       on selected columns\n",
      stdout);
  std::fputs(
      "-u, --medianfilter=# - filters columns selected with -e\n"
      "                       takes median of # cells before and after current value\n",
      stdout);
  std::fputs(
      "--running-avg=#,mode - the running average applied to columns selected with -e\n"
      "                       mode:\n"
      "                        0 Prior moving average (PMA). Prepend data with zeros.\n"
      "                        1 PMA. Reduced samples for the first # lines.\n"
      "                        2 PMA. Remove the first #-1 rows of unselected columns. (default)\n"
      "                        3 Central moving average (CMA). Average of n-floor(#/2)"
      " to n+floor(#/2).\n",
      stdout);
  std::fputs("-j, --shift=#        - shifts columns selected with -e up # rows\n", stdout);
  std::printf(
      "-w, --wildcard[=ext] - use wildcards in filenames and replace/add .ext\n"
      "                       to filenames (default ext: %s)\n",
      settings().extension.c_str());
  std::fputs("-x, --xtra=#         - extra precision in output for col # (-1 all cols)\n", stdout);
  std::fputs("-y, --enumerate[=c]  - add linenumber column and optional linecount\n", stdout);
  std::fputs(
      "--keep[lt|leq|gt|geq|eq|neq]=level\n"
      "--remove[lt|leq|gt|geq|eq|neq]=level\n"
      "                     - Keep/remove rows with columns <, <=, >, >=, = or != to\n"
      "                       level for columns selected with -e. (See also --fuzz)\n",
      stdout);
  std::fputs(
      "--range-keep=lower,upper\n"
      "--range-remove=lower,upper\n"
      "                     - Keep/remove values in the range [lower, upper)\n"
      "                       for columns selected with -e. (See also --fuzz)\n"
      "                       lower is inclusiv and upper is exclusive\n",
      stdout);
  std::printf(
      "--fuzz=epsilon       - Make the comparisons in --keep/remove a bit fuzzy\n"
      "                       adds +/-epsilon to level (default: %g)\n",
      settings().fuzz);
  std::fputs(
      "--math=func          - apply func to columns selected with -e, where\n"
      "                       func is one of:\n"
      "                           fabs, cos, cosh, sin, sinh, log, ln, log10, log2,\n"
      "                           acos, asin, tan, atan, ceil, floor, sqrt, sqrt3,\n"
      "                           x2, x3, inv, exp, pow2, pow10\n",
      stdout);
  std::fputs(
      "--special-log        - replace logX & ln of negative numbers with log(1e-100).\n"
      "                       (Only applicable to --math).\n",
      stdout);
  std::fputs(
      "--eval=\"expr\"        - evaluate expr where for example:\n"
      "                           \"r[1] = c[1] + c[2]\"\n"
      "                       will result in col 1 being replaced with sum of col 1\n"
      "                       & col 2. Multiple expressions are separated by ';'.\n"
      "                       There are also globals g[#] that keep their value\n"
      "                       between lines.  All other variables are\n",
      stdout);
  std::printf(
      "                       reset between lines.  New columns can be added by\n"
      "                       assigning to n[#] (# max %d). c[#] are treated\n"
      "                       as constants.\n"
      "                       Normal functions are available. Some constants are\n"
      "                       also available. E.g. _pi.\n",
      kEvalNewColumnLimit);
  std::fputs("--eval-prolog=\"expr\" - evaluate expr before the first row\n", stdout);
  std::fputs("--eval-epilog=\"expr\" - evaluate expr after the last row & print an extra row\n",
             stdout);
  std::fputs("--eval-examples      - display additional examples for eval.\n", stdout);
  std::fputs("--eval-operators     - display available operators.\n", stdout);
  std::fputs("--eval-functions     - display available functions.\n", stdout);
  std::fputs("--eval-constants     - display available constants.\n", stdout);
  std::fputs(
      "--sum-vertical       - sums each column except selected rows and outputs an\n"
      "                       extra row with the sum.\n",
      stdout);
  std::fputs(
      "--sum-horizontal     - sums each row except selected columns and outputs an\n"
      "                       extra column with the sum.\n",
      stdout);
  std::fputs("--nop                - do nothing except --output-*.\n", stdout);
  std::fputs("--output-c           - output is formated like a C/C++ 2D array\n", stdout);
  std::fputs(
      "--output-csv         - output is formated like a comma separated values\n"
      "                       (CSV-file)\n",
      stdout);
  std::fputs("--output-latex       - output is formated like a LaTeX tabular environment\n",
             stdout);
  std::fputs("--output-standard    - output is normal text data-file\n", stdout);
  std::fputs("--shuffle            - shuffle columns selected with -e \n", stdout);
  std::fputs(
      "--diff               - calculates difference between current & previous row\n"
      "                       for selected columns (current - previous)\n",
      stdout);
  std::fputs(
      "--cut-square=y1-y2   - select a range of rows to apply --cut-square together\n"
      "                       with columns selected with -e\n",
      stdout);
  std::fputs("--no-wait-on-error   - don't wait for keypress to continue\n", stdout);
  std::printf(
      "--maxbuff=#          - make buffers # bytes instead of %u bytes.\n"
      "                       Good when you work with unusual files with\n"
      "                       long (>200k) lines\n",
      kDefaultMaxbuff);
  std::fputs("--append             - append to outfile instead of replace\n", stdout);
  std::fputs("--input-delimiter=c  - allow 'c' as delimiter\n", stdout);
  std::fputs("--flip-ud            - last row becomes first & vice versa\n", stdout);
  std::fputs("--flip-lr            - last column becomes first & vice versa\n", stdout);
  std::fputs("--quiet              - makes the program less verbose\n", stdout);
  std::fputs("-?                   - shows this text\n", stdout);
  std::fputs("-v, --version        - show version of program\n", stdout);
  std::fputs("\n", stdout);
  std::printf("%s\n", kVersionLine);
  std::printf("%s\n", kNoticeLine);
  std::printf("%s\n", kContactLine);
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
