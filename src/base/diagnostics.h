// Fatal errors, warnings, messages and checked memory.
//
// A fatal error throws `FatalError`; only the entry point turns it into the
// report and exit status 1, so tests can check errors without ending the process.
// `ExitRequest` carries the status of the paths that end the run early on purpose
// (help, version, listings, error-log reports).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace kest {

#define KEST_PRINTF(fmt_index, first_arg) __attribute__((format(printf, fmt_index, first_arg)))

/// A fatal error: the module and source line that raised it, and its message text.
class FatalError : public std::runtime_error {
 public:
  /// With `log_line`, the report is the error-log line "%s:%d:: error: " and the
  /// message instead of the "Error in File:" block.
  FatalError(std::string module, int line, std::string message, bool log_line = false);
  const std::string& module() const { return module_; }
  int line() const { return line_; }
  const std::string& message() const { return message_; }
  bool log_line() const { return log_line_; }

 private:
  std::string module_;
  int line_;
  std::string message_;
  bool log_line_;
};

/// A request to end the process with `status` after a complete, orderly run
/// (help text, version lines, eval listings, error-log reports).
struct ExitRequest {
  int status;
};

/// Throws FatalError; the message is formatted from `format` like printf.
[[noreturn]] void fatal_error(const char* module, int line, const char* format, ...)
    KEST_PRINTF(3, 4);

/// Throws FatalError reported as an error-log line.
[[noreturn]] void fatal_log_line(const char* module, int line, const char* format, ...)
    KEST_PRINTF(3, 4);

/// Ends the run with `status` (throws ExitRequest).
[[noreturn]] void exit_process(int status);

/// "\nWarning: " message "\nContinue [y/N]:" on standard error; reads no answer.
void warning_message(const char* format, ...) KEST_PRINTF(1, 2);

/// "Warning: " message and a line end on standard error (in a quiet run a line
/// end first, none after): a note about the data that does not stop the run.
void warning_line(const char* format, ...) KEST_PRINTF(1, 2);

/// "\nMessage: " message on standard error.
void info_message(const char* format, ...) KEST_PRINTF(1, 2);

/// Writes the report of a fatal error on standard error, waits for Enter when
/// `Settings.wait_on_error` is on, and returns the exit status (1).
int report_fatal(const FatalError& error);

/// Ends the run the way a tool ends whose reader went away: by the broken-pipe
/// signal, quietly, with the status a shell shows for it.
[[noreturn]] void end_by_broken_pipe();

/// A line on standard error that erases itself, for the progress of long work.
/// Every message of the routines here (and of the log lines) clears it first.
void show_status_line(const char* text);
/// Erases the status line, if one is shown.
void clear_status_line();

/// printf into a std::string.
std::string format_text(const char* format, ...) KEST_PRINTF(1, 2);

#define KEST_FATAL(...) ::kest::fatal_error(__FILE_NAME__, __LINE__, __VA_ARGS__)
#define KEST_FATAL_LOGGED(...) ::kest::fatal_log_line(__FILE_NAME__, __LINE__, __VA_ARGS__)

/// An allocation the program's operator new could not satisfy: a std::bad_alloc
/// that knows how many bytes were asked for, so the report can name them.
class AllocationFailure : public std::bad_alloc {
 public:
  explicit AllocationFailure(std::size_t bytes) noexcept : bytes_(bytes) {}
  std::size_t bytes() const noexcept { return bytes_; }
  const char* what() const noexcept override { return "Could not allocate memory"; }

 private:
  std::size_t bytes_;
};

/// The bytes a failed allocation asked for: those an AllocationFailure carries,
/// else SIZE_MAX (a plain bad_alloc comes from a size beyond what can be held).
std::size_t failed_allocation_bytes(const std::bad_alloc& failure) noexcept;

/// The fatal report of a failed allocation of `bytes` bytes, located at the
/// place that caught it ("Could not allocate memory %lu bytes\n").
FatalError allocation_error(const char* module, int line, std::size_t bytes);

/// `bytes` uninitialised bytes; exhaustion is fatal ("Could not allocate memory %lu bytes\n").
std::unique_ptr<char[]> buffer_or_die(const char* module, int line, std::size_t bytes);

/// `count` values set to `init`; exhaustion (or a size that cannot be held) is fatal.
template <class T>
std::vector<T> vector_or_die(const char* module, int line, std::size_t count, const T& init = T{}) {
  try {
    return std::vector<T>(count, init);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  fatal_error(module, line, "Could not allocate memory %lu bytes\n",
              static_cast<unsigned long>(count * sizeof(T)));
}

/// A table of `rows` rows of `cols` values in one contiguous block; row i starts
/// i * cols values into the block. The block is not cleared.
template <class T>
class Matrix {
 public:
  Matrix() = default;
  Matrix(std::unique_ptr<T[]> block, std::vector<T*> rows)
      : block_(std::move(block)), rows_(std::move(rows)) {}
  T* operator[](std::size_t i) { return rows_[i]; }
  const T* operator[](std::size_t i) const { return rows_[i]; }
  T** rows() { return rows_.data(); }
  std::size_t size() const { return rows_.size(); }

 private:
  std::unique_ptr<T[]> block_;
  std::vector<T*> rows_;
};

namespace detail {
[[noreturn]] void matrix_exhausted(int line, std::size_t bytes);
}

/// One contiguous block of rows x cols doubles with a pointer per row. Failure is
/// reported at the allocator's own location.
template <class T = double>
Matrix<T> matrix_alloc(std::size_t rows, std::size_t cols) {
  std::vector<T*> pointers;
  try {
    pointers.resize(rows);
  } catch (const std::exception&) {
    detail::matrix_exhausted(__LINE__, rows * sizeof(T*));
  }
  std::size_t count = rows * cols;
  if (cols != 0 && count / cols != rows) detail::matrix_exhausted(__LINE__, SIZE_MAX);
  T* raw = count == 0 ? nullptr : new (std::nothrow) T[count];
  if (count != 0 && raw == nullptr) detail::matrix_exhausted(__LINE__, count * sizeof(T));
  std::unique_ptr<T[]> block(raw);
  for (std::size_t i = 0; i < rows; ++i) pointers[i] = raw + i * cols;
  return Matrix<T>(std::move(block), std::move(pointers));
}

}  // namespace kest
