// Selection strings and selection files over n columns or rows. The first three
// bytes give flags (invert, read a selection file, debug, more rows than one
// window) and n; the rest, cut at NUL bytes, gives the file's text (first, when
// it is read) and the -e strings. Every item is read as the library scanner reads
// "%8d : %8d : %8d" and "%8d - %8d"; the windowed row selection flags, counts
// and prints exactly what the flags of parse_selection hold; nothing beyond the
// n flags is touched.
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <forward_list>
#include <optional>
#include <string>

#include "base/settings.h"
#include "fuzz_support.h"
#include "select/readflag.h"

namespace {

using kest::SelectionFlags;

// The flags one item sets as the library scanner reads it; false for a step
// below 1, which ends the run.
bool reference_item(const std::string& item, SelectionFlags& flags, std::uint32_t n) {
  long long first = 0, step = 1, last = 0;
  int a = 0, b = 0, c = 0;
  if (std::sscanf(item.c_str(), "%8d : %8d : %8d", &a, &b, &c) == 3) {
    if (b < 1) return false;
    first = a, step = b, last = c == -1 ? static_cast<long long>(n) : c;
  } else if (const int count = std::sscanf(item.c_str(), "%8d - %8d", &a, &b); count == 2) {
    first = a, last = b;
  } else {
    if (count == 1 && a >= 1 && static_cast<std::uint32_t>(a) <= n) flags[a - 1] = 1;
    return true;
  }
  if (first > last) std::swap(first, last);
  for (long long i = std::max(first, 1LL); i <= std::min<long long>(last, n); i += step) {
    flags[i - 1] = 1;
  }
  return true;
}

void check_items(const std::string& text, std::uint32_t n) {
  for (const std::string& item : kest::fuzz::split(text, ',')) {
    SelectionFlags expected(n, 0);
    if (!reference_item(item, expected, n)) continue;
    SelectionFlags flags(n, 0);
    kest::apply_selection_item(flags.data(), item.c_str(), n);
    KEST_FUZZ_CHECK(flags == expected);
  }
}

template <class Print>
std::string printed(Print print) {
  char* text = nullptr;
  std::size_t size = 0;
  FILE* stream = open_memstream(&text, &size);
  print(stream);
  std::fclose(stream);
  std::string result(text, size);
  free(text);
  return result;
}

std::string selection_file() {
  static const std::string path = [] {
    char dir[] = "/tmp/kest-selection-fuzz-XXXXXX";
    if (mkdtemp(dir) == nullptr) kest::fuzz::fail("no temporary folder");
    return std::string(dir) + "/selection";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kest::fuzz::Input input(data, size);
  kest::reset_settings();
  const std::uint8_t flags = input.byte();
  const bool invert = (flags & 1) != 0;
  kest::mutable_settings().debug = (flags & 4) != 0;
  std::uint32_t n = input.byte();
  n = (n | static_cast<std::uint32_t>(input.byte()) << 8) % 4096;
  if ((flags & 8) != 0) n += 65536 - 2048;  // across the first window's end

  std::vector<std::string> parts = kest::fuzz::split(input.rest(), '\0');
  std::optional<std::string> file;
  if ((flags & 2) != 0) {
    file = selection_file();
    FILE* out = std::fopen(file->c_str(), "w");
    std::fwrite(parts[0].data(), 1, parts[0].size(), out);
    std::fclose(out);
    parts.erase(parts.begin());
  }

  kest::fuzz::run_case([&] {
    std::forward_list<std::string> strings;
    for (const std::string& text : parts) {
      kest::add_selection_string(strings, text.c_str());
      check_items(text, std::min<std::uint32_t>(n, 300));
    }
    SelectionFlags flags(n + 102, 0);
    kest::parse_selection(file, flags.data(), invert, strings, n);
    KEST_FUZZ_CHECK(std::all_of(flags.begin() + n, flags.end(), [](auto f) { return f == 0; }));

    kest::RowSelection rows(file, strings, invert, n);
    for (std::uint32_t i = 0; i <= n; ++i) KEST_FUZZ_CHECK(rows.flagged(i) == (i < n && flags[i]));
    for (std::uint32_t i = n; i-- > 0;) KEST_FUZZ_CHECK(rows.flagged(i) == (flags[i] != 0));
    const std::uint32_t unselected = kest::count_unselected(flags.data(), n);
    KEST_FUZZ_CHECK(rows.count(false) == unselected && rows.count(true) == n - unselected);
    for (std::uint8_t plain : {0, 1}) {
      KEST_FUZZ_CHECK(printed([&](FILE* f) { rows.print(f, plain != 0); }) ==
                      printed([&](FILE* f) { kest::print_runs(f, flags.data(), n, plain); }));
    }
  });
  return 0;
}
