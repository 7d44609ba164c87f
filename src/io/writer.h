// The row writer, the output stream and the four output styles.
//
// Every output row goes through `write_row`, which calls the hooks of the
// stream's style. Text is gathered in the stream's 64 KiB buffer and handed to
// the file whenever the buffer is full, so memory stays bounded whatever is
// written (kept comment blocks included). A write that fails is fatal at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "base/diagnostics.h"
#include "io/numtext.h"
#include "io/reader.h"

namespace kest {

class OutputStream;

/// The hooks of an output style, in slot order. The number text is the same for
/// every style and belongs to the stream (see NumberStyle).
struct OutputFormat {
  void (*end_row)(OutputStream& out);
  void (*separator)(OutputStream& out);
  void (*begin_row)(OutputStream& out);
  void (*comment)(OutputStream& out, std::string_view text);
  void (*footer)(OutputStream& out);
  void (*header)(OutputStream& out, std::uint32_t columns, std::uint32_t rows);
};

/// The process-wide style table, chosen by the style options; the standard style
/// at start-up.
const OutputFormat& output_format();
void select_standard_output();
void select_csv_output();
void select_latex_output();
void select_c_output();

/// How values become text: the user's --format, then -x, then the default text.
/// Chosen once, from Settings, when a stream is made.
struct NumberStyle {
  enum class Kind { kDefault, kExtraAll, kExtraColumn, kUserFormat };
  Kind kind = Kind::kDefault;
  std::uint32_t column = 0;  ///< the -x column, 0-based
  std::string format;        ///< the --format text
  static NumberStyle from_settings();
};

/// An output file, standard output or (for tests) memory.
class OutputStream {
 public:
  /// Opens `name` for writing (truncating) or appending; nullptr on failure
  /// (errno kept).
  static std::unique_ptr<OutputStream> open_file(const std::string& name, bool append);
  /// Standard output, called `name` in messages; only flushed, never closed.
  static std::unique_ptr<OutputStream> standard_output(const std::string& name = "-");
  /// A stream whose text is kept in memory (`text()`).
  static std::unique_ptr<OutputStream> memory();

  /// Hands what is buffered to the file when the stream was not closed (a run
  /// ending on a fatal error keeps the rows written so far); errors are ignored
  /// there.
  ~OutputStream();
  OutputStream(const OutputStream&) = delete;
  OutputStream& operator=(const OutputStream&) = delete;

  void put(char c) {
    if (used_ == kCapacity) flush_buffer();
    data_[used_++] = c;
  }
  void write(const char* text, std::size_t length) {
    if (kCapacity - used_ < length) {
      write_long(text, length);
      return;
    }
    std::memcpy(data_.get() + used_, text, length);
    used_ += length;
  }
  void write(std::string_view text) { write(text.data(), text.size()); }
  /// printf-style text; false when the library could not convert it.
  bool print(const char* format, ...) KEST_PRINTF(2, 3);

  /// One value as the number style writes it for `column`.
  void number(std::uint32_t column, double value) {
    if (number_.kind == NumberStyle::Kind::kDefault) {
      if (kCapacity - used_ < kNumberTextSize) flush_buffer();
      used_ += format_number_default(value, data_.get() + used_);
      return;
    }
    styled_number(column, value);
  }

  /// The values whose flag is zero (all of them without flags), separated by
  /// the style's separator: the body of a row. With `text` (the row text of the
  /// parse that filled part of `values`), a value still as parsed from a token
  /// in its own default form is written by copying the token.
  void numbers(const double* values, std::size_t n, const std::uint8_t* flags,
               const RowText* text = nullptr);

  /// The values of a row read by read_text_row whose flag is zero: a token
  /// that can be copied is copied, every other value written as a number.
  void text_numbers(const RowText& row, const std::uint8_t* flags);

  /// Hands what a memory stream holds to `out`, and empties it.
  void move_text_to(OutputStream& out);

  /// The separator character of the standard style (--delimiter).
  char delimiter() const { return delimiter_; }
  const OutputFormat& style() const { return style_; }
  const std::string& name() const { return name_; }

  /// Hands the buffered text to the file; a failed write is fatal.
  void flush();
  /// Flushes and closes (standard output is only flushed); failure is fatal.
  /// Calling it twice is harmless.
  void close();
  /// What a memory stream holds so far.
  std::string text();

 private:
  static constexpr std::size_t kCapacity = 65536;
  OutputStream(int fd, bool owned, std::string name);
  void flush_buffer();
  template <class Put>
  void put_row(std::size_t n, const std::uint8_t* flags, Put put);
  void write_long(const char* text, std::size_t length);
  void styled_number(std::uint32_t column, double value);
  bool write_all(const char* data, std::size_t size);
  void numbers_from_text(const double* values, std::size_t n, const std::uint8_t* flags,
                         const RowText& text);

  int fd_;
  bool owned_;
  bool closed_ = false;
  std::string name_;
  std::unique_ptr<char[]> data_;
  std::size_t used_ = 0;
  std::string memory_;
  NumberStyle number_;
  OutputFormat style_;
  char delimiter_;
  std::string separator_;  // the style's separator, learned once
};

/// Writes the values whose flag is zero (all of them without flags) as one row;
/// `text` as for OutputStream::numbers.
void write_row(OutputStream& out, const double* values, std::size_t n,
               const std::uint8_t* flags = nullptr, const RowText* text = nullptr);

/// Writes a row read by read_text_row, leaving out the values whose flag is set.
void write_text_row(OutputStream& out, const RowText& row, const std::uint8_t* flags = nullptr);

/// True when `format` is an acceptable --format text: exactly one e/f/g
/// conversion with optional flags, width and precision (each below 2^31); every
/// other '%' doubled.
bool check_number_format(std::string_view format);

}  // namespace kest
