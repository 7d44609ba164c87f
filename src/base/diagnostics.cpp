#include "base/diagnostics.h"

#include <algorithm>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/settings.h"

namespace kest {

FatalError::FatalError(std::string module, int line, std::string message, bool log_line)
    : std::runtime_error(message),
      module_(std::move(module)),
      line_(line),
      message_(std::move(message)),
      log_line_(log_line) {}

namespace {

std::string vformat(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length), '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, args);
  return text;
}

}  // namespace

std::string format_text(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = vformat(format, args);
  va_end(args);
  return text;
}

void fatal_error(const char* module, int line, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string message = vformat(format, args);
  va_end(args);
  throw FatalError(module, line, std::move(message));
}

void fatal_log_line(const char* module, int line, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string message = vformat(format, args);
  va_end(args);
  throw FatalError(module, line, std::move(message), true);
}

void exit_process(int status) {
  throw ExitRequest{status};
}

void end_by_broken_pipe() {
  std::signal(SIGPIPE, SIG_DFL);
  std::raise(SIGPIPE);
  std::_Exit(141);  // only if the signal is blocked
}

namespace {
std::size_t g_status_length = 0;  // characters of the status line shown, 0 when none
}  // namespace

void show_status_line(const char* text) {
  const std::size_t length = std::strlen(text);
  std::fprintf(stderr, "\r%s", text);
  // A shorter text leaves no rest of the longer one.
  for (std::size_t i = length; i < g_status_length; ++i) std::fputc(' ', stderr);
  std::fputc('\r', stderr);
  std::fflush(stderr);
  g_status_length = std::max(length, g_status_length);
}

void clear_status_line() {
  if (g_status_length == 0) return;
  std::fputc('\r', stderr);
  for (std::size_t i = 0; i < g_status_length; ++i) std::fputc(' ', stderr);
  std::fputc('\r', stderr);
  std::fflush(stderr);
  g_status_length = 0;
}

void warning_message(const char* format, ...) {
  clear_status_line();
  std::fputs("\nWarning: ", stderr);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputs("\nContinue [y/N]:", stderr);
  std::fflush(stderr);
}

void warning_line(const char* format, ...) {
  clear_status_line();
  // A quiet run keeps its one summary line open until the run ends: the
  // warning starts a line of its own there, and leaves it open in turn.
  const bool quiet = settings().quiet;
  std::fputs(quiet ? "\nWarning: " : "Warning: ", stderr);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  if (!quiet) std::fputc('\n', stderr);
  std::fflush(stderr);
}

void info_message(const char* format, ...) {
  clear_status_line();
  std::fputs("\nMessage: ", stderr);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fflush(stderr);
}

int report_fatal(const FatalError& error) {
  clear_status_line();
  if (error.log_line()) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::fprintf(stderr, "%s:%d:: error: %s", error.module().c_str(), error.line(),
                 error.message().c_str());
    std::fflush(stderr);
    return 1;
  }
  std::fprintf(stderr, "\nError in File:%s(%d):\n", error.module().c_str(), error.line());
  std::fputs(error.message().c_str(), stderr);
  if (settings().wait_on_error) {
    std::fputs("\nPress enter to continue\n", stderr);
    std::fflush(stderr);
    std::getchar();
    std::getchar();
  }
  std::fflush(stderr);
  return 1;
}

std::size_t failed_allocation_bytes(const std::bad_alloc& failure) noexcept {
  const auto* sized = dynamic_cast<const AllocationFailure*>(&failure);
  return sized != nullptr ? sized->bytes() : SIZE_MAX;
}

FatalError allocation_error(const char* module, int line, std::size_t bytes) {
  return FatalError(
      module, line,
      format_text("Could not allocate memory %lu bytes\n", static_cast<unsigned long>(bytes)));
}

std::unique_ptr<char[]> buffer_or_die(const char* module, int line, std::size_t bytes) {
  char* raw = new (std::nothrow) char[bytes == 0 ? 1 : bytes];
  if (raw == nullptr) {
    fatal_error(module, line, "Could not allocate memory %lu bytes\n",
                static_cast<unsigned long>(bytes));
  }
  return std::unique_ptr<char[]>(raw);
}

namespace detail {
void matrix_exhausted(int line, std::size_t bytes) {
  fatal_error("diagnostics.h", line, "Could not allocate memory %lu bytes\n",
              static_cast<unsigned long>(bytes));
}
}  // namespace detail

}  // namespace kest
