#include "select/readflag.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <utility>

#include "base/diagnostics.h"
#include "base/log.h"
#include "base/settings.h"
#include "base/text.h"
#include "io/reader.h"

namespace kest {

namespace {

// Widest number of an item, sign included (as "%8d" reads it).
constexpr int kNumberWidth = 8;

// Reads an item the way sscanf reads it with "%8d" numbers, blanks around the
// literal separators being optional. Items lie in a NUL-terminated text and end
// at a comma, which no number or blank reaches past.
class ItemScanner {
 public:
  explicit ItemScanner(std::string_view text) : text_(text) {}

  bool number(int& value) {
    long long read = 0;
    const std::size_t used = scan_width_integer(text_.data() + pos_, kNumberWidth, read);
    if (used == 0) return false;
    pos_ += used;
    value = static_cast<int>(read);  // at most 8 characters: within int
    return true;
  }

  // " c ": optional white space, then the character c.
  bool literal(char c) {
    while (pos_ < text_.size() && is_blank(text_[pos_])) ++pos_;
    if (pos_ >= text_.size() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

// The numbers of "%8d : %8d : %8d" matched before the first mismatch.
int scan_step_form(std::string_view item, int& first, int& step, int& last) {
  ItemScanner scan(item);
  if (!scan.number(first)) return 0;
  if (!scan.literal(':') || !scan.number(step)) return 1;
  if (!scan.literal(':') || !scan.number(last)) return 2;
  return 3;
}

// The numbers of "%8d - %8d" matched before the first mismatch.
int scan_range_form(std::string_view item, int& first, int& last) {
  ItemScanner scan(item);
  if (!scan.number(first)) return 0;
  if (!scan.literal('-') || !scan.number(last)) return 1;
  return 2;
}

// The entries first, first + step, ... up to last, after the adjustments of the
// item grammar (swapped ends, first at least 1, last at most n), or none when
// that leaves no entry. In 64 bits, so that no index can overflow.
std::optional<Walk> make_walk(std::int64_t first, std::int64_t step, std::int64_t last,
                              std::uint32_t n) {
  if (first > last) std::swap(first, last);
  if (first < 1) first = 1;
  if (last > static_cast<std::int64_t>(n)) last = n;
  if (first > last) return std::nullopt;
  return Walk{first, step, last};
}

// The walk one item names among n entries. Reports an index below 1 and ends the
// run on a step below 1, as it goes.
std::optional<Walk> parse_item(std::string_view item, std::uint32_t n) {
  int first = 0;
  int step = 0;
  int last = 0;
  if (scan_step_form(item, first, step, last) == 3) {
    if (settings().debug) KEST_DEBUG("first:%d step:%dlast:%d\n", first, step, last);
    if (step < 1) {
      KEST_FATAL_LOGGED("Error: step can't be less than 1: %d\n", step);
    }
    return make_walk(first, step, last == -1 ? static_cast<std::int64_t>(n) : last, n);
  }
  switch (scan_range_form(item, first, last)) {
    case 2:
      return make_walk(first, 1, last, n);
    case 1:
      if (first < 1) {
        std::fprintf(stderr, "invalid index=%d\n", first);
        return std::nullopt;
      }
      return make_walk(first, 1, first, n);
    default:
      return std::nullopt;  // no number where the item starts
  }
}

void mark(std::uint8_t* flags, const Walk& walk) {
  for (std::int64_t i = walk.first; i <= walk.last; i += walk.step) flags[i - 1] = 1;
}

// Hands every walk of the comma-separated items of `text` to `sink`; the text
// ends at its first NUL.
template <class Sink>
void each_walk(const char* text, std::uint32_t n, Sink&& sink) {
  std::string_view rest(text);
  while (true) {
    std::size_t comma = rest.find(',');
    if (auto walk = parse_item(rest.substr(0, comma), n)) sink(*walk);
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
}

// The walks of the selection file, then of every string, in the order a parse
// applies them.
template <class Sink>
void each_selection_walk(const std::optional<std::string>& file,
                         const std::forward_list<std::string>& strings, std::uint32_t n,
                         Sink&& sink) {
  if (file) {
    std::unique_ptr<InputStream> in = InputStream::open(*file);
    if (in == nullptr) KEST_FATAL("Could not open kest file: %s", file->c_str());
    // A stream of its own: the data file's skipped rows and kept comments are untouched.
    while (const char* line = read_data_line(*in, nullptr)) each_walk(line, n, sink);
  }
  for (const std::string& text : strings) each_walk(text.c_str(), n, sink);
}

}  // namespace

void add_selection_string(std::forward_list<std::string>& list, const char* text) {
  if (text == nullptr) return;
  char c = text[0];
  // An empty text holds no invalid character and selects nothing.
  if (c != '\0' && !is_digit(c) && c != '-' && c != ',' && c != ' ') {
    KEST_FATAL("invalid characters in option argument for option -e: %s.\n", text);
  }
  list.emplace_front(text);
}

void apply_selection_item(std::uint8_t* flags, const char* item, std::uint32_t n) {
  if (item == nullptr) return;
  if (auto walk = parse_item(item, n)) mark(flags, *walk);
}

void parse_selection(const std::optional<std::string>& file, std::uint8_t* flags, bool invert,
                     const std::forward_list<std::string>& strings, std::uint32_t n) {
  each_selection_walk(file, strings, n, [flags](const Walk& walk) { mark(flags, walk); });
  if (invert) {
    for (std::uint32_t i = 0; i < n; ++i) flags[i] = flags[i] == 0 ? 1 : 0;
  }
  std::fflush(stderr);
}

RowSelection::RowSelection(const std::optional<std::string>& file,
                           const std::forward_list<std::string>& strings, bool invert,
                           std::uint32_t n)
    : n_(n), invert_(invert) {
  each_selection_walk(file, strings, n, [this](const Walk& walk) { walks_.push_back(walk); });
  std::fflush(stderr);
  std::sort(walks_.begin(), walks_.end(),
            [](const Walk& a, const Walk& b) { return a.first < b.first; });
  active_.reserve(walks_.size());
  window_ = vector_or_die<std::uint8_t>(__FILE_NAME__, __LINE__, kWindow);
}

void RowSelection::fill(std::uint64_t base) {
  if (base < base_ || !filled_) {
    next_walk_ = 0;
    active_.clear();
  }
  filled_ = true;
  base_ = base;
  const std::int64_t low = static_cast<std::int64_t>(base) + 1;  // 1-based entries
  const std::int64_t high = static_cast<std::int64_t>(base + kWindow);
  while (next_walk_ < walks_.size() && walks_[next_walk_].first <= high) {
    active_.push_back(walks_[next_walk_++]);
  }
  std::erase_if(active_, [low](const Walk& walk) { return walk.last < low; });
  std::fill(window_.begin(), window_.end(), 0);
  for (const Walk& walk : active_) {
    // The walk's first entry inside the window.
    std::int64_t i = walk.first;
    if (i < low) i += (low - i + walk.step - 1) / walk.step * walk.step;
    const std::int64_t end = walk.last < high ? walk.last : high;
    for (; i <= end; i += walk.step) window_[i - low] = 1;
  }
  if (invert_) {
    for (std::uint8_t& flag : window_) flag ^= 1;
  }
}

std::uint32_t RowSelection::count(bool value) {
  std::uint32_t count = 0;
  for (std::uint32_t i = 0; i < n_; ++i) count += flagged(i) == value ? 1 : 0;
  return count;
}

void RowSelection::print(std::FILE* stream, bool plain) {
  std::uint32_t i = 0;
  while (i < n_) {
    if (flagged(i) == plain) {
      ++i;
      continue;
    }
    const std::uint32_t start = i;
    while (i + 1 < n_ && flagged(i + 1) != plain) ++i;
    if (start == i) {
      std::fprintf(stream, "%u ", start + 1);
    } else {
      std::fprintf(stream, "%u-%u ", start + 1, i + 1);
    }
    ++i;
  }
}

void print_selection(std::FILE* stream, const std::uint8_t* flags, std::uint32_t n) {
  print_runs(stream, flags, n, settings().inverse ? 1 : 0);
}

void print_runs(std::FILE* stream, const std::uint8_t* flags, std::uint32_t n, std::uint8_t plain) {
  std::uint32_t i = 0;
  while (i < n) {
    if (flags[i] == plain) {
      ++i;
      continue;
    }
    std::uint32_t start = i;
    while (i + 1 < n && flags[i + 1] != plain) ++i;
    if (start == i) {
      std::fprintf(stream, "%u ", start + 1);
    } else {
      std::fprintf(stream, "%u-%u ", start + 1, i + 1);
    }
    ++i;
  }
}

std::uint32_t count_unselected(const std::uint8_t* flags, std::uint32_t n) {
  std::uint32_t count = 0;
  for (std::uint32_t i = 0; i < n; ++i) count += flags[i] == 0 ? 1 : 0;
  return count;
}

}  // namespace kest
