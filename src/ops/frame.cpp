#include "ops/frame.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "base/settings.h"

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
  if (source.kind == SelectionSource::Kind::kNoSelection) return flags;
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

Frame::~Frame() = default;

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
  return kest::read_row(*in_, values, sink(), n);
}

Matrix<double> Frame::read_table(bool exact) {
  Matrix<double> table = matrix_alloc(rows_, cols_);
  std::uint32_t read = 0;
  while (read < rows_ && read_row(table[read], cols_) != nullptr) ++read;
  if (read != rows_ || (exact && read_row(row_.data(), cols_) != nullptr)) {
    KEST_FATAL("Can't read all lines\n");
  }
  return table;
}

char* Frame::read_line() { return read_data_line(*in_, sink()); }

OpResult Frame::finish(std::uint32_t rows) {
  for (auto& output : outputs_) {
    if (OutputStream* stream = output->stream()) {
      if (output->styled_) stream->style().footer(*stream);
      stream->close();
    }
  }
  outputs_.clear();
  const InputStream::ShortRows& short_rows = in_->short_rows();
  if (short_rows.count != 0) {
    warning_line("%lu rows had fewer than %lu values and were filled with 0 (first at line %lu)",
                 static_cast<unsigned long>(short_rows.count),
                 static_cast<unsigned long>(short_rows.wanted),
                 static_cast<unsigned long>(short_rows.first_line));
  }
  in_.reset();
  // Comments of this input that no output took do not reach the next input's output.
  reset_pending_comments();
  return OpResult(cols_, rows);
}

}  // namespace kest
