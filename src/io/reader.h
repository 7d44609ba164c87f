// The data-file reader: line classification, counting and row parsing.
//
// A line is data unless (in this order) its first byte is NUL, it holds a '*'
// under --qxstars, it is used up by --skip-rows, it starts with '!', '#' or ';',
// or it holds no decimal digit. Every other line is a comment; comments reach a
// `CommentSink` only with --keep-comments.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kest {

/// Where kept comment lines go (an output, or the queue of an output to come).
class CommentSink {
 public:
  virtual void comment(std::string_view text) = 0;

 protected:
  ~CommentSink() = default;
};

/// One line as read: `text` is NUL-terminated where the line feed stood (and
/// at the first NUL byte the line holds, if any); `length` counts the bytes up
/// to that first NUL, the line feed included. Valid until the next read.
struct Line {
  char* text = nullptr;
  std::size_t length = 0;
};

/// An input file or standard input ("-"), read in large blocks and handed out
/// line by line. A line lying inside the current block is a view into it; only a
/// line that straddles two blocks is copied, into a buffer that grows as needed,
/// so a line is never split whatever its length.
///
/// The stream keeps the state of reading its file: the rows still to skip and
/// whether comments are kept, both taken from Settings and set back by rewind().
/// An input that cannot seek (a pipe, a FIFO, a terminal) is spooled into a
/// private, already unlinked temporary file from the moment a later pass may
/// need it again, so it can be read more than once like a file; a seekable input
/// is never copied.
class InputStream {
 public:
  /// Size of the read block.
  static constexpr std::size_t kBlockSize = 256 * 1024;

  /// Opens `name` ("-" is standard input); nullptr on failure (errno kept). A
  /// directory is refused with EISDIR. `block_size` other than the default
  /// serves tests.
  static std::unique_ptr<InputStream> open(const std::string& name,
                                           std::size_t block_size = kBlockSize);
  /// A seekable stream over the given bytes (tests).
  static std::unique_ptr<InputStream> from_string(std::string data,
                                                  std::size_t block_size = kBlockSize);

  ~InputStream();
  InputStream(const InputStream&) = delete;
  InputStream& operator=(const InputStream&) = delete;

  /// The next line, or false at the end of the input. A failed read is fatal
  /// ("Could not read file %s\n").
  bool next_line(Line& line);
  /// True once a read has met the end of the input.
  bool eof() const { return eof_; }
  /// Goes back to the first byte and restarts the skipped rows and comment
  /// keeping. `last_pass` promises that no further rewind follows, so an input
  /// that cannot seek need not be spooled any more.
  void rewind(bool last_pass = false);

  /// Comment keeping for this pass (the look-ahead passes switch it off).
  bool keep_comments() const { return keep_comments_; }
  void set_keep_comments(bool keep) { keep_comments_ = keep; }
  /// Rows still to be skipped in this pass; the classification uses one up.
  std::int32_t& skip_rows_left() { return skip_rows_left_; }

  /// A scratch buffer of at least `size` bytes that lives with the stream.
  char* scratch(std::size_t size);

  /// The number, from 1 over the whole input, of the line read last in this pass.
  std::uint64_t line_number() const { return line_number_; }

  /// What the row parser met in this pass: rows it filled up with 0 because the
  /// line held fewer numbers than asked for. Set back by rewind().
  struct ShortRows {
    std::uint64_t count = 0;
    std::uint64_t first_line = 0;  ///< line number of the first of them
    std::uint32_t wanted = 0;      ///< values asked for on that line
  };
  ShortRows& short_rows() { return short_rows_; }
  /// Whether the input was told about a character that stopped the parse of a
  /// line (once per input, whatever the passes).
  bool& stop_reported() { return stop_reported_; }

  /// Device and inode of the open file (0, 0 for memory streams).
  dev_t device() const { return device_; }
  ino_t inode() const { return inode_; }
  const std::string& name() const { return name_; }

 private:
  InputStream(int fd, bool owned, std::string name, std::size_t block_size);
  bool fill();
  std::size_t read_source(char* into, std::size_t room);
  void start_spool();
  void spool_append(const char* data, std::size_t size);
  void restore_line_end();

  int fd_;
  bool owned_;
  std::string name_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  bool seekable_ = true;
  off_t start_offset_ = 0;  // where a seekable input began (standard input may not be at 0)

  std::unique_ptr<char[]> block_;  // block_size_ + 1 bytes: room for a closing NUL
  std::size_t block_size_;
  std::size_t begin_ = 0;          // next unread byte in block_
  std::size_t end_ = 0;            // bytes held in block_
  std::uint64_t block_pos_ = 0;    // input position of block_[0]
  std::uint64_t source_pos_ = 0;   // input position of the next byte read from the source
  bool eof_ = false;
  bool source_done_ = false;       // the source reported its end in this pass
  std::size_t line_end_at_ = SIZE_MAX;  // a line feed of block_ replaced by NUL

  // Spooling of an input that cannot seek.
  int spool_fd_ = -1;
  std::uint64_t spool_size_ = 0;
  bool last_pass_ = false;         // no rewind follows: bytes need not be kept
  bool pipe_done_ = false;         // the pipe itself has ended

  std::string memory_;             // bytes of a memory stream
  std::vector<char> line_;         // a line that straddles blocks
  std::vector<char> scratch_;

  bool keep_comments_ = false;
  std::int32_t skip_rows_left_ = 0;
  std::uint64_t line_number_ = 0;
  ShortRows short_rows_;
  bool stop_reported_ = false;

  // The progress line of a long last pass (standard error a terminal, not quiet,
  // a file larger than kProgressSize).
  void show_progress();
  std::uint64_t size_ = 0;  // of a regular file
  bool progress_ = false;
  double progress_start_ = 0;
  double progress_shown_ = 0;
};

/// Inputs larger than this show the progress of their data pass on a terminal.
inline constexpr std::uint64_t kProgressSize = 64ULL << 20;

/// Comment lines read while the output they belong to is not open yet, first
/// in first out.
std::deque<std::string>& pending_comments();
/// Empties pending_comments() (tests).
void reset_pending_comments();
/// A sink that queues into pending_comments().
CommentSink& pending_comment_sink();

/// The next data line, or nullptr at end of input. Non-data lines are stripped
/// of their line end and, when the stream keeps comments, handed to `sink` (none:
/// they are dropped). `length` receives the data line's length as `Line` counts it.
char* read_data_line(InputStream& in, CommentSink* sink, std::size_t* length = nullptr);

/// The number of leading numbers on a data line (blanks and commas separate them),
/// after the --skip-columns characters.
std::uint32_t count_values(const char* line);

/// The number of values on the first data line, read from the start of the input.
/// `first_line` receives the line number of that line (0 when there is none).
std::uint32_t count_variables(InputStream& in, std::uint64_t* first_line = nullptr);

/// The number of data lines from the start holding exactly `n` values, up to the
/// first that does not; reports "Found %lu rows.\n" unless quiet.
std::uint32_t count_rows(InputStream& in, std::uint32_t n);

/// Reads the data lines from where the stream stands, warning on standard error
/// about every line whose number of values is not `cols` ("Warning: Column count
/// mismatch on line %lu. ..."), then about their number and the first of them.
/// Returns the number of data lines read, mismatching ones included, up to the
/// first line on which no value can be counted (saturating).
std::uint32_t check_rows(InputStream& in, std::uint32_t cols);

/// Parses the next data line into `values` (n of them, missing ones 0.0). Returns
/// `values`, or nullptr at the end of the data. Kept comments go to `sink`. A line
/// with fewer numbers than n is noted in the stream's short_rows(); the first line
/// whose parse stops at a character glued to a number ("1,2,3", "3,5",
/// "2/27/2003") is reported once on standard error.
double* read_row(InputStream& in, double* values, CommentSink* sink, std::uint32_t n);

}  // namespace kest
