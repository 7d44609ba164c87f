#include "io/frame.h"

#include <sys/stat.h>

#include <cstdio>

#include "base/settings.h"

namespace kest {

namespace {

std::uint32_t g_selected_count = 0;

bool names_standard_output(const std::string& name) {
  return name == "stdout" || name == "STDOUT" || name == "-";
}

// Refuses an output that is the input file itself (same device and inode, whatever
// the names), before the output is opened or truncated.
void refuse_same_file(const FilePair& pair, const std::string& out_name) {
  struct stat out_stat {};
  int status = names_standard_output(out_name) ? fstat(1, &out_stat)
                                               : stat(out_name.c_str(), &out_stat);
  if (status != 0 || !S_ISREG(out_stat.st_mode)) return;
  dev_t device;
  ino_t inode;
  if (pair.in) {
    device = pair.in->device();
    inode = pair.in->inode();
  } else {
    struct stat in_stat {};
    if (stat(pair.in_name.c_str(), &in_stat) != 0) return;
    device = in_stat.st_dev;
    inode = in_stat.st_ino;
  }
  if (device == out_stat.st_dev && inode == out_stat.st_ino) {
    KEST_FATAL("Input and output are the same file: %s\n", out_name.c_str());
  }
}

}  // namespace

std::uint32_t& selected_count() { return g_selected_count; }

SelectionFlags make_selection_flags(const SelectionSource& source, std::uint32_t n) {
  SelectionFlags flags =
      vector_or_die<std::uint8_t>(__FILE_NAME__, __LINE__, static_cast<std::size_t>(n) + 102);
  if (source.kind == SelectionSource::Kind::kNoSelection) {
    g_selected_count = 0;
    return flags;
  }
  std::optional<std::string> file;
  if (source.kind == SelectionSource::Kind::kFile) file = source.file;
  const Settings& s = settings();
  parse_selection(file, flags.data(), s.inverse, s.selection_strings, n);
  g_selected_count = count_unselected(flags.data(), n);
  return flags;
}

std::uint32_t open_input(FilePair& pair) {
  pair.in = InputStream::open(pair.in_name);
  if (!pair.in) KEST_FATAL("Could not open file %s\n", pair.in_name.c_str());
  pair.in->rewind();
  std::uint32_t n = count_variables(*pair.in);
  if (!settings().quiet) std::fprintf(stderr, "Found %lu variables.\n", static_cast<unsigned long>(n));
  return n;
}

std::uint32_t open_output(FilePair& pair, std::uint32_t n, std::uint32_t rows,
                          const ColumnFigure& columns) {
  if (!pair.out_name) return n;
  const std::string& name = *pair.out_name;
  const Settings& s = settings();
  refuse_same_file(pair, name);
  if (names_standard_output(name)) {
    pair.out = OutputStream::standard_output();
  } else {
    pair.out = OutputStream::open_file(name, s.append);
    if (!pair.out) {
      KEST_FATAL("Could not open file %s for %s\n", name.c_str(),
                 s.append ? "appending" : "writing");
    }
  }
  const OutputFormat& style = output_format();
  if (s.keep_comments) {
    auto& queue = pending_comments();
    while (!queue.empty()) {
      style.comment(*pair.out, queue.front());
      queue.pop_front();
    }
  }
  std::uint32_t column_figure =
      columns ? columns(n) : n + static_cast<std::uint32_t>(s.column_adjust);
  std::uint32_t row_figure =
      s.add_line_count ? rows + static_cast<std::uint32_t>(s.row_adjust) : 0;
  style.header(*pair.out, column_figure, row_figure);
  pair.out->commit();
  return n;
}

namespace {

std::uint32_t open_pair_with(FilePair& pair, const SelectionSource& source, SelectionFlags* flags,
                             std::uint32_t* counted_rows, const ColumnFigure& columns) {
  std::uint32_t n = open_input(pair);
  std::uint32_t rows = 0;
  if (counted_rows != nullptr || settings().add_line_count) rows = count_rows(*pair.in, n);
  if (counted_rows != nullptr) *counted_rows = rows;
  if (flags != nullptr) *flags = make_selection_flags(source, n);
  open_output(pair, n, rows, columns);
  std::fflush(stderr);
  std::fflush(stdout);
  return n;
}

}  // namespace

std::uint32_t open_pair(FilePair& pair, const SelectionSource& source, SelectionFlags* flags,
                        const ColumnFigure& columns) {
  return open_pair_with(pair, source, flags, nullptr, columns);
}

std::uint32_t open_pair_counted(FilePair& pair, const SelectionSource& source,
                                SelectionFlags* flags, std::uint32_t* rows,
                                const ColumnFigure& columns) {
  std::uint32_t ignored = 0;
  return open_pair_with(pair, source, flags, rows != nullptr ? rows : &ignored, columns);
}

void close_pair(FilePair& pair) {
  pair.in.reset();
  if (!pair.out) return;
  output_format().footer(*pair.out);
  bool written = pair.out->close();
  pair.out.reset();
  if (!written) KEST_FATAL("Could not write file %s\n", pair.out_name->c_str());
}

}  // namespace kest
