#include "io/reader.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/diagnostics.h"
#include "base/settings.h"
#include "base/text.h"
#include "io/decompress.h"
#include "io/numscan.h"

namespace kest {

// ---------------------------------------------------------------------------
// InputStream

InputStream::InputStream(int fd, bool owned, std::string name, std::size_t block_size)
    : fd_(fd),
      owned_(owned),
      name_(std::move(name)),
      block_size_(std::max<std::size_t>(block_size, 1)) {
  // Room for a closing NUL, and for copying a token whole from its start.
  block_ = buffer_or_die(__FILE_NAME__, __LINE__, block_size_ + 1 + kLinePadding);
  std::memset(block_.get() + block_size_ + 1, 0, kLinePadding);
  block_[0] = '\0';
  keep_comments_ = settings().keep_comments;
  skip_rows_left_ = settings().skip_rows;
}

InputStream::~InputStream() {
  if (progress_) clear_status_line();
  if (fd_ >= 0 && owned_) ::close(fd_);
  if (spool_fd_ >= 0) ::close(spool_fd_);
}

std::unique_ptr<InputStream> InputStream::open(const std::string& name, std::size_t block_size) {
  const bool standard_input = name == "-";
  int fd = STDIN_FILENO;
  if (!standard_input) {
    do {
      fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return nullptr;
  }
  struct stat info;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    const int saved = S_ISDIR(info.st_mode) ? EISDIR : errno;
    if (!standard_input) ::close(fd);
    errno = saved;
    return nullptr;
  }
  std::unique_ptr<InputStream> stream(new InputStream(fd, !standard_input, name, block_size));
  stream->device_ = info.st_dev;
  stream->inode_ = info.st_ino;
  stream->start_offset_ = -1;
  if (S_ISREG(info.st_mode) || S_ISBLK(info.st_mode)) {
    stream->start_offset_ = ::lseek(fd, 0, SEEK_CUR);
  }
  stream->seekable_ = stream->start_offset_ >= 0;
  if (S_ISREG(info.st_mode)) stream->size_ = static_cast<std::uint64_t>(info.st_size);
  stream->detect_compression();
  return stream;
}

std::unique_ptr<InputStream> InputStream::from_string(std::string data, std::size_t block_size) {
  std::unique_ptr<InputStream> stream(new InputStream(-1, false, "memory", block_size));
  stream->memory_ = std::move(data);
  return stream;
}

// Appends bytes to the spool.
void InputStream::spool_append(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::pwrite(spool_fd_, data, size, static_cast<off_t>(spool_size_));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) KEST_FATAL("Could not write a temporary file for %s\n", name_.c_str());
    data += written;
    size -= static_cast<std::size_t>(written);
    spool_size_ += static_cast<std::uint64_t>(written);
  }
}

// Creates the spool of an input that cannot seek, or brings it up to date with
// the block (which must not start beyond what the spool holds): from now on it
// holds every byte read from the start.
void InputStream::start_spool() {
  if (spool_fd_ < 0) {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern =
        std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/kest-XXXXXX";
    spool_fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (spool_fd_ < 0) KEST_FATAL("Could not create a temporary file for %s\n", name_.c_str());
    ::unlink(pattern.c_str());  // private, and gone when the run ends however it ends
    spool_size_ = 0;
  }
  if (block_pos_ > spool_size_) KEST_FATAL("Could not rewind file %s\n", name_.c_str());
  const std::uint64_t from = spool_size_ - block_pos_;
  if (from < end_) spool_append(block_.get() + from, static_cast<std::size_t>(end_ - from));
}

std::size_t InputStream::read_raw(char* into, std::size_t room) {
  std::size_t got = 0;
  if (raw_used_ < raw_start_.size()) {
    got = std::min(room, raw_start_.size() - raw_used_);
    std::memcpy(into, raw_start_.data() + raw_used_, got);
    raw_used_ += got;
  } else {
    ssize_t result;
    do {
      result = ::read(fd_, into, room);
    } while (result < 0 && errno == EINTR);
    if (result < 0) KEST_FATAL("Could not read file %s\n", name_.c_str());
    got = static_cast<std::size_t>(result);
  }
  raw_pos_ += got;
  return got;
}

// Reads the first bytes of a fresh input and, when they are those of compressed
// data, puts a decoder between the file and the stream. The bytes of an input
// that cannot seek are kept to be read again.
void InputStream::detect_compression() {
  unsigned char magic[kMagicSize];
  std::size_t have = 0;
  while (have < kMagicSize) {
    ssize_t result;
    do {
      result = seekable_ ? ::pread(fd_, magic + have, kMagicSize - have,
                                   start_offset_ + static_cast<off_t>(have))
                         : ::read(fd_, magic + have, kMagicSize - have);
    } while (result < 0 && errno == EINTR);
    if (result < 0) KEST_FATAL("Could not read file %s\n", name_.c_str());
    if (result == 0) break;
    have += static_cast<std::size_t>(result);
  }
  if (!seekable_) raw_start_.assign(reinterpret_cast<const char*>(magic), have);
  const Compression kind = compression_of(magic, have);
  if (kind == Compression::kNone) return;
  decoder_ = make_decoder(
      kind, [this](char* into, std::size_t room) { return read_raw(into, room); }, name_);
  if (decoder_ == nullptr) {
    KEST_FATAL("Could not read file %s: it holds %s data, which this build of kest cannot read\n",
               name_.c_str(), compression_name(kind));
  }
}

std::size_t InputStream::read_source(char* into, std::size_t room) {
  std::size_t got = 0;
  if (fd_ < 0) {
    if (source_pos_ < memory_.size()) {
      got = std::min<std::uint64_t>(room, memory_.size() - source_pos_);
      std::memcpy(into, memory_.data() + source_pos_, got);
    }
  } else if (!seekable_ && spool_fd_ >= 0 && source_pos_ < spool_size_) {
    const std::size_t want = std::min<std::uint64_t>(room, spool_size_ - source_pos_);
    ssize_t result;
    do {
      result = ::pread(spool_fd_, into, want, static_cast<off_t>(source_pos_));
    } while (result < 0 && errno == EINTR);
    if (result <= 0) KEST_FATAL("Could not read file %s\n", name_.c_str());
    got = static_cast<std::size_t>(result);
  } else if (!pipe_done_) {
    got = decoder_ != nullptr ? decoder_->read(into, room) : read_raw(into, room);
    if (!seekable_) {
      if (got == 0) pipe_done_ = true;
      // While later passes may come, what the pipe gives extends the spool.
      if (got != 0 && spool_fd_ >= 0 && !last_pass_ && source_pos_ == spool_size_) {
        spool_append(into, got);
      }
    }
  }
  source_pos_ += got;
  return got;
}

// Brings more input into the block (requires begin_ == end_); false at the end.
bool InputStream::fill() {
  if (source_done_) {
    eof_ = true;
    return false;
  }
  if (end_ == block_size_) {
    // The block starts over. An input that cannot seek would lose its first
    // bytes here, so they go to the spool unless no later pass needs them.
    if (!seekable_ && fd_ >= 0 && !last_pass_ && spool_fd_ < 0) start_spool();
    block_pos_ += end_;
    begin_ = end_ = 0;
  }
  const std::size_t got = read_source(block_.get() + end_, block_size_ - end_);
  if (got == 0) {
    source_done_ = true;
    eof_ = true;
    if (progress_) {
      progress_ = false;
      clear_status_line();
    }
    return false;
  }
  if (progress_) show_progress();
  end_ += got;
  block_[end_] = '\0';
  return true;
}

namespace {

double seconds_now() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

// At most four updates a second: the share of the input read and the rate.
void InputStream::show_progress() {
  const double now = seconds_now();
  if (now - progress_shown_ < 0.25) return;
  progress_shown_ = now;
  const double elapsed = now - progress_start_;
  const double done = static_cast<double>(decoder_ != nullptr ? raw_pos_ : source_pos_);
  char text[64];
  std::snprintf(text, sizeof text, "%3.0f%% %8.1f MB/s", 100.0 * done / static_cast<double>(size_),
                elapsed > 0 ? done / elapsed / 1e6 : 0.0);
  show_status_line(text);
}

void InputStream::restore_line_end() {
  if (line_end_at_ != SIZE_MAX) {
    block_[line_end_at_] = '\n';
    line_end_at_ = SIZE_MAX;
  }
}

namespace {

// The length Line reports: up to the first NUL of the content, the line feed
// counted when the content holds no NUL.
std::size_t line_length(const char* text, std::size_t content, bool line_feed) {
  const void* nul = std::memchr(text, '\0', content);
  if (nul != nullptr) return static_cast<std::size_t>(static_cast<const char*>(nul) - text);
  return content + (line_feed ? 1 : 0);
}

}  // namespace

bool InputStream::next_line(Line& line) {
  restore_line_end();
  ++read_serial_;
  if (begin_ == end_ && !fill()) return false;
  ++line_number_;
  char* from = block_.get() + begin_;
  std::size_t available = end_ - begin_;
  if (auto* feed = static_cast<char*>(std::memchr(from, '\n', available))) {
    const std::size_t content = static_cast<std::size_t>(feed - from);
    *feed = '\0';
    line_end_at_ = static_cast<std::size_t>(feed - block_.get());
    begin_ += content + 1;
    line.text = from;
    line.length = line_length(from, content, true);
    return true;
  }
  // The line goes on beyond the block: gather it whole.
  if (line_.capacity() == 0) line_.reserve(settings().maxbuff);
  line_.assign(from, from + available);
  begin_ = end_;
  bool line_feed = false;
  while (fill()) {
    from = block_.get() + begin_;
    available = end_ - begin_;
    auto* feed = static_cast<char*>(std::memchr(from, '\n', available));
    const std::size_t take = feed != nullptr ? static_cast<std::size_t>(feed - from) : available;
    line_.insert(line_.end(), from, from + take);
    begin_ += take;
    if (feed != nullptr) {
      ++begin_;
      line_feed = true;
      break;
    }
  }
  const std::size_t content = line_.size();
  line_.push_back('\0');
  line_.resize(line_.size() + kLinePadding);
  line.text = line_.data();
  line.length = line_length(line_.data(), content, line_feed);
  return true;
}

void InputStream::rewind(bool last_pass) {
  restore_line_end();
  eof_ = false;
  source_done_ = false;
  keep_comments_ = settings().keep_comments;
  skip_rows_left_ = settings().skip_rows;
  line_number_ = 0;
  ++read_serial_;
  row_notes_ = RowNotes{};
  progress_ = last_pass && size_ > kProgressSize && !settings().quiet && ::isatty(2) == 1;
  if (progress_) progress_start_ = progress_shown_ = seconds_now();
  if (fd_ < 0 || seekable_) {
    if (fd_ >= 0 && ::lseek(fd_, start_offset_, SEEK_SET) != start_offset_) {
      KEST_FATAL("Could not rewind file %s\n", name_.c_str());
    }
    raw_pos_ = 0;
    if (decoder_ != nullptr) decoder_->restart();
    begin_ = end_ = 0;
    block_pos_ = source_pos_ = 0;
    last_pass_ = last_pass;
    return;
  }
  if (block_pos_ == 0) {
    // The block still holds the input from its first byte.
    if (!last_pass && end_ != 0) start_spool();
    begin_ = 0;
  } else {
    if (spool_fd_ < 0 || source_pos_ > spool_size_) {
      KEST_FATAL("Could not rewind file %s\n", name_.c_str());
    }
    begin_ = end_ = 0;
    block_pos_ = source_pos_ = 0;
  }
  last_pass_ = last_pass;
}

char* InputStream::scratch(std::size_t size) {
  if (scratch_.size() < size) scratch_.resize(size);
  return scratch_.data();
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

CommentSink& pending_comment_sink() {
  struct Queue final : CommentSink {
    void comment(std::string_view text) override { pending_comments().emplace_back(text); }
  };
  static Queue queue;
  return queue;
}

namespace {

bool has_digit(const char* text, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    if (is_digit(text[i])) return true;
  }
  return false;
}

// True when the line is data. Uses up one skipped row when the line reaches that test.
bool is_data_line(const Line& line, bool qxstars, std::int32_t& skip_rows) {
  if (line.length == 0) return false;  // first byte NUL
  if (qxstars && std::memchr(line.text, '*', line.length) != nullptr) return false;
  if (skip_rows > 0) {
    --skip_rows;
    return false;
  }
  const char first = line.text[0];
  if (first == '!' || first == '#' || first == ';') return false;
  return has_digit(line.text, line.length);
}

}  // namespace

char* read_data_line(InputStream& in, CommentSink* sink, std::size_t* length) {
  Line line;
  if (!read_data_line(in, sink, line)) return nullptr;
  if (length != nullptr) *length = line.length;
  return line.text;
}

bool read_data_line(InputStream& in, CommentSink* sink, Line& line) {
  const bool qxstars = settings().qxstars;
  while (in.next_line(line)) {
    if (is_data_line(line, qxstars, in.skip_rows_left())) return true;
    if (sink != nullptr && in.keep_comments()) {
      std::size_t size = strnlen(line.text, line.length);
      while (size > 0 && (line.text[size - 1] == '\n' || line.text[size - 1] == '\r')) --size;
      sink->comment(std::string_view(line.text, size));
    }
  }
  return false;
}

// ---------------------------------------------------------------------------
// Counting and parsing

std::uint32_t count_values(const char* line) {
  const std::size_t skip = settings().skip_columns;
  if (strnlen(line, skip + 1) <= skip) return 0;
  const char* p = line + skip;
  std::uint32_t count = 0;
  for (;;) {
    while (is_blank(*p) || *p == ',') ++p;
    if (*p == '\0') break;
    const std::size_t used = scan_number_length(p);
    if (used == 0) break;
    p += used;
    if (count == UINT32_MAX) break;
    ++count;
  }
  return count;
}

std::uint32_t count_variables(InputStream& in, std::uint64_t* first_line) {
  in.rewind();
  Line line;
  const bool found = read_data_line(in, nullptr, line);
  if (first_line != nullptr) *first_line = found ? in.line_number() : 0;
  return found ? count_values(line.text) : 0;
}

std::uint32_t count_rows(InputStream& in, std::uint32_t n) {
  in.rewind();
  std::uint32_t rows = 0;
  while (rows < UINT32_MAX) {
    Line line;
    if (!read_data_line(in, nullptr, line) || count_values(line.text) != n) break;
    ++rows;
  }
  if (!settings().quiet)
    std::fprintf(stderr, "Found %lu rows.\n", static_cast<unsigned long>(rows));
  return rows;
}

std::uint32_t check_rows(InputStream& in, std::uint32_t cols) {
  std::uint32_t line = 0;  // data lines read and counted
  std::uint32_t mismatches = 0;
  std::uint32_t first_mismatch = 0;
  while (!in.eof() && line < UINT32_MAX) {
    Line text;
    if (!read_data_line(in, nullptr, text)) break;
    const std::uint32_t count = count_values(text.text);
    if (count != cols) {
      if (count == 0) break;
      ++mismatches;
      if (first_mismatch == 0) first_mismatch = line + 1;
      clear_status_line();
      std::fprintf(stderr,
                   "Warning: Column count mismatch on line %lu. Should be %lu but found %lu.\n",
                   static_cast<unsigned long>(line + 1), static_cast<unsigned long>(cols),
                   static_cast<unsigned long>(count));
    }
    ++line;
  }
  if (mismatches != 0) {
    clear_status_line();
    std::fprintf(stderr, "Warning: %u column count mismatches found.\nFirst on line %lu",
                 mismatches, static_cast<unsigned long>(first_mismatch));
  }
  return line;
}

void RowNotes::add(const RowNotes& later) {
  if (short_rows == 0 && later.short_rows != 0) {
    first_short_line = later.first_short_line;
    wanted = later.wanted;
  }
  short_rows += later.short_rows;
  if (stop == 0 && later.stop != 0) {
    stop = later.stop;
    stop_line = later.stop_line;
  }
}

namespace {

// The parse of line `line_number` stopped at `stop` before n values. A character
// glued to the number before it is most often a separator the file uses (a
// comma, a slash), and the rest of the line is lost: the first such line is
// noted. Bytes that are not printable are not taken for separators.
void note_short_row(RowNotes& notes, std::uint64_t line_number, const char* stop, bool after_number,
                    std::uint32_t n) {
  if (notes.short_rows++ == 0) {
    notes.first_short_line = line_number;
    notes.wanted = n;
  }
  const char c = *stop;
  if (!after_number || notes.stop != 0 || c <= ' ' || c > '~') return;
  notes.stop = c;
  notes.stop_line = line_number;
}

// Tells the input, once, about the first line whose parse stopped early.
void report_stop(InputStream& in, const RowNotes& notes) {
  if (notes.stop == 0 || in.stop_reported()) return;
  in.stop_reported() = true;
  warning_line(
      "line %lu: '%c' after a number is not a separator; the rest of the line is not read "
      "(use --input-delimiter=%c)",
      static_cast<unsigned long>(notes.stop_line), notes.stop, notes.stop);
}

// The characters that separate values when a row is parsed: blanks, and the
// input delimiter when it is given.
struct Separators {
  char delimiter;
  bool operator()(char c) const { return is_blank(c) || (c == delimiter && c != '\0'); }
};

// An input delimiter that the library's scan can never take into a number (it
// is no letter, digit, sign, point, parenthesis or underscore): a token's scan
// stops at it as at a blank, so the line can be parsed where it stands.
bool delimiter_ends_every_number(char c) {
  return c > ' ' && c <= '~' && !is_digit(c) && !is_letter(c) && c != '+' && c != '-' && c != '.' &&
         c != '(' && c != ')' && c != '_';
}

// Prepares `text` for the n values of `line`.
void start_row_text(RowText& text, std::uint64_t serial, const char* line, const double* values,
                    std::uint32_t n) {
  if (text.start.size() < n) {
    text.start.resize(n);
    text.length.resize(n);
    text.parsed.resize(n);
  }
  text.line = line;
  text.values = values;
  text.serial = serial;
  text.count = n;
  text.whole = false;
}

// The data line of a row, ready to parse: from `begin` (after the skipped
// columns) to `end`, its NUL or line feed, with the separators of the run.
struct ParseLine {
  char* line = nullptr;
  const char* begin = nullptr;
  const char* end = nullptr;
  Separators separates{0};
  bool in_place = true;  // the tokens stand in `line` itself
};

// Makes `parse` the row of the data line `text` of `length` bytes (as Line
// counts them) that ends at `end`; false when the data end there. A delimiter
// that the scan could take into a number is replaced by blanks in `scratch`.
bool prepare_parse_line(char* text, std::size_t length, const char* end, InputStream* scratch,
                        ParseLine& parse) {
  const Settings& s = settings();
  const std::size_t skip = s.skip_columns;
  if (length <= skip) return false;
  parse.line = text;
  parse.begin = text + skip;
  parse.end = end;
  parse.separates = Separators{static_cast<char>(s.input_delimiter)};
  parse.in_place = true;
  if (parse.separates.delimiter != 0 && !delimiter_ends_every_number(parse.separates.delimiter)) {
    // Such a delimiter separates values like a blank before any number is read
    // ("1e5" with the delimiter 'e' is 1 and 5): the row is parsed from a copy.
    const auto size = static_cast<std::size_t>(parse.end - parse.begin);
    char* copy = scratch->scratch(size + 1 + kLinePadding);
    for (std::size_t i = 0; i < size; ++i) {
      copy[i] = parse.begin[i] == parse.separates.delimiter ? ' ' : parse.begin[i];
    }
    std::memset(copy + size, 0, 1 + kLinePadding);
    parse.begin = copy;
    parse.end = copy + size;
    parse.separates.delimiter = 0;
    parse.in_place = false;
  }
  if (parse.end - parse.line > static_cast<std::ptrdiff_t>(UINT32_MAX)) parse.in_place = false;
  return true;
}

// Reads the next data line of a row; false at the end of the data.
bool next_parse_line(InputStream& in, CommentSink* sink, ParseLine& parse) {
  if (in.eof()) return false;
  Line read;
  if (!read_data_line(in, sink, read)) return false;
  // The NUL where the line feed stood, or the first NUL of the line.
  const char* end = read.text + read.length - (read.text[read.length - 1] == '\0' ? 1 : 0);
  return prepare_parse_line(read.text, read.length, end, &in, parse);
}

// Parses the n values of a row. With kEveryValue, every value is stored in
// `values`; without, a value whose token can be copied (marked in `text`) is
// not worked out. `text`, when given, learns where the tokens stand.
template <bool kEveryValue>
void parse_values(const ParseLine& parse, double* values, std::uint32_t n, RowText* text,
                  RowNotes& notes, std::uint64_t line_number, std::uint64_t serial) {
  if (!parse.in_place) text = nullptr;
  if (text != nullptr) start_row_text(*text, serial, parse.line, values, n);
  const char* const end = parse.end;
  // A row is copied whole when every gap is one and the same separator.
  const char* p = parse.begin;
  bool whole = text != nullptr;
  char gap = 0;
  std::uint32_t i = 0;
  while (i < n) {
    const char* token = p;
    while (token < end && parse.separates(*token)) ++token;
    if (token == end) break;
    if (whole) {
      if (i == 0) {
        whole = token == parse.begin;
      } else {
        whole = token == p + 1 && (gap == 0 || *p == gap);
        gap = *p;
      }
    }
    bool canonical = false;
    std::size_t used;
    if constexpr (kEveryValue) {
      used = scan_double(token, &values[i], &canonical);
    } else {
      // The value of a text that can be copied is not needed.
      used = scan_number_shape(token, &canonical);
    }
    if (used == 0) break;
    // The text is the value's own only when a separator ends it.
    canonical = canonical && (token + used == end || parse.separates(token[used]));
    if (!kEveryValue && !canonical) scan_double(token, &values[i]);
    if (text != nullptr) {
      text->start[i] = static_cast<std::uint32_t>(token - parse.line);
      text->length[i] = canonical ? static_cast<std::uint8_t>(used) : 0;
    }
    whole = whole && canonical;
    p = token + used;
    ++i;
  }
  if (i < n) {
    note_short_row(notes, line_number, p, i > 0, n);
    whole = false;
    for (; i < n; ++i) {
      values[i] = 0.0;
      if (text != nullptr) text->length[i] = 0;
    }
  }
  if (text != nullptr) {
    if (kEveryValue && n != 0) std::memcpy(text->parsed.data(), values, sizeof(double) * n);
    if (whole && p == end) {
      text->whole = true;
      text->separator = gap;
      text->begin = static_cast<std::uint32_t>(parse.begin - parse.line);
      text->text_length = static_cast<std::uint32_t>(p - parse.begin);
    }
  }
}

// A row as text from `parse`: the values that cannot be copied, and where the
// tokens stand when they stand in the line.
void parse_text_row(const ParseLine& parse, RowText& row, std::uint32_t n, RowNotes& notes,
                    std::uint64_t line_number, std::uint64_t serial) {
  if (row.parsed.size() < n) row.parsed.resize(n);
  if (!parse.in_place) {
    parse_values<true>(parse, row.parsed.data(), n, nullptr, notes, line_number, serial);
    row.line = nullptr;
    row.count = n;
    if (row.length.size() < n) row.length.resize(n);
    std::fill_n(row.length.begin(), n, std::uint8_t{0});
    row.whole = false;
    return;
  }
  parse_values<false>(parse, row.parsed.data(), n, &row, notes, line_number, serial);
}

}  // namespace

double* read_row(InputStream& in, double* values, CommentSink* sink, std::uint32_t n,
                 RowText* text) {
  ParseLine parse;
  if (!next_parse_line(in, sink, parse)) return nullptr;
  RowNotes& notes = in.row_notes();
  parse_values<true>(parse, values, n, text, notes, in.line_number(), in.read_serial());
  report_stop(in, notes);
  return values;
}

bool read_text_row(InputStream& in, RowText& row, CommentSink* sink, std::uint32_t n) {
  ParseLine parse;
  if (!next_parse_line(in, sink, parse)) return false;
  RowNotes& notes = in.row_notes();
  parse_text_row(parse, row, n, notes, in.line_number(), in.read_serial());
  report_stop(in, notes);
  return true;
}

void add_row_notes(InputStream& in, const RowNotes& notes) {
  in.row_notes().add(notes);
  report_stop(in, in.row_notes());
}

double RowText::value(std::uint32_t i) const {
  if (length[i] == 0) return parsed[i];
  double value = 0.0;
  scan_double(line + start[i], &value);
  return value;
}

// ---------------------------------------------------------------------------
// Runs of whole lines

InputStream::Take InputStream::take_lines(std::size_t limit, const char** begin, const char** end,
                                          std::uint64_t* first_line) {
  restore_line_end();
  if (begin_ == end_ && !fill()) return Take::kEnd;
  const char* from = block_.get() + begin_;
  const std::size_t available = std::min(end_ - begin_, limit);
  const void* last = memrchr(from, '\n', available);
  if (last == nullptr) return Take::kNoWholeLine;
  const char* stop = static_cast<const char*>(last) + 1;
  // A line that holds a NUL byte is read the usual way: the run ends before it.
  if (const void* nul = std::memchr(from, '\0', static_cast<std::size_t>(stop - from))) {
    const void* feed =
        memrchr(from, '\n', static_cast<std::size_t>(static_cast<const char*>(nul) - from));
    if (feed == nullptr) return Take::kNoWholeLine;
    stop = static_cast<const char*>(feed) + 1;
  }
  *begin = from;
  *end = stop;
  *first_line = line_number_ + 1;
  line_number_ += count_line_feeds(from, stop);
  begin_ += static_cast<std::size_t>(stop - from);
  ++read_serial_;
  return Take::kLines;
}

bool RunRows::whole_lines_parse_as_the_stream(const InputStream& in) {
  const Settings& s = settings();
  return const_cast<InputStream&>(in).skip_rows_left() <= 0 &&
         (s.input_delimiter == 0 ||
          delimiter_ends_every_number(static_cast<char>(s.input_delimiter)));
}

RunRows::RunRows(const char* begin, const char* end, std::uint64_t first_line)
    : next_(begin), end_(end), line_number_(first_line - 1) {}

RunRows::Item RunRows::next(RowText& row, std::uint32_t n, std::string_view* comment) {
  const bool qxstars = settings().qxstars;
  std::int32_t no_skip = 0;
  while (next_ < end_) {
    char* line = const_cast<char*>(next_);
    const char* feed = static_cast<const char*>(std::memchr(line, '\n', end_ - next_));
    next_ = feed + 1;
    ++line_number_;
    const Line read{line, static_cast<std::size_t>(feed - line) + 1};
    if (!is_data_line(read, qxstars, no_skip)) {
      std::size_t size = static_cast<std::size_t>(feed - line);
      while (size > 0 && line[size - 1] == '\r') --size;
      *comment = std::string_view(line, size);
      return Item::kComment;
    }
    ParseLine parse;
    if (!prepare_parse_line(line, read.length, feed, nullptr, parse)) return Item::kDataEnd;
    parse_text_row(parse, row, n, notes_, line_number_, 0);
    return Item::kRow;
  }
  return Item::kEnd;
}

}  // namespace kest
