#include "driver/kest.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "driver/argfiles.h"
#include "driver/help.h"
#include "driver/options.h"
#include "base/settings.h"
#include "base/diagnostics.h"
#include "io/frame.h"
#include "io/nop.h"
#include "ops/checkfil.h"
#include "base/log.h"

namespace kest {

namespace {

/// Everything an operation may take from the driver for one input file.
struct OpCall {
  const std::string& in;
  const std::optional<std::string>& out;
  const SelectionSource& selection;
  const DriverParams& params;
};

using OpEntry = OpResult (*)(const OpCall&);

struct Operation {
  std::int32_t code;
  OpEntry run;
};

// The operations by code. A code without a row here is dispatched to nothing.
constexpr Operation kOperations[] = {
    {3, [](const OpCall& c) { return check(c.in); }},
    {28, [](const OpCall& c) { return nop(c.in, c.out, c.selection); }},
    {31, [](const OpCall& c) { return check(c.in); }},
    {32, [](const OpCall& c) { return check(c.in); }},
};

constexpr std::int32_t kCheck = 3;
constexpr std::int32_t kSplit = 4;
constexpr std::int32_t kNoOperation = 8;
constexpr std::int32_t kGetRows = 31;
constexpr std::int32_t kGetCols = 32;

const Operation* find_operation(std::int32_t code) {
  for (const Operation& op : kOperations) {
    if (op.code == code) return &op;
  }
  return nullptr;
}

/// Operations that write no rows and so run without an output name.
bool writes_no_rows(std::int32_t code) {
  return code == kCheck || code == kSplit || code == kNoOperation || code == kGetRows ||
         code == kGetCols;
}

void read_environment() {
  const char* value = std::getenv("KEST");
  if (value == nullptr) return;
  std::string words = value;
  std::size_t start = 0;
  while (start <= words.size()) {
    std::size_t end = words.find(':', start);
    if (end == std::string::npos) end = words.size();
    std::string word = words.substr(start, end - start);
    if (word == "quiet") mutable_settings().quiet = true;
    if (word == "debug") mutable_settings().debug = true;
    start = end + 1;
  }
}

char g_stderr_buffer[512];
char g_stdout_buffer[65536];

}  // namespace

std::string wildcard_output_name(const std::string& input, const std::string& extension) {
  std::size_t slash = input.find_last_of('/');
  std::size_t dot = input.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    return input.substr(0, dot) + extension;
  }
  return input + extension;
}

int run(int argc, char** argv) {
  DriverParams params;
  std::setlocale(LC_TIME, "");
  mutable_settings().extension = ".out";
  read_environment();

  std::vector<std::string> args;
  if (auto expanded = expand_arguments(argc, argv)) {
    args = std::move(*expanded);
  } else {
    args.assign(argv, argv + argc);
  }
  std::vector<char*> vector;
  vector.reserve(args.size() + 1);
  for (std::string& arg : args) vector.push_back(arg.data());
  vector.push_back(nullptr);
  const int count = static_cast<int>(args.size());

  mutable_settings().operation = -1;
  mutable_settings().inverse = false;
  std::setvbuf(stderr, g_stderr_buffer, _IOLBF, sizeof g_stderr_buffer);
  std::setvbuf(stdout, g_stdout_buffer, _IOFBF, sizeof g_stdout_buffer);
  const char* program = count > 0 ? vector[0] : "kest";
  if (count <= 1) usage(program);

  errno = 0;
  const std::vector<std::string> logged = args;  // the command line as given
  int next = parse_options(count, vector.data(), params);
  Settings& s = mutable_settings();
  if (s.operation == -1) usage(program);
  log_entry("logfile", logged);
  if (next >= count) KEST_FATAL("No source filename\n");

  // Reading a file uses up the rows to skip; every input file skips them anew.
  const std::int32_t skip_rows = s.skip_rows;
  while (next < count) {
    s.skip_rows = skip_rows;
    const std::string in = vector[next++];
    std::optional<std::string> out;
    SelectionSource selection = SelectionSource::none();
    if (s.wildcard) {
      out = wildcard_output_name(in, s.extension);
    } else {
      if (next < count) {
        out = vector[next++];
      } else if (params.need_output || !writes_no_rows(s.operation)) {
        KEST_FATAL("No destination filename");
      }
      if (out && next < count) {
        selection = SelectionSource::from_file(vector[next++]);
      } else if (params.need_selection && s.selection_strings.empty()) {
        KEST_FATAL("No kestfile name or -e option");
      }
    }
    if (s.operation == kSplit) out.reset();

    OpResult result;
    if (s.operation == kCheck && s.file_number == 1) {
      std::fputs("File:                           Cols:    Rows:\n", stdout);
    }
    if (const Operation* op = find_operation(s.operation)) {
      result = op->run(OpCall{in, out, selection, params});
    }
    if (s.operation == kCheck) {
      std::fprintf(stdout, "%-31.31s %-8lu %lu\n", in.c_str(),
                   static_cast<unsigned long>(result.cols), static_cast<unsigned long>(result.rows));
    } else if (s.operation == kGetRows) {
      std::fprintf(stdout, "%lu\n", static_cast<unsigned long>(result.rows));
    } else if (s.operation == kGetCols) {
      std::fprintf(stdout, "%lu\n", static_cast<unsigned long>(result.cols));
    }
    std::fflush(stderr);
    std::fflush(stdout);
    if (!s.wildcard) break;
    ++s.file_number;
  }

  print_closing_banner();
  return 0;
}

int main_entry(int argc, char** argv) {
  int status;
  try {
    status = run(argc, argv);
  } catch (const FatalError& error) {
    status = report_fatal(error);
  } catch (const ExitRequest& request) {
    status = request.status;
  } catch (const std::bad_alloc&) {
    status = report_fatal(FatalError(__FILE_NAME__, __LINE__, "Could not allocate memory\n"));
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    status = report_fatal(
        FatalError(__FILE_NAME__, __LINE__, format_text("Could not write file %s\n", "stdout")));
  }
  std::fflush(stderr);
  return status;
}

}  // namespace kest
