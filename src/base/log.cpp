#include "base/log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace kest {

namespace {

void log_line(const char* kind, const char* module, int line, const char* format, va_list args) {
  clear_status_line();
  std::fflush(stdout);
  std::fflush(stderr);
  std::fprintf(stderr, "%s:%d:: %s: ", module, line, kind);
  std::vfprintf(stderr, format, args);
  std::fflush(stderr);
}

constexpr int kOpenTries = 11;
constexpr std::size_t kStampSize = 30;

}  // namespace

void debug_message(const char* module, int line, const char* format, ...) {
  va_list args;
  va_start(args, format);
  log_line("debug", module, line, format, args);
  va_end(args);
}

void error_message(const char* module, int line, const char* format, ...) {
  va_list args;
  va_start(args, format);
  log_line("error", module, line, format, args);
  va_end(args);
}

std::string escape_quotes(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size() + 8);
  for (char c : text) {
    if (c == '"' || c == '\\') escaped.push_back('\\');
    escaped.push_back(c);
  }
  return escaped;
}

std::string log_quote(std::string_view arg) {
  std::string out(" ");
  if (arg.find_first_of(" ,*") == std::string_view::npos) {
    out.append(arg);
    return out;
  }
  // "--name=value" keeps the name bare and quotes only the value.
  std::size_t equals = arg.find('=');
  if (arg.starts_with("--") && equals != std::string_view::npos) {
    out.append(arg.substr(0, equals + 1));
    arg.remove_prefix(equals + 1);
  }
  out.push_back('"');
  out.append(escape_quotes(arg));
  out.push_back('"');
  return out;
}

void log_entry(const char* file_name, const std::vector<std::string>& args) {
  // The date and time follow the user's time conventions; the caller's setting
  // of the time category is put back afterwards.
  const char* current = std::setlocale(LC_TIME, nullptr);
  std::string previous = current != nullptr ? current : "C";
  std::setlocale(LC_TIME, "");

  // The entry is best effort: it goes only to a regular file, and opening never
  // waits (a FIFO of that name without a reader is not written to).
  int fd = -1;
  for (int i = 0; i < kOpenTries && fd < 0; ++i) {
    fd = ::open(file_name, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  }
  struct stat info {};
  if (fd >= 0 && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
    ::close(fd);
    fd = -1;
  }
  if (fd < 0) {
    std::fputs("No logfile entry\n", stderr);
    std::setlocale(LC_TIME, previous.c_str());
    return;
  }

  char stamp[kStampSize];
  std::time_t now = std::time(nullptr);
  std::tm local{};
  // The locale's own date form is wanted here, two-digit years included.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-y2k"
  if (now == static_cast<std::time_t>(-1) || localtime_r(&now, &local) == nullptr ||
      std::strftime(stamp, sizeof stamp, "%x %X", &local) == 0) {
    stamp[0] = '\0';
  }
#pragma GCC diagnostic pop

  std::string line(stamp);
  // Arguments are C strings: text after an embedded NUL never reached the program.
  for (const std::string& arg : args) line.append(log_quote(arg.c_str()));
  line.push_back('\n');

  // One append write, so entries of concurrent runs never mix within a line.
  [[maybe_unused]] const ssize_t written = ::write(fd, line.data(), line.size());
  ::close(fd);
  std::setlocale(LC_TIME, previous.c_str());
}

}  // namespace kest
