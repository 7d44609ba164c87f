// The data-file reader: line classification, counting and row parsing.
//
// A line is data unless (in this order) its first byte is NUL, it holds a '*'
// under --qxstars, it is used up by --skip-rows, it starts with '!', '#' or ';',
// or it holds no decimal digit. Every other line is a comment; comments are passed
// to the output (or queued until one exists) only with --keep-comments.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

namespace kest {

class OutputStream;

/// A buffered input file read line by line, with one line buffer of
/// `Settings.maxbuff` bytes that lives as long as the stream.
class InputStream {
 public:
  /// Size of the read block; a pipe can be rewound while its input fits in one.
  static constexpr std::size_t kBlockSize = 256 * 1024;

  /// Opens `name` for reading; nullptr on failure (errno kept). A directory is
  /// refused with EISDIR. `block_size` other than the default serves tests.
  static std::unique_ptr<InputStream> open(const std::string& name,
                                           std::size_t block_size = kBlockSize);
  /// A stream over the given bytes, read block by block like a seekable file.
  static std::unique_ptr<InputStream> from_string(std::string data,
                                                  std::size_t block_size = kBlockSize);

  ~InputStream();
  InputStream(const InputStream&) = delete;
  InputStream& operator=(const InputStream&) = delete;

  /// Reads like fgets: at most size - 1 bytes, stopping after a line feed, and a
  /// terminating NUL. Returns the number of bytes stored (NULs inside the line
  /// included), 0 at end of input (the buffer is then left as it was). A size of
  /// 1 stores only the NUL and returns 0. A failed read is fatal
  /// ("Could not read file %s\n").
  std::size_t get_line(char* buffer, std::size_t size);
  /// True once a read has met the end of the input.
  bool eof() const { return eof_; }
  /// Goes back to the first byte. A pipe can go back only while its first block
  /// is still held; otherwise this is fatal.
  void rewind();

  /// The stream's line buffer of `line_capacity()` bytes, allocated at the first
  /// call with the Settings.maxbuff of that moment and reused afterwards.
  char* line_buffer();
  /// The size of the line buffer (allocating it like line_buffer() when needed).
  std::size_t line_capacity() {
    if (!line_) line_buffer();
    return line_capacity_;
  }

  /// Device and inode of the open file (0, 0 for memory streams).
  dev_t device() const { return device_; }
  ino_t inode() const { return inode_; }
  const std::string& name() const { return name_; }

 private:
  InputStream(int fd, std::string name, std::size_t block_size);
  bool fill();

  int fd_;
  std::string name_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  std::unique_ptr<char[]> block_;
  std::size_t block_size_ = 0;
  std::size_t begin_ = 0;     // next unread byte in block_
  std::size_t end_ = 0;       // bytes held in block_
  bool eof_ = false;          // a read met the end (cleared by rewind)
  bool source_done_ = false;  // the file reported its end; a pipe is not read again
  bool at_start_ = true;      // block_ still holds the input from its first byte
  std::string memory_;        // bytes of a memory stream
  std::size_t memory_pos_ = 0;
  std::unique_ptr<char[]> line_;
  std::size_t line_capacity_ = 0;
};

/// Keeps the skip-rows counter and comment keeping of the caller across a
/// look-ahead pass (counting, a selection file), which runs with comment keeping
/// off; both are put back when the guard ends, also on a fatal error.
class ReaderLookAhead {
 public:
  ReaderLookAhead();
  ~ReaderLookAhead();
  ReaderLookAhead(const ReaderLookAhead&) = delete;
  ReaderLookAhead& operator=(const ReaderLookAhead&) = delete;

 private:
  std::int32_t skip_rows_;
  bool keep_comments_;
};

/// Comment lines read while no output existed, first in first out.
std::deque<std::string>& pending_comments();
/// Empties pending_comments() (tests).
void reset_pending_comments();

/// Reads lines into `buffer` until a data line is found and returns it (line end
/// included), or nullptr at end of input. Non-data lines are stripped of their
/// line end and, with --keep-comments, written through the comment hook to `out`,
/// or queued in pending_comments() when `out` is null.
char* read_data_line(char* buffer, std::size_t size, InputStream& in, OutputStream* out);

/// The number of leading numbers on a data line (blanks and commas separate them),
/// after the --skip-columns characters.
std::uint32_t count_values(const char* line);

/// The number of values on the first data line; the stream is rewound and the
/// skip-rows counter restored.
std::uint32_t count_variables(InputStream& in);

/// The number of data lines from the start holding exactly `n` values, up to the
/// first that does not; reports "Found %lu rows.\n" unless quiet. The stream is
/// rewound and the skip-rows counter restored.
std::uint32_t count_rows(InputStream& in, std::uint32_t n);

/// Parses the next data line into `values` (n of them, missing ones 0.0). Returns
/// `values`, or nullptr at the end of the data. Kept comments go to `out`.
double* read_row(InputStream& in, double* values, OutputStream* out, std::uint32_t n);

}  // namespace kest
