// The frame every operation runs in.
//
// An operation opens a Frame for its job: the frame opens the input, counts its
// variables (and, where asked or where --add-line-count needs them, its rows),
// makes the column selection flags and rewinds the input for the data pass. The
// operation then opens its output (or several, or late) stating the shape it
// writes, reads rows, writes rows, and hands back `frame.finish(rows)`.
//
// The frame alone writes headers, footers and kept comments, and checks every
// write: `finish` writes each footer and closes each output, and only `finish`
// makes the OpResult an operation must return. A fatal error leaves the rows
// written so far and no footer.
//
//   OpResult add(const Job& job) {
//     Frame frame(job);
//     Output& out = frame.open_output(frame.shape());
//     std::uint32_t rows = 0;
//     for (std::span<double> row : frame.rows()) { ...; out.write(row); ++rows; }
//     return frame.finish(rows);
//   }
#pragma once

#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "io/reader.h"
#include "io/writer.h"
#include "ops/registry.h"
#include "select/readflag.h"

namespace kest {

/// The table an operation writes: its number of columns and, where the operation
/// knows it, its number of rows. The header's row figure is `rows` with
/// --add-line-count and 0 otherwise.
struct Shape {
  std::uint32_t cols = 0;
  std::uint32_t rows = 0;
};

/// One opened output: the stream with its style, or a document of the
/// operation's own that takes no style. Without an output name it writes nothing.
class Output final : public CommentSink {
 public:
  void write(const double* values, std::size_t n, const std::uint8_t* flags = nullptr) {
    if (stream_) write_row(*stream_, values, n, flags, text_of(values, n));
  }
  void write(std::span<const double> row, const std::uint8_t* flags = nullptr) {
    write(row.data(), row.size(), flags);
  }
  void comment(std::string_view text) override {
    if (stream_ && styled_) stream_->style().comment(*stream_, text);
  }
  /// Writes `text` as it stands (the body of a document).
  void write_text(std::string_view text) {
    if (stream_) stream_->write(text);
  }
  /// The stream, or nullptr without an output name.
  OutputStream* stream() { return stream_.get(); }

 private:
  friend class Frame;
  // The text of the row the frame parsed last, when `values` holds that row
  // and the input has not moved on since.
  const RowText* text_of(const double* values, std::size_t n) const {
    if (text_ == nullptr || !text_->current(*in_)) return nullptr;
    const auto at = reinterpret_cast<std::uintptr_t>(text_->values);
    const auto from = reinterpret_cast<std::uintptr_t>(values);
    return at >= from && at < from + n * sizeof(double) ? text_ : nullptr;
  }
  std::unique_ptr<OutputStream> stream_;
  bool styled_ = true;  // header, footer and kept comments of the output style
  const RowText* text_ = nullptr;
  const InputStream* in_ = nullptr;
};

/// Where a row function of Frame::each_row writes its rows.
class RowSink {
 public:
  /// Rows go to `stream` (none: nowhere).
  explicit RowSink(OutputStream* stream) : stream_(stream) {}
  /// Writes `row` as it stands now, leaving out the values whose flag is set.
  void write(const RowText& row, const std::uint8_t* flags = nullptr) {
    if (stream_ != nullptr) write_text_row(*stream_, row, flags);
  }

 private:
  OutputStream* stream_;
};

/// A call of `each(row, sink)` for a row function, without owning the function.
class RowFunction {
 public:
  template <class Each>
  explicit RowFunction(Each& each)
      : object_(&each), call_([](void* object, RowText& row, RowSink& sink) {
          (*static_cast<Each*>(object))(row, sink);
        }) {}
  void operator()(RowText& row, RowSink& sink) const { call_(object_, row, sink); }

 private:
  void* object_;
  void (*call_)(void*, RowText&, RowSink&);
};

class RunWorker;

class Frame {
 public:
  struct Needs {
    bool rows = false;          ///< count the rows before the data pass
    bool flags = true;          ///< make the column selection flags
    bool comments = true;       ///< kept comments go to the output (else dropped)
    bool another_pass = false;  ///< the input will be read again after the data pass
    /// A first data line without a number (a header of words and digits) is
    /// refused: the run would write nothing. The file check reports it instead.
    bool columns = true;
  };

  /// Opens the job's input ("Could not open file %s\n"), reports its variables,
  /// counts rows, makes flags, and rewinds for the data pass.
  explicit Frame(const Job& job, Needs needs);
  explicit Frame(const Job& job) : Frame(job, Needs{}) {}
  ~Frame();
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;

  const Job& job() const { return job_; }
  /// The number of variables of the input.
  std::uint32_t cols() const { return cols_; }
  /// The counted rows (0 when not counted).
  std::uint32_t counted_rows() const { return rows_; }
  /// The input's columns and counted rows.
  Shape shape() const { return {cols_, rows_}; }
  /// The column selection flags: cols() + 102 bytes, 1 where selected.
  const std::uint8_t* flags() const { return flags_.data(); }
  SelectionFlags& selection_flags() { return flags_; }
  bool selected(std::size_t column) const { return flags_[column] != 0; }

  /// Opens the job's output with the header for `shape`; kept comments read so
  /// far come first.
  Output& open_output(Shape shape);
  /// Opens a further output of the operation's own name (it must not be an
  /// input of the run).
  Output& open_output(const std::string& name, Shape shape);
  /// Refuses, before any of them is opened, every name of `outputs` that is one of
  /// the run's inputs, so that no output is emptied for a run that is refused.
  void refuse_inputs_as_outputs(const std::vector<std::string>& outputs) const;
  /// Opens the job's output for a document the operation writes whole (a chart):
  /// no header, footer or kept comments, and the file is written from its start
  /// even with --append. Refused like any output when it is one of the inputs.
  Output& open_document();

  /// Parses the next data row into `values` (n of them); nullptr at the end.
  /// Kept comments go to the newest output, or wait for the first one.
  double* read_row(double* values, std::uint32_t n);
  /// The counted rows read into one block of counted_rows() x cols() values. A
  /// data pass that ends before them is fatal ("Can't read all lines\n"), and so,
  /// with `exact`, is one that goes on beyond them.
  Matrix<double> read_table(bool exact);
  /// The next data line as read (for operations that parse it themselves).
  char* read_line();
  /// The input, for passes of the operation's own.
  InputStream& input() { return *in_; }
  /// Goes back to the start of the input for another pass.
  void rewind(bool last_pass) { in_->rewind(last_pass); }

  /// Rows of cols() values in a buffer the frame owns, until the data ends.
  class RowRange;
  RowRange rows();

  /// Calls `each(row, sink)` for every data row, in a pass of its own that ends
  /// where the data end; what `each` writes through the sink reaches `out` in
  /// the order of the rows. With `rows_apart`, rows may be worked on two
  /// threads at once: `each` must then change nothing but the row it is given
  /// (no state across rows, no messages) and may end the run only by a fatal
  /// error, after which the rows before the row that raised it are written.
  /// Returns the rows, saturating.
  std::uint32_t each_row(Output& out, RowFunction each, bool rows_apart = true);

  /// Writes every row to `out` with `change(value)` in place of each selected
  /// value (row by row, column by column); returns the rows written, saturating.
  /// `rows_apart` as for each_row (not for changes that draw random numbers).
  template <class Change>
  std::uint32_t write_changed(Output& out, Change&& change, bool rows_apart = true);

  /// Writes every footer, closes every output (a failed write is fatal) and the
  /// input, and hands back the number of variables and `rows`. Rows of the data
  /// pass that had fewer values than asked for are told about once.
  OpResult finish(std::uint32_t rows);

 private:
  CommentSink* sink();
  std::unique_ptr<OutputStream> open_stream(const std::string& name, bool append);

  Job job_;
  Needs needs_;
  std::unique_ptr<InputStream> in_;
  std::uint32_t cols_ = 0;
  std::uint32_t rows_ = 0;
  SelectionFlags flags_;
  std::vector<std::unique_ptr<Output>> outputs_;
  std::vector<double> row_;
  RowText row_text_;                   // where the values of the row read last stand in its line
  std::unique_ptr<RunWorker> worker_;  // the second thread of each_row, once needed
};

class Frame::RowRange {
 public:
  class iterator {
   public:
    std::span<double> operator*() const { return {frame_->row_.data(), frame_->cols_}; }
    iterator& operator++() {
      advance();
      return *this;
    }
    bool operator==(std::default_sentinel_t) const { return frame_ == nullptr; }

   private:
    friend class RowRange;
    explicit iterator(Frame* frame) : frame_(frame) { advance(); }
    void advance() {
      if (frame_->cols_ == 0 || frame_->read_row(frame_->row_.data(), frame_->cols_) == nullptr) {
        frame_ = nullptr;
      }
    }
    Frame* frame_;
  };
  iterator begin() { return iterator(frame_); }
  std::default_sentinel_t end() { return {}; }

 private:
  friend class Frame;
  explicit RowRange(Frame* frame) : frame_(frame) {}
  Frame* frame_;
};

inline Frame::RowRange Frame::rows() {
  return RowRange(this);
}

template <class Change>
std::uint32_t Frame::write_changed(Output& out, Change&& change, bool rows_apart) {
  // The selected columns, listed once.
  std::vector<std::uint32_t> selected;
  for (std::uint32_t c = 0; c < cols_; ++c) {
    if (flags_[c] != 0) selected.push_back(c);
  }
  auto each = [&](RowText& row, RowSink& sink) {
    for (const std::uint32_t c : selected) row.set(c, change(row.value(c)));
    sink.write(row);
  };
  return each_row(out, RowFunction(each), rows_apart);
}

/// n + 102 zero bytes, filled from the source and Settings.selection_strings
/// (inverted with `invert`).
SelectionFlags make_selection_flags(const SelectionSource& source, std::uint32_t n, bool invert);

/// True when the output name means standard output ("-", "stdout", "STDOUT").
bool names_standard_output(const std::string& name);

}  // namespace kest
