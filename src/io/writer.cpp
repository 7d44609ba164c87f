#include "io/writer.h"

#include <cstdarg>
#include <cstdlib>

#include "base/settings.h"
#include "io/numtext.h"

namespace kest {

// ---------------------------------------------------------------------------
// OutputStream

namespace {
constexpr std::size_t kStreamBufferSize = 65536;
constexpr std::size_t kInitialRowCapacity = 65536;
}  // namespace

OutputStream::OutputStream(std::FILE* file, bool owned, bool standard_output)
    : file_(file), owned_(owned), standard_output_(standard_output),
      data_(new char[kInitialRowCapacity]), capacity_(kInitialRowCapacity) {}

std::unique_ptr<OutputStream> OutputStream::open_file(const std::string& name, bool append) {
  std::FILE* file = std::fopen(name.c_str(), append ? "a" : "w");
  if (file == nullptr) return nullptr;
  std::unique_ptr<OutputStream> stream(new OutputStream(file, true, false));
  stream->stream_buffer_.reset(new char[kStreamBufferSize]);
  std::setvbuf(file, stream->stream_buffer_.get(), _IOFBF, kStreamBufferSize);
  return stream;
}

std::unique_ptr<OutputStream> OutputStream::standard_output() {
  return std::unique_ptr<OutputStream>(new OutputStream(stdout, false, true));
}

std::unique_ptr<OutputStream> OutputStream::memory() {
  std::unique_ptr<OutputStream> stream(new OutputStream(nullptr, true, false));
  stream->memory_ = true;
  stream->file_ = open_memstream(&stream->memory_text_, &stream->memory_size_);
  if (stream->file_ == nullptr) KEST_FATAL("Could not allocate memory %lu bytes\n", 0UL);
  return stream;
}

OutputStream::~OutputStream() {
  if (file_ != nullptr && owned_) std::fclose(file_);
  std::free(memory_text_);
}

void OutputStream::grow(std::size_t more) {
  std::size_t wanted = used_ + more;
  if (wanted < used_) KEST_FATAL("Could not allocate memory %lu bytes\n", ~0UL);
  std::size_t capacity = capacity_ * 2;
  while (capacity < wanted) capacity *= 2;
  std::unique_ptr<char[]> data = buffer_or_die(__FILE_NAME__, __LINE__, capacity);
  std::memcpy(data.get(), data_.get(), used_);
  data_ = std::move(data);
  capacity_ = capacity;
}

void OutputStream::print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(data_.get() + used_, capacity_ - used_, format, args);
  va_end(args);
  if (length > 0) {
    auto size = static_cast<std::size_t>(length);
    if (size >= capacity_ - used_) {
      grow(size + 1);
      std::vsnprintf(data_.get() + used_, capacity_ - used_, format, copy);
    }
    used_ += size;
  }
  va_end(copy);
}

void OutputStream::commit() {
  if (used_ == 0 || file_ == nullptr) {
    used_ = 0;
    return;
  }
  if (fwrite_unlocked(data_.get(), 1, used_, file_) != used_) failed_ = true;
  used_ = 0;
}

bool OutputStream::flush() {
  commit();
  if (file_ != nullptr && (std::fflush(file_) != 0 || std::ferror(file_))) failed_ = true;
  return !failed_;
}

bool OutputStream::close() {
  if (file_ == nullptr) return !failed_;
  flush();
  if (memory_) return !failed_;  // kept open so that text() can still be read
  if (owned_) {
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
  } else if (!owned_) {
    file_ = nullptr;
  }
  return !failed_;
}

std::string OutputStream::text() {
  commit();
  if (file_ != nullptr) std::fflush(file_);
  return memory_text_ == nullptr ? std::string() : std::string(memory_text_, memory_size_);
}

// ---------------------------------------------------------------------------
// The number hook shared by every style

void write_number(OutputStream& out, std::uint32_t column, double value) {
  const Settings& s = settings();
  if (s.format_set) {
    out.print(s.number_format.c_str(), value);
    return;
  }
  char text[kNumberTextSize];
  std::size_t length;
  if (s.xtra == -1 || static_cast<std::int64_t>(s.xtra) == static_cast<std::int64_t>(column)) {
    length = format_general(value, 18, text);
  } else {
    length = format_number_default(value, text);
  }
  out.write(text, length);
}

int write_row(OutputStream& out, const double* values, std::size_t n, const std::uint8_t* flags) {
  const OutputFormat& style = output_format();
  style.begin_row(out);
  bool first = true;
  for (std::size_t i = 0; i < n; ++i) {
    if (flags != nullptr && flags[i] != 0) continue;
    if (!first) style.separator(out);
    first = false;
    style.number(out, static_cast<std::uint32_t>(i), values[i]);
  }
  style.end_row(out);
  out.commit();
  return 0;
}

// ---------------------------------------------------------------------------
// The four styles

namespace {

void nothing(OutputStream&) {}
void no_comment(OutputStream&, std::string_view) {}
void no_header(OutputStream&, std::uint32_t, std::uint32_t) {}
void line_end(OutputStream& out) { out.put('\n'); }
void comma_blank(OutputStream& out) { out.write(", ", 2); }

void standard_separator(OutputStream& out) { out.put(settings().delimiter); }
void standard_comment(OutputStream& out, std::string_view text) {
  out.write(text);
  out.put('\n');
}
void standard_header(OutputStream& out, std::uint32_t, std::uint32_t rows) {
  if (rows != 0) out.print("%lu\n", static_cast<unsigned long>(rows));
}

void latex_separator(OutputStream& out) { out.write(" & ", 3); }
void latex_end_row(OutputStream& out) { out.write(" \\\\\n", 4); }
void latex_comment(OutputStream& out, std::string_view text) {
  out.write("% ", 2);
  out.write(text);
  out.put('\n');
}
void latex_footer(OutputStream& out) { out.write("\\end{tabular}\n"); }
void latex_header(OutputStream& out, std::uint32_t columns, std::uint32_t rows) {
  out.print("%% there are %lu lines in table\n", static_cast<unsigned long>(rows));
  out.write("\\begin{tabular}{");
  if (columns >= 1) {
    out.put('l');
    for (std::uint32_t i = 1; i < columns; ++i) out.write(" l", 2);
  }
  out.write("}\n", 2);
}

void c_begin_row(OutputStream& out) { out.write("{ ", 2); }
void c_end_row(OutputStream& out) { out.write("},\n", 3); }
void c_comment(OutputStream& out, std::string_view text) {
  out.write("/* ", 3);
  out.write(text);
  out.write(" */\n", 4);
}
void c_footer(OutputStream& out) { out.write("};\n", 3); }
void c_header(OutputStream& out, std::uint32_t columns, std::uint32_t rows) {
  if (rows != 0) {
    out.print("double data[%lu][%lu] = {\n", static_cast<unsigned long>(rows),
              static_cast<unsigned long>(columns));
  } else {
    out.print("double data[][%lu] = {\n", static_cast<unsigned long>(columns));
  }
}

constexpr OutputFormat kStandard{line_end,   standard_separator, write_number,   nothing,
                                 standard_comment, nothing,      standard_header};
constexpr OutputFormat kCsv{line_end, comma_blank, write_number, nothing,
                            no_comment, nothing,   no_header};
constexpr OutputFormat kLatex{latex_end_row, latex_separator, write_number, nothing,
                              latex_comment, latex_footer,    latex_header};
constexpr OutputFormat kC{c_end_row, comma_blank, write_number, c_begin_row,
                          c_comment, c_footer,    c_header};

OutputFormat g_format = kStandard;

}  // namespace

OutputFormat& output_format() { return g_format; }
void select_standard_output() { g_format = kStandard; }
void select_csv_output() { g_format = kCsv; }
void select_latex_output() { g_format = kLatex; }
void select_c_output() { g_format = kC; }

// ---------------------------------------------------------------------------
// --format check

bool check_number_format(std::string_view format) {
  std::size_t i = 0;
  const std::size_t n = format.size();
  // Find the first '%' that is not part of a "%%" pair.
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
  auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
  while (i < n && is_flag(format[i])) ++i;
  while (i < n && is_digit(format[i])) ++i;
  if (i < n && format[i] == '.') {
    ++i;
    while (i < n && is_digit(format[i])) ++i;
  }
  if (i >= n) return false;
  switch (format[i]) {
    case 'e': case 'E': case 'f': case 'F': case 'g': case 'G':
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
