#include "ops/checkfil.h"

#include <cstdio>

#include "base/settings.h"

namespace kest {

OpResult check(const std::string& in) {
  FilePair pair{in, std::nullopt, nullptr, nullptr};
  const std::uint32_t cols = open_pair(pair, SelectionSource::no_selection(), nullptr);
  InputStream& input = *pair.in;
  char* buffer = input.line_buffer();
  const std::size_t size = input.line_capacity();

  // The check writes nothing, so comments are not kept: queuing them would only
  // let memory grow with the file.
  Settings& s = mutable_settings();
  const bool keep_comments = s.keep_comments;
  s.keep_comments = false;

  unsigned long line = 1;
  unsigned long mismatches = 0;
  unsigned long first_mismatch = 0;
  while (!input.eof()) {
    const char* text = read_data_line(buffer, size, input, nullptr);
    if (text == nullptr) break;
    const std::uint32_t count = count_values(text);
    if (count != cols) {
      if (count == 0) break;
      ++mismatches;
      if (first_mismatch == 0) first_mismatch = line;
      std::fprintf(stderr, "Warning: Column count mismatch on line %lu. Should be %lu but found %lu.\n",
                   line, static_cast<unsigned long>(cols), static_cast<unsigned long>(count));
    }
    ++line;
  }
  s.keep_comments = keep_comments;
  if (mismatches != 0) {
    std::fprintf(stderr, "Warning: %lu column count mismatches found.\nFirst on line %lu",
                 mismatches, first_mismatch);
  }
  close_pair(pair);
  return {cols, static_cast<std::uint32_t>(line - 1)};
}

}  // namespace kest
