#include "io/reader.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/settings.h"
#include "base/diagnostics.h"
#include "io/numscan.h"
#include "io/writer.h"

namespace kest {

// ---------------------------------------------------------------------------
// InputStream

InputStream::InputStream(int fd, std::string name, std::size_t block_size)
    : fd_(fd), name_(std::move(name)), block_size_(std::max<std::size_t>(block_size, 1)) {
  block_ = buffer_or_die(__FILE_NAME__, __LINE__, block_size_);
}

InputStream::~InputStream() {
  if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<InputStream> InputStream::open(const std::string& name, std::size_t block_size) {
  int fd;
  do {
    fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return nullptr;
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    int saved = errno;
    ::close(fd);
    errno = saved;
    return nullptr;
  }
  if (S_ISDIR(info.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return nullptr;
  }
  std::unique_ptr<InputStream> stream(new InputStream(fd, name, block_size));
  stream->device_ = info.st_dev;
  stream->inode_ = info.st_ino;
  return stream;
}

std::unique_ptr<InputStream> InputStream::from_string(std::string data, std::size_t block_size) {
  std::unique_ptr<InputStream> stream(new InputStream(-1, "memory", block_size));
  stream->memory_ = std::move(data);
  return stream;
}

// Brings more input into the block; requires begin_ == end_. The block is only
// started over when it is full, so a pipe's first block keeps its first bytes as
// long as possible. False at the end of the input.
bool InputStream::fill() {
  if (source_done_) {
    eof_ = true;
    return false;
  }
  if (end_ == block_size_) {
    begin_ = end_ = 0;
    at_start_ = false;
  }
  std::size_t room = block_size_ - end_;
  std::size_t got;
  if (fd_ < 0) {
    got = std::min(room, memory_.size() - memory_pos_);
    if (got != 0) std::memcpy(block_.get() + end_, memory_.data() + memory_pos_, got);
    memory_pos_ += got;
  } else {
    ssize_t result;
    do {
      result = ::read(fd_, block_.get() + end_, room);
    } while (result < 0 && errno == EINTR);
    if (result < 0) KEST_FATAL("Could not read file %s\n", name_.c_str());
    got = static_cast<std::size_t>(result);
  }
  if (got == 0) {
    source_done_ = true;
    eof_ = true;
    return false;
  }
  end_ += got;
  return true;
}

std::size_t InputStream::get_line(char* buffer, std::size_t size) {
  if (size == 0) return 0;
  std::size_t room = size - 1;
  std::size_t stored = 0;
  while (stored < room) {
    if (begin_ == end_ && !fill()) break;
    const char* from = block_.get() + begin_;
    std::size_t want = std::min(end_ - begin_, room - stored);
    const void* line_end = std::memchr(from, '\n', want);
    std::size_t take = line_end != nullptr ? static_cast<const char*>(line_end) - from + 1 : want;
    std::memcpy(buffer + stored, from, take);
    stored += take;
    begin_ += take;
    if (line_end != nullptr) break;
  }
  if (stored == 0 && room != 0) return 0;  // end of input: the buffer stays as it was
  buffer[stored] = '\0';
  return stored;
}

void InputStream::rewind() {
  eof_ = false;
  if (fd_ < 0) {
    memory_pos_ = 0;
    begin_ = end_ = 0;
    source_done_ = false;
    at_start_ = true;
    return;
  }
  if (::lseek(fd_, 0, SEEK_SET) == 0) {
    begin_ = end_ = 0;
    source_done_ = false;
    at_start_ = true;
    return;
  }
  // Not seekable (a pipe): the block may still hold everything read so far.
  if (!at_start_) KEST_FATAL("Could not rewind file %s\n", name_.c_str());
  begin_ = 0;
}

char* InputStream::line_buffer() {
  if (!line_) {
    std::size_t capacity = mutable_settings().maxbuff;
    line_ = buffer_or_die(__FILE_NAME__, __LINE__, capacity);
    line_capacity_ = capacity;
  }
  return line_.get();
}

// ---------------------------------------------------------------------------
// Line classification

std::deque<std::string>& pending_comments() {
  static std::deque<std::string> queue;
  return queue;
}

void reset_pending_comments() {
  pending_comments().clear();
}

namespace {

inline bool is_blank(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

inline bool has_digit(const char* text, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    if (static_cast<unsigned char>(text[i] - '0') < 10) return true;
  }
  return false;
}

// True when the line (a C string of `length` characters) is data. Consumes one
// skipped row when the line reaches that test.
bool is_data_line(const char* line, std::size_t length, Settings& s) {
  if (length == 0) return false;  // first byte NUL
  if (s.qxstars && std::memchr(line, '*', length) != nullptr) return false;
  if (s.skip_rows > 0) {
    --s.skip_rows;
    return false;
  }
  if (line[0] == '!' || line[0] == '#' || line[0] == ';') return false;
  return has_digit(line, length);
}

// read_data_line that also hands back the data line's length as a C string.
char* next_data_line(char* buffer, std::size_t size, InputStream& in, OutputStream* out,
                     std::size_t* length) {
  Settings& s = mutable_settings();
  for (;;) {
    std::size_t stored = in.get_line(buffer, size);
    if (stored == 0) return nullptr;
    const void* nul = std::memchr(buffer, '\0', stored);
    std::size_t c_length = nul != nullptr ? static_cast<const char*>(nul) - buffer : stored;
    if (is_data_line(buffer, c_length, s)) {
      *length = c_length;
      return buffer;
    }
    while (c_length > 0 && (buffer[c_length - 1] == '\n' || buffer[c_length - 1] == '\r')) {
      buffer[--c_length] = '\0';
    }
    if (s.keep_comments) {
      if (out != nullptr) {
        output_format().comment(*out, std::string_view(buffer, c_length));
      } else {
        pending_comments().emplace_back(buffer, c_length);
      }
    }
  }
}

}  // namespace

ReaderLookAhead::ReaderLookAhead()
    : skip_rows_(mutable_settings().skip_rows), keep_comments_(mutable_settings().keep_comments) {
  mutable_settings().keep_comments = false;
}

ReaderLookAhead::~ReaderLookAhead() {
  mutable_settings().skip_rows = skip_rows_;
  mutable_settings().keep_comments = keep_comments_;
}

char* read_data_line(char* buffer, std::size_t size, InputStream& in, OutputStream* out) {
  std::size_t length;
  return next_data_line(buffer, size, in, out, &length);
}

// ---------------------------------------------------------------------------
// Counting and parsing

std::uint32_t count_values(const char* line) {
  std::size_t skip = mutable_settings().skip_columns;
  if (strnlen(line, skip + 1) <= skip) return 0;
  const char* p = line + skip;
  std::uint32_t count = 0;
  for (;;) {
    while (is_blank(*p) || *p == ',') ++p;
    if (*p == '\0') break;
    std::size_t used = scan_number_length(p);
    if (used == 0) break;
    p += used;
    if (count == UINT32_MAX) break;
    ++count;
  }
  return count;
}

std::uint32_t count_variables(InputStream& in) {
  ReaderLookAhead guard;
  in.rewind();
  char* buffer = in.line_buffer();
  char* line = read_data_line(buffer, in.line_capacity(), in, nullptr);
  std::uint32_t n = line != nullptr ? count_values(line) : 0;
  in.rewind();
  return n;
}

std::uint32_t count_rows(InputStream& in, std::uint32_t n) {
  ReaderLookAhead guard;
  in.rewind();
  char* buffer = in.line_buffer();
  std::size_t capacity = in.line_capacity();
  std::uint32_t rows = 0;
  while (rows < UINT32_MAX) {
    char* line = read_data_line(buffer, capacity, in, nullptr);
    if (line == nullptr || count_values(line) != n) break;
    ++rows;
  }
  if (!mutable_settings().quiet)
    std::fprintf(stderr, "Found %lu rows.\n", static_cast<unsigned long>(rows));
  in.rewind();
  return rows;
}

double* read_row(InputStream& in, double* values, OutputStream* out, std::uint32_t n) {
  if (in.eof()) return nullptr;
  char* buffer = in.line_buffer();
  std::size_t length;
  char* line = next_data_line(buffer, in.line_capacity(), in, out, &length);
  if (line == nullptr) return nullptr;
  const Settings& s = settings();
  std::size_t skip = s.skip_columns;
  if (length <= skip) return nullptr;
  if (s.input_delimiter != 0) {
    char delimiter = static_cast<char>(s.input_delimiter);
    char* p = line + skip;
    char* end = line + length;
    while ((p = static_cast<char*>(std::memchr(p, delimiter, end - p))) != nullptr) *p++ = ' ';
  }
  const char* p = line + skip;
  std::uint32_t i = 0;
  while (i < n) {
    std::size_t used = scan_double(p, &values[i]);
    if (used == 0) break;
    p += used;
    ++i;
  }
  for (; i < n; ++i) values[i] = 0.0;
  return values;
}

}  // namespace kest
