#include "driver/kest.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "base/log.h"
#include "base/settings.h"
#include "driver/argfiles.h"
#include "driver/help.h"
#include "driver/options.h"
#include "ops/frame.h"
#include "ops/registry.h"

namespace kest {

namespace {

void read_environment() {
  const char* value = std::getenv("KEST");
  if (value == nullptr) return;
  const std::string words = value;
  std::size_t start = 0;
  while (start <= words.size()) {
    std::size_t end = words.find(':', start);
    if (end == std::string::npos) end = words.size();
    const std::string word = words.substr(start, end - start);
    if (word == "quiet") mutable_settings().quiet = true;
    if (word == "debug") mutable_settings().debug = true;
    start = end + 1;
  }
}

// The identity of an existing file ("-" is standard input).
std::optional<std::pair<dev_t, ino_t>> file_identity(const std::string& name) {
  struct stat info {};
  const int status = name == "-" ? ::fstat(0, &info) : ::stat(name.c_str(), &info);
  if (status != 0) return std::nullopt;
  return std::make_pair(info.st_dev, info.st_ino);
}

// True when two names reach the same file: the same existing file, or the same
// path once made absolute and normal (for files that do not exist yet).
bool same_file(const std::string& a, const std::string& b) {
  const auto first = file_identity(a);
  const auto second = file_identity(b);
  if (first && second) return *first == *second;
  if (a == "-" || b == "-") return false;
  std::error_code error;
  auto normal = [&error](const std::string& name) {
    return std::filesystem::weakly_canonical(std::filesystem::absolute(name, error), error)
        .lexically_normal();
  };
  const auto path_a = normal(a);
  const auto path_b = normal(b);
  if (error) return a == b;
  return path_a == path_b;
}

// In wildcard mode every output name is derived before anything is opened; a
// derived name that reaches an input, or another input's output, is refused.
void refuse_clashing_outputs(const std::vector<std::string>& inputs, const std::string& extension) {
  std::vector<std::string> outputs;
  for (const std::string& in : inputs) outputs.push_back(wildcard_output_name(in, extension));
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    for (const std::string& in : inputs) {
      if (same_file(outputs[i], in)) {
        KEST_FATAL("Output %s of %s would overwrite the input %s\n", outputs[i].c_str(),
                   inputs[i].c_str(), in.c_str());
      }
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (same_file(outputs[i], outputs[j])) {
        KEST_FATAL("Inputs %s and %s would both be written to %s\n", inputs[j].c_str(),
                   inputs[i].c_str(), outputs[i].c_str());
      }
    }
  }
}

// The log entry, unless the log file is one of the files the run reads.
void log_run(const std::vector<std::string>& args, const std::vector<std::string>& inputs) {
  constexpr char kLogFile[] = "logfile";
  if (const auto log = file_identity(kLogFile)) {
    for (const std::string& in : inputs) {
      if (file_identity(in) == log) {
        std::fputs("No logfile entry\n", stderr);
        return;
      }
    }
  }
  log_entry(kLogFile, args);
}

void print_report(Report report, const std::string& in, const OpResult& result) {
  switch (report) {
    case Report::kCheckTable:
      std::fprintf(stdout, "%-31.31s %-8lu %lu\n", in.c_str(),
                   static_cast<unsigned long>(result.cols()),
                   static_cast<unsigned long>(result.rows()));
      break;
    case Report::kRowCount:
      std::fprintf(stdout, "%lu\n", static_cast<unsigned long>(result.rows()));
      break;
    case Report::kColumnCount:
      std::fprintf(stdout, "%lu\n", static_cast<unsigned long>(result.cols()));
      break;
    case Report::kNothing:
      break;
  }
}

char g_stderr_buffer[512];
char g_stdout_buffer[65536];

}  // namespace

std::string wildcard_output_name(const std::string& input, const std::string& extension) {
  const std::size_t slash = input.find_last_of('/');
  const std::size_t dot = input.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    return input.substr(0, dot) + extension;
  }
  return input + extension;
}

int run(int argc, char** argv) {
  Settings& s = mutable_settings();
  std::setlocale(LC_TIME, "");
  s.extension = ".out";
  read_environment();

  std::vector<std::string> args;
  std::vector<std::string> argument_files;
  if (auto expanded = expand_arguments(argc, argv, &argument_files)) {
    args = std::move(*expanded);
  } else {
    args.assign(argv, argv + argc);
  }
  std::vector<char*> vector;
  vector.reserve(args.size() + 1);
  for (std::string& arg : args) vector.push_back(arg.data());
  vector.push_back(nullptr);
  const int count = static_cast<int>(args.size());

  s.inverse = false;
  std::setvbuf(stderr, g_stderr_buffer, _IOLBF, sizeof g_stderr_buffer);
  std::setvbuf(stdout, g_stdout_buffer, _IOFBF, sizeof g_stdout_buffer);
  OptionState state;
  if (count > 0) state.program = vector[0];
  if (count <= 1) usage(state.program);

  errno = 0;
  const std::vector<std::string> logged = args;  // the command line as given
  const int first = parse_options(count, vector.data(), state);
  if (state.operation == OpCode::kNone) usage(state.program);
  const std::vector<std::string> positional(vector.begin() + first, vector.begin() + count);

  // The files the run reads: every input in wildcard mode, else the input and the
  // selection file.
  std::vector<std::string> inputs = positional;
  if (!s.wildcard && inputs.size() > 1) inputs.erase(inputs.begin() + 1);
  if (!s.wildcard && inputs.size() > 2) inputs.resize(2);
  inputs.insert(inputs.end(), argument_files.begin(), argument_files.end());
  log_run(logged, inputs);
  if (positional.empty()) KEST_FATAL("No source filename\n");

  const Operation& operation = *find_operation(state.operation);
  const Variant& variant = *find_variant(state.operation);
  if (s.wildcard) refuse_clashing_outputs(positional, s.extension);

  for (std::size_t next = 0; next < positional.size();) {
    Job job{state.operation, positional[next++], std::nullopt, SelectionSource::none(),
            argument_files};
    if (s.wildcard) {
      job.out = wildcard_output_name(job.in, s.extension);
    } else {
      if (next < positional.size()) {
        job.out = positional[next++];
      } else if (state.need_output || variant.needs_output) {
        KEST_FATAL("No destination filename");
      }
      if (job.out && next < positional.size()) {
        job.selection = SelectionSource::from_file(positional[next++]);
      } else if (state.need_selection && s.selection_strings.empty()) {
        KEST_FATAL("No kestfile name or -e option");
      }
    }
    if (variant.report == Report::kCheckTable && s.file_number == 1) {
      std::fputs("File:                           Cols:    Rows:\n", stdout);
    }
    const OpResult result = operation.run(job);
    print_report(variant.report, job.in, result);
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
  } catch (const std::bad_alloc& failure) {
    // An allocation without a check of its own: the size it asked for is told.
    status =
        report_fatal(allocation_error(__FILE_NAME__, __LINE__, failed_allocation_bytes(failure)));
  }
  // A failed write to standard output that was already reported is not reported again.
  if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && status == 0) {
    if (errno == EPIPE) end_by_broken_pipe();
    status = report_fatal(
        FatalError(__FILE_NAME__, __LINE__, format_text("Could not write file %s\n", "stdout")));
  }
  std::fflush(stderr);
  return status;
}

}  // namespace kest
