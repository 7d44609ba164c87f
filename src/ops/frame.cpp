#include "ops/frame.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

#include "base/settings.h"
#include "base/text.h"

namespace kest {

bool names_standard_output(const std::string& name) {
  return name == "stdout" || name == "STDOUT" || name == "-";
}

namespace {

bool same_file(const struct stat& a, dev_t device, ino_t inode) {
  return a.st_dev == device && a.st_ino == inode;
}

// Refuses an output that is one of the run's input files (same device and inode,
// whatever the names), before the output is opened or truncated.
void refuse_input_as_output(const Job& job, const InputStream& in, const std::string& out_name) {
  struct stat out {};
  const int status =
      names_standard_output(out_name) ? ::fstat(1, &out) : ::stat(out_name.c_str(), &out);
  if (status != 0 || !S_ISREG(out.st_mode)) return;
  bool clash = same_file(out, in.device(), in.inode());
  struct stat selection {};
  if (job.selection.kind == SelectionSource::Kind::kFile &&
      ::stat(job.selection.file.c_str(), &selection) == 0) {
    clash = clash || same_file(out, selection.st_dev, selection.st_ino);
  }
  for (const std::string& name : job.also_read) {
    struct stat read {};
    clash = clash || (::stat(name.c_str(), &read) == 0 && same_file(out, read.st_dev, read.st_ino));
  }
  if (clash) KEST_FATAL("Input and output are the same file: %s\n", out_name.c_str());
}

}  // namespace

SelectionFlags make_selection_flags(const SelectionSource& source, std::uint32_t n, bool invert) {
  SelectionFlags flags =
      vector_or_die<std::uint8_t>(__FILE_NAME__, __LINE__, static_cast<std::size_t>(n) + 102);
  std::optional<std::string> file;
  if (source.kind == SelectionSource::Kind::kFile) file = source.file;
  parse_selection(file, flags.data(), invert, settings().selection_strings, n);
  return flags;
}

Frame::Frame(const Job& job, Needs needs) : job_(job), needs_(needs) {
  in_ = InputStream::open(job_.in);
  if (!in_) KEST_FATAL("Could not open file %s\n", job_.in.c_str());
  const Settings& s = settings();
  std::uint64_t first_line = 0;
  cols_ = count_variables(*in_, &first_line);
  if (cols_ == 0 && first_line != 0 && needs_.columns) {
    KEST_FATAL("No number on the first data line (line %lu); skip header lines with --skip-rows\n",
               static_cast<unsigned long>(first_line));
  }
  if (!s.quiet) std::fprintf(stderr, "Found %lu variables.\n", static_cast<unsigned long>(cols_));
  if (needs_.rows || s.add_line_count) rows_ = count_rows(*in_, cols_);
  flags_ = needs_.flags ? make_selection_flags(job_.selection, cols_, s.inverse)
                        : vector_or_die<std::uint8_t>(__FILE_NAME__, __LINE__,
                                                      static_cast<std::size_t>(cols_) + 102);
  row_ = vector_or_die<double>(__FILE_NAME__, __LINE__, cols_);
  in_->rewind(!needs_.another_pass);
  std::fflush(stderr);
  std::fflush(stdout);
}

// The second thread of each_row: runs one task at a time for the frame.
class RunWorker {
 public:
  RunWorker() : thread_([this] { loop(); }) {}
  ~RunWorker() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
  }
  RunWorker(const RunWorker&) = delete;
  RunWorker& operator=(const RunWorker&) = delete;

  void start(std::function<void()> task) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      task_ = std::move(task);
      busy_ = true;
    }
    wake_.notify_all();
  }
  void wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return !busy_; });
  }

 private:
  void loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || (busy_ && task_); });
      if (stopping_) return;
      std::function<void()> task = std::move(task_);
      task_ = nullptr;
      lock.unlock();
      task();  // catches what it raises
      lock.lock();
      busy_ = false;
      done_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::function<void()> task_;
  bool busy_ = false;
  bool stopping_ = false;
  std::jthread thread_;  // last: it stops before the rest goes
};

Frame::~Frame() = default;

namespace {

// A run is the whole lines of one read block; runs smaller than kSplitBytes are
// worked on one thread.
constexpr std::size_t kRunBytes = InputStream::kBlockSize;
constexpr std::size_t kSplitBytes = 32 * 1024;

// One thread's share of a run of lines, with what its rows wrote.
struct RunPart {
  const char* begin = nullptr;
  const char* end = nullptr;
  std::uint64_t first_line = 0;
  std::unique_ptr<OutputStream> stream = OutputStream::memory();
  RowText row;
  std::uint64_t rows = 0;
  bool data_end = false;
  std::exception_ptr error;
  RowNotes notes;

  void work(std::uint32_t n, bool keep_comments, RowFunction each) {
    rows = 0;
    data_end = false;
    error = nullptr;
    RunRows lines(begin, end, first_line);
    try {
      RowSink sink(stream.get());
      std::string_view comment;
      for (;;) {
        const RunRows::Item item = lines.next(row, n, &comment);
        if (item == RunRows::Item::kEnd) break;
        if (item == RunRows::Item::kDataEnd) {
          data_end = true;
          break;
        }
        if (item == RunRows::Item::kComment) {
          if (keep_comments) stream->style().comment(*stream, comment);
          continue;
        }
        each(row, sink);
        ++rows;
      }
    } catch (...) {
      error = std::current_exception();
    }
    notes = lines.notes();
  }
};

}  // namespace

std::uint32_t Frame::each_row(Output& out, RowFunction each, bool rows_apart) {
  std::uint64_t rows = 0;
  RowSink direct(out.stream());
  auto one_row = [&] {
    if (cols_ == 0 || !read_text_row(*in_, row_text_, sink(), cols_)) return false;
    each(row_text_, direct);
    ++rows;
    return true;
  };
  auto saturated = [&rows] {
    return rows < UINT32_MAX ? static_cast<std::uint32_t>(rows) : UINT32_MAX;
  };
  // Rows are worked on two threads in the last pass, when kept comments and rows
  // go to the one output `out`.
  bool apart = rows_apart && cols_ != 0 && in_->last_pass() && out.stream() != nullptr &&
               out.styled_ && !outputs_.empty() && outputs_.back().get() == &out;
  if (apart && worker_ == nullptr) {
    try {
      worker_ = std::make_unique<RunWorker>();
    } catch (const std::system_error&) {
      apart = false;  // no second thread to be had: one will do
    }
  }
  if (!apart) {
    while (one_row()) {
    }
    return saturated();
  }
  const bool keep_comments = needs_.comments && in_->keep_comments();
  RunPart parts[2];
  for (;;) {
    if (!RunRows::whole_lines_parse_as_the_stream(*in_)) {
      if (!one_row()) break;
      continue;
    }
    const char* begin;
    const char* end;
    std::uint64_t first_line;
    const InputStream::Take take = in_->take_lines(kRunBytes, &begin, &end, &first_line);
    if (take == InputStream::Take::kEnd) break;
    if (take == InputStream::Take::kNoWholeLine) {
      if (!one_row()) break;
      continue;
    }
    const char* middle = end;
    if (static_cast<std::size_t>(end - begin) >= kSplitBytes) {
      const char* half = begin + (end - begin) / 2;
      middle =
          static_cast<const char*>(std::memchr(half, '\n', static_cast<std::size_t>(end - half))) +
          1;
    }
    parts[0].begin = begin;
    parts[0].end = middle;
    parts[0].first_line = first_line;
    parts[1].begin = middle;
    parts[1].end = end;
    parts[1].first_line = first_line + count_line_feeds(begin, middle);
    const bool split = middle != end;
    const std::uint32_t n = cols_;
    if (split)
      worker_->start([&parts, n, keep_comments, each] { parts[1].work(n, keep_comments, each); });
    parts[0].work(n, keep_comments, each);
    if (split) worker_->wait();
    // The rows reach the output in their order; a run ends at the data's end or
    // at the first fatal error, after the rows before it.
    for (RunPart& part : parts) {
      if (&part == &parts[1] && !split) break;
      part.stream->move_text_to(*out.stream());
      rows += part.rows;
      add_row_notes(*in_, part.notes);
      if (part.error) std::rethrow_exception(part.error);
      if (part.data_end) return saturated();
    }
  }
  return saturated();
}

Output& Frame::open_output(Shape shape) {
  if (!job_.out) {
    outputs_.push_back(std::make_unique<Output>());
    return *outputs_.back();
  }
  return open_output(*job_.out, shape);
}

std::unique_ptr<OutputStream> Frame::open_stream(const std::string& name, bool append) {
  refuse_input_as_output(job_, *in_, name);
  if (names_standard_output(name)) return OutputStream::standard_output(name);
  std::unique_ptr<OutputStream> stream = OutputStream::open_file(name, append);
  if (!stream) {
    KEST_FATAL("Could not open file %s for %s\n", name.c_str(), append ? "appending" : "writing");
  }
  return stream;
}

Output& Frame::open_output(const std::string& name, Shape shape) {
  const Settings& s = settings();
  auto output = std::make_unique<Output>();
  output->stream_ = open_stream(name, s.append);
  OutputStream& stream = *output->stream_;
  auto& queue = pending_comments();
  while (!queue.empty()) {
    if (s.keep_comments) stream.style().comment(stream, queue.front());
    queue.pop_front();
  }
  stream.style().header(stream, shape.cols, s.add_line_count ? shape.rows : 0);
  output->text_ = &row_text_;
  output->in_ = in_.get();
  outputs_.push_back(std::move(output));
  return *outputs_.back();
}

void Frame::refuse_inputs_as_outputs(const std::vector<std::string>& outputs) const {
  for (const std::string& name : outputs) refuse_input_as_output(job_, *in_, name);
}

Output& Frame::open_document() {
  auto output = std::make_unique<Output>();
  output->styled_ = false;
  // A document appended to another is no document: it is always written whole.
  if (job_.out) output->stream_ = open_stream(*job_.out, false);
  outputs_.push_back(std::move(output));
  return *outputs_.back();
}

CommentSink* Frame::sink() {
  if (!needs_.comments) return nullptr;
  if (outputs_.empty()) return &pending_comment_sink();
  return outputs_.back().get();
}

double* Frame::read_row(double* values, std::uint32_t n) {
  return kest::read_row(*in_, values, sink(), n, &row_text_);
}

Matrix<double> Frame::read_table(bool exact) {
  Matrix<double> table = matrix_alloc(rows_, cols_);
  std::uint32_t read = 0;
  while (read < rows_ && kest::read_row(*in_, table[read], sink(), cols_) != nullptr) ++read;
  if (read != rows_ || (exact && kest::read_row(*in_, row_.data(), sink(), cols_) != nullptr)) {
    KEST_FATAL("Can't read all lines\n");
  }
  return table;
}

char* Frame::read_line() {
  return read_data_line(*in_, sink());
}

OpResult Frame::finish(std::uint32_t rows) {
  for (auto& output : outputs_) {
    if (OutputStream* stream = output->stream()) {
      if (output->styled_) stream->style().footer(*stream);
      stream->close();
    }
  }
  outputs_.clear();
  const RowNotes& notes = in_->row_notes();
  if (notes.short_rows != 0) {
    warning_line("%lu rows had fewer than %lu values and were filled with 0 (first at line %lu)",
                 static_cast<unsigned long>(notes.short_rows),
                 static_cast<unsigned long>(notes.wanted),
                 static_cast<unsigned long>(notes.first_short_line));
  }
  in_.reset();
  // Comments of this input that no output took do not reach the next input's output.
  reset_pending_comments();
  return OpResult(cols_, rows);
}

}  // namespace kest
