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

class Decoder;

/// Where kept comment lines go (an output, or the queue of an output to come).
class CommentSink {
 public:
  virtual void comment(std::string_view text) = 0;

 protected:
  ~CommentSink() = default;
};

/// Bytes that may be read past the end of every line the reader hands out.
inline constexpr std::size_t kLinePadding = 16;

/// One line as read: `text` is NUL-terminated where the line feed stood (and
/// at the first NUL byte the line holds, if any); `length` counts the bytes up
/// to that first NUL, the line feed included. Valid until the next read.
struct Line {
  char* text = nullptr;
  std::size_t length = 0;
};

/// What the row parser met besides values: rows it filled up with 0 because
/// the line held fewer numbers than asked for, and the first line whose parse
/// stopped at a character glued to a number.
struct RowNotes {
  std::uint64_t short_rows = 0;
  std::uint64_t first_short_line = 0;  ///< line number of the first short row
  std::uint32_t wanted = 0;            ///< values asked for on that line
  std::uint64_t stop_line = 0;         ///< the first line whose parse stopped so
  char stop = 0;                       ///< at this character (0: none)

  /// Adds the notes of the lines after these.
  void add(const RowNotes& later);
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
  /// Grows with every line read and every rewind: a line handed out stays valid
  /// while it has not changed.
  std::uint64_t read_serial() const { return read_serial_; }

  /// What the row parser met in this pass; set back by rewind().
  RowNotes& row_notes() { return row_notes_; }
  /// Whether the input was told about a character that stopped the parse of a
  /// line (once per input, whatever the passes).
  bool& stop_reported() { return stop_reported_; }

  /// True once rewind() promised that no further pass follows.
  bool last_pass() const { return last_pass_; }

  /// How take_lines ends.
  enum class Take { kLines, kNoWholeLine, kEnd };
  /// Takes the whole lines that the read block holds from where reading stands
  /// (at most `limit` bytes of them, at least one line), for parsing them apart
  /// from the stream: [begin, end) ends with a line feed, and `first_line` is
  /// the number of its first line. kNoWholeLine when the next line goes on
  /// beyond the block (read it with next_line), kEnd at the end of the input.
  Take take_lines(std::size_t limit, const char** begin, const char** end,
                  std::uint64_t* first_line);

  /// Device and inode of the open file (0, 0 for memory streams).
  dev_t device() const { return device_; }
  ino_t inode() const { return inode_; }
  const std::string& name() const { return name_; }

 private:
  InputStream(int fd, bool owned, std::string name, std::size_t block_size);
  bool fill();
  std::size_t read_source(char* into, std::size_t room);
  std::size_t read_raw(char* into, std::size_t room);
  void detect_compression();
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
  std::size_t begin_ = 0;         // next unread byte in block_
  std::size_t end_ = 0;           // bytes held in block_
  std::uint64_t block_pos_ = 0;   // input position of block_[0]
  std::uint64_t source_pos_ = 0;  // input position of the next byte read from the source
  bool eof_ = false;
  bool source_done_ = false;            // the source reported its end in this pass
  std::size_t line_end_at_ = SIZE_MAX;  // a line feed of block_ replaced by NUL

  // Spooling of an input that cannot seek.
  int spool_fd_ = -1;
  std::uint64_t spool_size_ = 0;
  bool last_pass_ = false;  // no rewind follows: bytes need not be kept
  bool pipe_done_ = false;  // the pipe itself has ended

  std::string memory_;  // bytes of a memory stream

  // Compressed input: the decoder between the file and the stream, and the
  // first bytes of an input that cannot seek, read to tell its kind.
  std::unique_ptr<Decoder> decoder_;
  std::string raw_start_;
  std::size_t raw_used_ = 0;
  std::uint64_t raw_pos_ = 0;  // raw bytes read in this pass
  std::vector<char> line_;     // a line that straddles blocks
  std::vector<char> scratch_;

  bool keep_comments_ = false;
  std::int32_t skip_rows_left_ = 0;
  std::uint64_t line_number_ = 0;
  std::uint64_t read_serial_ = 0;
  RowNotes row_notes_;
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
/// The same, giving the whole Line; false at end of input.
bool read_data_line(InputStream& in, CommentSink* sink, Line& line);

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

/// The longest token RowText marks for copying (fifteen characters), with room.
inline constexpr std::size_t kMaxCopiedToken = 16;

/// Where the values of the row parsed last stand in its line, for writing a value
/// that is still the one read as the very text it was read from. Only tokens in
/// the form that is their own default number text are marked (scan_canonical),
/// so copying such a token writes the bytes its value's text would be.
struct RowText {
  const char* line = nullptr;        ///< the parsed line (valid until the next read)
  const double* values = nullptr;    ///< where the row was parsed to
  std::uint64_t serial = 0;          ///< the stream's read_serial() at the parse
  std::uint32_t count = 0;           ///< values parsed (n)
  std::vector<std::uint32_t> start;  ///< offset of value i's token in `line`
  std::vector<std::uint8_t> length;  ///< its length; 0 when it cannot be copied
  std::vector<double> parsed;        ///< the values as parsed (see read_text_row)
  /// Set when the line holds just the n tokens, each marked, with one and the
  /// same `separator` character between them: the row can be copied whole.
  bool whole = false;
  char separator = 0;             ///< 0 for a row of one value
  std::uint32_t begin = 0;        ///< the row's text in `line`: from `begin`
  std::uint32_t text_length = 0;  ///< for this many characters

  /// True while the stream has not moved on since the parse.
  bool current(const InputStream& in) const {
    return line != nullptr && serial == in.read_serial();
  }

  /// Value i of a row read by read_text_row: the parsed value, or the one its
  /// copied token stands for.
  double value(std::uint32_t i) const;
  /// Makes value i `v`, written as a number from now on.
  void set(std::uint32_t i, double v) {
    parsed[i] = v;
    length[i] = 0;
    whole = false;
  }
};

/// Parses the next data line into `values` (n of them, missing ones 0.0). Returns
/// `values`, or nullptr at the end of the data. Kept comments go to `sink`. A line
/// with fewer numbers than n is noted in the stream's short_rows(); the first line
/// whose parse stops at a character glued to a number ("1,2,3", "3,5",
/// "2/27/2003") is reported once on standard error.
double* read_row(InputStream& in, double* values, CommentSink* sink, std::uint32_t n,
                 RowText* text = nullptr);

/// The rows of a run of whole lines that InputStream::take_lines handed out,
/// read as read_text_row reads them from the stream, but apart from it (on any
/// thread): kept comments come out as items, notes are kept here. Only for
/// streams whose lines parse alike wherever they stand (see below).
class RunRows {
 public:
  enum class Item { kRow, kComment, kDataEnd, kEnd };

  /// True when the rows of `in` can be read from runs of its lines: no more rows
  /// to skip, and no input delimiter that needs a copy of the line.
  static bool whole_lines_parse_as_the_stream(const InputStream& in);

  RunRows(const char* begin, const char* end, std::uint64_t first_line);
  /// The next item; a row goes to `row` (n values), a comment (without its line
  /// end) to `comment`. The line holds no NUL byte.
  Item next(RowText& row, std::uint32_t n, std::string_view* comment);
  const RowNotes& notes() const { return notes_; }

 private:
  const char* next_;
  const char* end_;
  std::uint64_t line_number_;
  RowNotes notes_;
};

/// Adds the notes of rows read apart from `in` (in the order of its lines) to
/// its own, telling about a stopped parse as read_row would.
void add_row_notes(InputStream& in, const RowNotes& notes);

/// Reads the next row as text: where each of its n tokens stands, and the
/// values (in `row.parsed`) of those that cannot be copied as they stand; the
/// others are worked out only when asked for (RowText::value). False at the end
/// of the data. Valid until the next read.
bool read_text_row(InputStream& in, RowText& row, CommentSink* sink, std::uint32_t n);

}  // namespace kest
