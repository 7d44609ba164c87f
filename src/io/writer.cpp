#include "io/writer.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cstdarg>
#include <cstdio>

#include "base/settings.h"
#include "base/text.h"

namespace kest {

// ---------------------------------------------------------------------------
// OutputStream

OutputStream::OutputStream(int fd, bool owned, std::string name)
    : fd_(fd),
      owned_(owned),
      name_(std::move(name)),
      data_(buffer_or_die(__FILE_NAME__, __LINE__, kCapacity)),
      number_(NumberStyle::from_settings()),
      style_(output_format()),
      delimiter_(settings().delimiter) {
  // The separator is a fixed text for the whole run: write it once and keep it.
  style_.separator(*this);
  separator_.assign(data_.get(), used_);
  used_ = 0;
}

std::unique_ptr<OutputStream> OutputStream::open_file(const std::string& name, bool append) {
  int fd;
  do {
    fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return nullptr;
  return std::unique_ptr<OutputStream>(new OutputStream(fd, true, name));
}

std::unique_ptr<OutputStream> OutputStream::standard_output(const std::string& name) {
  std::fflush(stdout);  // what the driver printed comes first
  return std::unique_ptr<OutputStream>(new OutputStream(1, false, name));
}

std::unique_ptr<OutputStream> OutputStream::memory() {
  return std::unique_ptr<OutputStream>(new OutputStream(-1, false, "memory"));
}

OutputStream::~OutputStream() {
  if (closed_) return;
  write_all(data_.get(), used_);
  if (owned_ && fd_ >= 0) ::close(fd_);
}

bool OutputStream::write_all(const char* data, std::size_t size) {
  if (fd_ < 0) {
    memory_.append(data, size);
    return true;
  }
  while (size > 0) {
    const ssize_t written = ::write(fd_, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno == EPIPE) end_by_broken_pipe();  // the reader went away
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

void OutputStream::flush_buffer() {
  const std::size_t size = used_;
  used_ = 0;
  if (!write_all(data_.get(), size)) KEST_FATAL("Could not write file %s\n", name_.c_str());
}

void OutputStream::write_long(const char* text, std::size_t length) {
  flush_buffer();
  if (length < kCapacity) {
    std::memcpy(data_.get(), text, length);
    used_ = length;
  } else if (!write_all(text, length)) {
    KEST_FATAL("Could not write file %s\n", name_.c_str());
  }
}

bool OutputStream::print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(data_.get() + used_, kCapacity - used_, format, args);
  va_end(args);
  bool converted = length >= 0;
  if (converted) {
    const auto size = static_cast<std::size_t>(length);
    if (size < kCapacity - used_) {
      used_ += size;
    } else {
      // Did not fit: format it again where it fits.
      std::unique_ptr<char[]> text = buffer_or_die(__FILE_NAME__, __LINE__, size + 1);
      converted = std::vsnprintf(text.get(), size + 1, format, copy) == length;
      if (converted) write(text.get(), size);
    }
  }
  va_end(copy);
  return converted;
}

void OutputStream::styled_number(std::uint32_t column, double value) {
  if (number_.kind == NumberStyle::Kind::kUserFormat) {
    if (!print(number_.format.c_str(), value)) {
      KEST_FATAL("Could not write %g with the format %s\n", value, number_.format.c_str());
    }
    return;
  }
  if (number_.kind == NumberStyle::Kind::kExtraAll || number_.column == column) {
    if (kCapacity - used_ < kNumberTextSize) flush_buffer();
    used_ += format_general(value, 18, data_.get() + used_);
    return;
  }
  if (kCapacity - used_ < kNumberTextSize) flush_buffer();
  used_ += format_number_default(value, data_.get() + used_);
}

void OutputStream::flush() {
  flush_buffer();
}

void OutputStream::close() {
  if (closed_) return;
  flush_buffer();
  closed_ = true;
  if (owned_ && fd_ >= 0 && ::close(fd_) != 0) {
    KEST_FATAL("Could not write file %s\n", name_.c_str());
  }
}

std::string OutputStream::text() {
  if (fd_ < 0) flush_buffer();
  return memory_;
}

NumberStyle NumberStyle::from_settings() {
  const Settings& s = settings();
  NumberStyle style;
  if (s.format_set) {
    style.kind = Kind::kUserFormat;
    style.format = s.number_format;
  } else if (s.xtra == -1) {
    style.kind = Kind::kExtraAll;
  } else if (s.xtra >= 0) {
    style.kind = Kind::kExtraColumn;
    style.column = static_cast<std::uint32_t>(s.xtra);
  }
  return style;
}

namespace {

bool same_bits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

}  // namespace

// Writes the values of a row that `flags` keeps, with the separator between them:
// `put(i, at)` writes the text of value i at `at`, where there is room for any
// number text (and so for the sixteen bytes a copied token takes), and returns
// its length.
template <class Put>
void OutputStream::put_row(std::size_t n, const std::uint8_t* flags, Put put) {
  const std::size_t worst = kNumberTextSize + separator_.size();
  const bool one_character = separator_.size() == 1;
  const char separator = one_character ? separator_[0] : '\0';
  char* data = data_.get();
  bool first = true;
  for (std::size_t i = 0; i < n; ++i) {
    if (flags != nullptr && flags[i] != 0) continue;
    if (kCapacity - used_ < worst) flush_buffer();
    if (!first) {
      if (one_character) {
        data[used_++] = separator;
      } else {
        std::memcpy(data + used_, separator_.data(), separator_.size());
        used_ += separator_.size();
      }
    }
    first = false;
    used_ += put(i, data + used_);
  }
}

// A value with the bits it was parsed with, from a token in its own default
// form, has that token as its text: the token is copied. A row that is its line
// (every value so, nothing left out, the line's one separator the style's) is
// copied whole.
void OutputStream::numbers_from_text(const double* values, std::size_t n, const std::uint8_t* flags,
                                     const RowText& text) {
  const std::size_t offset = static_cast<std::size_t>(text.values - values);
  const std::size_t count = text.count;
  if (text.whole && offset == 0 && n == count && flags == nullptr &&
      (count < 2 || (separator_.size() == 1 && separator_[0] == text.separator)) &&
      (n == 0 || std::memcmp(values, text.parsed.data(), sizeof(double) * n) == 0)) {
    write(text.line + text.begin, text.text_length);
    return;
  }
  // A token is copied sixteen bytes at once: the reader's lines have that much
  // room after them, and the buffer keeps room for any number text.
  static_assert(kMaxCopiedToken <= kLinePadding && kMaxCopiedToken <= kNumberTextSize);
  put_row(n, flags, [&](std::size_t i, char* at) {
    const std::size_t t = i - offset;  // the token of value i (wraps below the row)
    if (t < count && text.length[t] != 0 && same_bits(values[i], text.parsed[t])) {
      std::memcpy(at, text.line + text.start[t], kMaxCopiedToken);
      return std::size_t{text.length[t]};
    }
    return format_number_default(values[i], at);
  });
}

void OutputStream::text_numbers(const RowText& row, const std::uint8_t* flags) {
  const std::size_t n = row.count;
  if (number_.kind != NumberStyle::Kind::kDefault || row.line == nullptr) {
    bool first = true;
    for (std::size_t i = 0; i < n; ++i) {
      if (flags != nullptr && flags[i] != 0) continue;
      if (!first) write(separator_);
      first = false;
      number(static_cast<std::uint32_t>(i), row.value(static_cast<std::uint32_t>(i)));
    }
    return;
  }
  if (row.whole && flags == nullptr &&
      (n < 2 || (separator_.size() == 1 && separator_[0] == row.separator))) {
    write(row.line + row.begin, row.text_length);
    return;
  }
  put_row(n, flags, [&](std::size_t i, char* at) {
    if (row.length[i] != 0) {
      std::memcpy(at, row.line + row.start[i], kMaxCopiedToken);
      return std::size_t{row.length[i]};
    }
    return format_number_default(row.parsed[i], at);
  });
}

void OutputStream::move_text_to(OutputStream& out) {
  out.write(memory_.data(), memory_.size());
  out.write(data_.get(), used_);
  memory_.clear();
  used_ = 0;
}

void OutputStream::numbers(const double* values, std::size_t n, const std::uint8_t* flags,
                           const RowText* text) {
  if (text != nullptr && number_.kind == NumberStyle::Kind::kDefault) {
    numbers_from_text(values, n, flags, *text);
    return;
  }
  const std::size_t worst = kNumberTextSize + separator_.size();
  const bool plain = number_.kind == NumberStyle::Kind::kDefault;
  bool first = true;
  for (std::size_t i = 0; i < n; ++i) {
    if (flags != nullptr && flags[i] != 0) continue;
    if (kCapacity - used_ < worst) flush_buffer();
    if (!first) {
      std::memcpy(data_.get() + used_, separator_.data(), separator_.size());
      used_ += separator_.size();
    }
    first = false;
    if (plain) {
      used_ += format_number_default(values[i], data_.get() + used_);
    } else {
      styled_number(static_cast<std::uint32_t>(i), values[i]);
    }
  }
}

void write_row(OutputStream& out, const double* values, std::size_t n, const std::uint8_t* flags,
               const RowText* text) {
  const OutputFormat& style = out.style();
  style.begin_row(out);
  out.numbers(values, n, flags, text);
  style.end_row(out);
}

void write_text_row(OutputStream& out, const RowText& row, const std::uint8_t* flags) {
  const OutputFormat& style = out.style();
  style.begin_row(out);
  out.text_numbers(row, flags);
  style.end_row(out);
}

// ---------------------------------------------------------------------------
// The four styles

namespace {

void nothing(OutputStream&) {}
void no_comment(OutputStream&, std::string_view) {}
void no_header(OutputStream&, std::uint32_t, std::uint32_t) {}
void line_end(OutputStream& out) {
  out.put('\n');
}
void comma_blank(OutputStream& out) {
  out.write(", ", 2);
}

void standard_separator(OutputStream& out) {
  out.put(out.delimiter());
}
void standard_comment(OutputStream& out, std::string_view text) {
  out.write(text);
  out.put('\n');
}
void standard_header(OutputStream& out, std::uint32_t, std::uint32_t rows) {
  if (rows != 0) out.print("%lu\n", static_cast<unsigned long>(rows));
}

void latex_separator(OutputStream& out) {
  out.write(" & ", 3);
}
void latex_end_row(OutputStream& out) {
  out.write(" \\\\\n", 4);
}
void latex_comment(OutputStream& out, std::string_view text) {
  out.write("% ", 2);
  out.write(text);
  out.put('\n');
}
void latex_footer(OutputStream& out) {
  out.write("\\end{tabular}\n");
}
void latex_header(OutputStream& out, std::uint32_t columns, std::uint32_t rows) {
  out.print("%% there are %lu lines in table\n", static_cast<unsigned long>(rows));
  out.write("\\begin{tabular}{");
  if (columns >= 1) {
    out.put('l');
    for (std::uint32_t i = 1; i < columns; ++i) out.write(" l", 2);
  }
  out.write("}\n", 2);
}

void c_begin_row(OutputStream& out) {
  out.write("{ ", 2);
}
void c_end_row(OutputStream& out) {
  out.write("},\n", 3);
}
void c_comment(OutputStream& out, std::string_view text) {
  out.write("/* ", 3);
  out.write(text);
  out.write(" */\n", 4);
}
void c_footer(OutputStream& out) {
  out.write("};\n", 3);
}
void c_header(OutputStream& out, std::uint32_t columns, std::uint32_t rows) {
  if (rows != 0) {
    out.print("double data[%lu][%lu] = {\n", static_cast<unsigned long>(rows),
              static_cast<unsigned long>(columns));
  } else {
    out.print("double data[][%lu] = {\n", static_cast<unsigned long>(columns));
  }
}

constexpr OutputFormat kStandard{line_end, standard_separator, nothing, standard_comment,
                                 nothing,  standard_header};
constexpr OutputFormat kCsv{line_end, comma_blank, nothing, no_comment, nothing, no_header};
constexpr OutputFormat kLatex{latex_end_row, latex_separator, nothing,
                              latex_comment, latex_footer,    latex_header};
constexpr OutputFormat kC{c_end_row, comma_blank, c_begin_row, c_comment, c_footer, c_header};

OutputFormat g_format = kStandard;

}  // namespace

const OutputFormat& output_format() {
  return g_format;
}
void select_standard_output() {
  g_format = kStandard;
}
void select_csv_output() {
  g_format = kCsv;
}
void select_latex_output() {
  g_format = kLatex;
}
void select_c_output() {
  g_format = kC;
}

// ---------------------------------------------------------------------------
// --format check

namespace {

// The widest width or precision accepted: a number text wider than this is no
// data file's, and a huge one would write gigabytes for every value.
constexpr long long kMaxFormatCount = 4096;

// Skips a run of digits; false when their number is above kMaxFormatCount.
bool skip_count(std::string_view format, std::size_t& i) {
  long long value = 0;
  while (i < format.size() && is_digit(format[i])) {
    value = value * 10 + (format[i] - '0');
    if (value > kMaxFormatCount) return false;
    ++i;
  }
  return true;
}

}  // namespace

bool check_number_format(std::string_view format) {
  std::size_t i = 0;
  const std::size_t n = format.size();
  // The first '%' that is not part of a "%%" pair starts the conversion.
  while (i < n) {
    if (format[i] == '%') {
      if (i + 1 < n && format[i + 1] == '%') {
        i += 2;
        continue;
      }
      break;
    }
    ++i;
  }
  if (i >= n) return false;
  ++i;
  auto is_flag = [](char c) { return c == ' ' || c == '#' || c == '0' || c == '+' || c == '-'; };
  while (i < n && is_flag(format[i])) ++i;
  if (!skip_count(format, i)) return false;
  if (i < n && format[i] == '.') {
    ++i;
    if (!skip_count(format, i)) return false;
  }
  if (i >= n) return false;
  switch (format[i]) {
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G':
      break;
    default:
      return false;
  }
  ++i;
  // Every further '%' must be doubled.
  while (i < n) {
    if (format[i] == '%') {
      if (i + 1 < n && format[i + 1] == '%') {
        i += 2;
        continue;
      }
      return false;
    }
    ++i;
  }
  return true;
}

}  // namespace kest
