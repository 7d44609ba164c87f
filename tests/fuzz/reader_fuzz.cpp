// The data-file reader under settings taken from the first six bytes: flags
// (keep comments, qxstars, quiet, an input delimiter), skipped rows, skipped
// columns, the delimiter, a tiny block size and the size of a run of lines; the
// rest is the file. The passes the tool makes (count the variables, the rows,
// check the rows, read the rows) run over four streams, which must all read the
// very same thing: a block of a few bytes, so that lines straddle blocks; a block
// holding the whole file; a pipe, which the stream spools for the later passes;
// a small block whose whole lines are parsed as runs apart from the stream. The
// last two read their rows as text, and every token marked for copying must be
// the default text of its value. The top four bits of the flags pick the output
// style and the delimiter: rows written by copying tokens must be the rows
// written from their values.
#include <unistd.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/settings.h"
#include "fuzz_support.h"
#include "io/decompress.h"
#include "io/numtext.h"
#include "io/reader.h"
#include "io/writer.h"

namespace {

using kest::InputStream;

// What the passes read, in the order they read it.
struct Reading {
  std::uint32_t variables = 0;
  std::uint64_t first_line = 0;
  std::uint32_t rows = 0;
  std::uint32_t checked = 0;
  std::string lines;     // the data lines, each with its length
  std::string values;    // the bits of every value read
  std::string comments;  // the kept comment lines, each ended by '\n'
  std::uint64_t short_rows = 0;
  bool operator==(const Reading&) const = default;
};

// Keeps the comment lines and checks that each is one line without its end.
class KeepingSink : public kest::CommentSink {
 public:
  explicit KeepingSink(std::string& kept) : kept_(kept) {}
  void comment(std::string_view text) override {
    KEST_FUZZ_CHECK(text.find('\n') == std::string_view::npos);
    KEST_FUZZ_CHECK(text.find('\0') == std::string_view::npos);
    kept_.append(text).push_back('\n');
  }

 private:
  std::string& kept_;
};

// A stream over `data` through a pipe, which cannot seek: the stream spools it.
std::unique_ptr<InputStream> piped(const std::string& data, std::size_t block_size) {
  int ends[2];
  if (::pipe(ends) != 0) kest::fuzz::fail("no pipe");
  // The input fits in the pipe's buffer (-max_len), so it is written whole at once.
  if (::write(ends[1], data.data(), data.size()) != static_cast<ssize_t>(data.size())) {
    kest::fuzz::fail("input larger than a pipe holds");
  }
  ::close(ends[1]);
  auto in = InputStream::open("/dev/fd/" + std::to_string(ends[0]), block_size);
  ::close(ends[0]);
  if (in == nullptr) kest::fuzz::fail("cannot open the pipe");
  return in;
}

void add_values(Reading& r, const double* values) {
  r.values.append(reinterpret_cast<const char*>(values), r.variables * sizeof(double));
}

// The rows written twice: by copying the tokens where the writer may, and from
// the values alone. Both texts must be the same. Every other row leaves out
// some columns.
struct Writers {
  std::unique_ptr<kest::OutputStream> copying = kest::OutputStream::memory();
  std::unique_ptr<kest::OutputStream> plain = kest::OutputStream::memory();
  std::vector<std::uint8_t> flags;
  std::uint64_t rows = 0;

  const std::uint8_t* next_flags(std::uint32_t n) {
    flags.assign(n, 0);
    for (std::uint32_t i = 0; i < n; ++i) flags[i] = (i + rows) % 3 == 0;
    return ++rows % 2 == 0 ? flags.data() : nullptr;
  }
  ~Writers() { KEST_FUZZ_CHECK(copying->text() == plain->text()); }
};

// Adds a row read as text; each token marked for copying (and the whole row,
// when it is marked so) is the text the writer would make of its value.
void add_text_row(Reading& r, const kest::RowText& row, Writers& out) {
  std::vector<double> values(r.variables);
  std::string joined;
  for (std::uint32_t i = 0; i < r.variables; ++i) {
    values[i] = row.value(i);
    if (row.length[i] == 0) continue;
    char text[kest::kNumberTextSize];
    const std::string_view token(row.line + row.start[i], row.length[i]);
    KEST_FUZZ_CHECK(token == std::string_view(text, kest::format_number_default(values[i], text)));
    if (i > 0 && row.separator != 0) joined.push_back(row.separator);
    joined.append(token);
  }
  if (row.whole) KEST_FUZZ_CHECK(std::string_view(row.line + row.begin, row.text_length) == joined);
  add_values(r, values.data());
  const std::uint8_t* flags = out.next_flags(r.variables);
  kest::write_text_row(*out.copying, row, flags);
  kest::write_row(*out.plain, values.data(), r.variables, flags);
}

enum class Rows { kValues, kText, kRuns };

// The rows of the last pass: as values, as text, or (where the stream allows)
// from runs of whole lines at most `run` bytes long, as the rows of a long
// file are worked on apart from the stream.
void read_rows(InputStream& in, Reading& r, kest::CommentSink& sink, Rows how, std::size_t run) {
  Writers out;
  if (how == Rows::kValues) {
    std::vector<double> row(r.variables + 1);
    kest::RowText text;
    while (kest::read_row(in, row.data(), &sink, r.variables, &text) != nullptr) {
      add_values(r, row.data());
      // A value changed by an operation no longer has its token as its text.
      if (r.variables != 0 && out.rows % 4 == 1) row[out.rows % r.variables] *= -1;
      const std::uint8_t* flags = out.next_flags(r.variables);
      kest::write_row(*out.copying, row.data(), r.variables, flags, &text);
      kest::write_row(*out.plain, row.data(), r.variables, flags);
    }
    return;
  }
  kest::RowText row;
  for (;;) {
    const char* begin = nullptr;
    const char* end = nullptr;
    std::uint64_t first_line = 0;
    const InputStream::Take take =
        how == Rows::kRuns && kest::RunRows::whole_lines_parse_as_the_stream(in)
            ? in.take_lines(run, &begin, &end, &first_line)
            : InputStream::Take::kNoWholeLine;
    if (take == InputStream::Take::kEnd) return;
    if (take == InputStream::Take::kNoWholeLine) {
      if (!kest::read_text_row(in, row, &sink, r.variables)) return;
      add_text_row(r, row, out);
      continue;
    }
    kest::RunRows lines(begin, end, first_line);
    std::string_view comment;
    kest::RunRows::Item item;
    while ((item = lines.next(row, r.variables, &comment)) != kest::RunRows::Item::kEnd) {
      if (item == kest::RunRows::Item::kDataEnd) break;
      if (item == kest::RunRows::Item::kComment && in.keep_comments()) sink.comment(comment);
      if (item == kest::RunRows::Item::kRow) add_text_row(r, row, out);
    }
    kest::add_row_notes(in, lines.notes());
    if (item == kest::RunRows::Item::kDataEnd) return;
  }
}

// Runs the passes over a stream. Kept comments go to the sink above, or with
// `queue` through the queue of comments awaiting their output.
Reading read_all(const std::function<std::unique_ptr<InputStream>()>& open, Rows how,
                 std::size_t run, bool queue) {
  Reading r;
  KeepingSink keeping(r.comments);
  kest::reset_pending_comments();
  std::uint64_t data_lines = 0;
  bool read_through = false;  // no pass ended the run (a refused or corrupt input does)
  kest::fuzz::run_case([&] {
    std::unique_ptr<InputStream> in = open();
    r.variables = kest::count_variables(*in, &r.first_line);
    r.rows = kest::count_rows(*in, r.variables);
    in->rewind();
    r.checked = kest::check_rows(*in, r.variables);
    in->rewind();
    std::size_t length = 0;
    while (const char* line = kest::read_data_line(*in, nullptr, &length)) {
      const std::size_t text = std::strlen(line);
      KEST_FUZZ_CHECK(text <= length && length <= text + 1);
      r.lines.append(line).append(" " + std::to_string(length) + "\n");
      ++data_lines;
    }
    in->rewind(true);
    read_rows(*in, r, queue ? kest::pending_comment_sink() : keeping, how, run);
    r.short_rows = in->row_notes().short_rows;
    read_through = true;
  });
  KEST_FUZZ_CHECK(!read_through || (r.rows <= data_lines && r.checked <= data_lines));
  for (const std::string& text : kest::pending_comments()) keeping.comment(text);
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  kest::fuzz::Input input(bytes, size);
  kest::reset_settings();
  kest::Settings& s = kest::mutable_settings();
  const std::uint8_t flags = input.byte();
  s.keep_comments = (flags & 1) != 0;
  s.qxstars = (flags & 2) != 0;
  s.quiet = (flags & 4) != 0;
  s.delimiter = " ,\t;"[flags >> 6];
  void (*const styles[])() = {kest::select_standard_output, kest::select_csv_output,
                              kest::select_latex_output, kest::select_c_output};
  styles[(flags >> 4) & 3]();
  s.maxbuff = 16;  // the first size of the buffer of straddling lines: it has to grow
  s.skip_rows = input.byte() % 8;
  s.skip_columns = input.byte() % 16;
  const std::uint8_t delimiter = input.byte();
  if ((flags & 8) != 0) s.input_delimiter = static_cast<char>(delimiter != 0 ? delimiter : ',');
  const std::size_t tiny = 1 + input.byte() % 16;
  const std::size_t run = 1 + input.byte() % 64;
  const std::string data(input.rest());
  auto memory = [&data](std::size_t block) {
    return [&data, block] { return InputStream::from_string(data, block); };
  };

  const Reading whole = read_all(memory(data.size() + 1), Rows::kValues, 0, true);
  KEST_FUZZ_CHECK(read_all(memory(tiny), Rows::kValues, 0, false) == whole);
  // A file that starts as compressed data does is read as what it decompresses to
  // (or refused), which a stream over the bytes in memory does not do.
  const Reading through_pipe = read_all([&] { return piped(data, tiny); }, Rows::kText, 0, false);
  const auto* start = reinterpret_cast<const unsigned char*>(data.data());
  if (kest::compression_of(start, data.size()) == kest::Compression::kNone) {
    KEST_FUZZ_CHECK(through_pipe == whole);
  }
  KEST_FUZZ_CHECK(read_all(memory(2 * run), Rows::kRuns, run, false) == whole);
  return 0;
}
