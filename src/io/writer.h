// The row writer, the output stream and the four output styles.
//
// Every output row goes through `write_row`, which calls the hooks of the current
// style (`output_format()`). A row is assembled in the stream's buffer and handed
// to the file in one piece when it ends, so each row costs one library write call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "base/diagnostics.h"

namespace kest {

/// An output file or standard output. Text is collected with put/write/print and
/// handed to the file by `commit`; a write error is remembered and reported by
/// `close`.
class OutputStream {
 public:
  /// Opens `name` for writing (truncating) or appending; nullptr on failure (errno kept).
  static std::unique_ptr<OutputStream> open_file(const std::string& name, bool append);
  /// Standard output (never closed, only flushed).
  static std::unique_ptr<OutputStream> standard_output();
  /// An in-memory stream for tests; `text()` gives what was committed.
  static std::unique_ptr<OutputStream> memory();

  ~OutputStream();
  OutputStream(const OutputStream&) = delete;
  OutputStream& operator=(const OutputStream&) = delete;

  void put(char c) {
    if (used_ == capacity_) grow(1);
    data_[used_++] = c;
  }
  void write(const char* text, std::size_t length) {
    if (capacity_ - used_ < length) grow(length);
    std::memcpy(data_.get() + used_, text, length);
    used_ += length;
  }
  void write(std::string_view text) { write(text.data(), text.size()); }
  /// printf-style text (user number formats and the styles' fixed texts).
  void print(const char* format, ...) KEST_PRINTF(2, 3);

  /// Hands the assembled text to the file.
  void commit();
  /// Commits and flushes the file; false when any write failed.
  bool flush();
  /// Commits, flushes and closes (standard output is only flushed); false when
  /// any write failed. Calling it twice is harmless.
  bool close();

  bool is_standard_output() const { return standard_output_; }
  /// What a memory stream holds so far (committed text).
  std::string text();

 private:
  OutputStream(std::FILE* file, bool owned, bool standard_output);
  void grow(std::size_t more);

  std::FILE* file_;
  bool owned_;
  bool standard_output_;
  bool failed_ = false;
  bool memory_ = false;
  char* memory_text_ = nullptr;  // open_memstream target
  std::size_t memory_size_ = 0;
  std::unique_ptr<char[]> data_;
  std::size_t used_ = 0;
  std::size_t capacity_ = 0;
  std::unique_ptr<char[]> stream_buffer_;
};

/// The seven hooks of an output style, in slot order.
struct OutputFormat {
  void (*end_row)(OutputStream& out);
  void (*separator)(OutputStream& out);
  void (*number)(OutputStream& out, std::uint32_t column, double value);
  void (*begin_row)(OutputStream& out);
  void (*comment)(OutputStream& out, std::string_view text);
  void (*footer)(OutputStream& out);
  void (*header)(OutputStream& out, std::uint32_t columns, std::uint32_t rows);
};

/// The process-wide hook table; the standard style at start-up.
OutputFormat& output_format();

void select_standard_output();
void select_csv_output();
void select_latex_output();
void select_c_output();

/// Writes the values whose flag is zero (all of them without flags) as one row.
int write_row(OutputStream& out, const double* values, std::size_t n,
              const std::uint8_t* flags = nullptr);

/// The number hook shared by all styles: --format, then -x, then the default text.
void write_number(OutputStream& out, std::uint32_t column, double value);

/// True when `format` is an acceptable --format text: exactly one e/f/g
/// conversion with optional flags, width and precision; every other '%' doubled.
bool check_number_format(std::string_view format);

}  // namespace kest
