#include "select/readflag.h"

#include <memory>
#include <string_view>
#include <utility>

#include "base/settings.h"
#include "base/diagnostics.h"
#include "io/reader.h"
#include "base/log.h"
#include "base/text.h"

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

// Flags first, first + step, ... up to min(last, n); the walk runs in 64 bits so
// that no index can overflow.
void walk(std::uint8_t* flags, std::int64_t first, std::int64_t step, std::int64_t last,
          std::uint32_t n) {
  if (first > last) std::swap(first, last);
  if (first < 1) first = 1;
  std::int64_t end = last < static_cast<std::int64_t>(n) ? last : static_cast<std::int64_t>(n);
  for (std::int64_t i = first; i <= end; i += step) flags[i - 1] = 1;
}

void apply_item(std::uint8_t* flags, std::string_view item, std::uint32_t n) {
  int first = 0;
  int step = 0;
  int last = 0;
  if (scan_step_form(item, first, step, last) == 3) {
    if (settings().debug) KEST_DEBUG("first:%d step:%dlast:%d\n", first, step, last);
    if (step < 1) {
      KEST_ERROR("Error: step can't be less than 1: %d\n", step);
      exit_process(1);
    }
    walk(flags, first, step, last == -1 ? static_cast<std::int64_t>(n) : last, n);
    return;
  }
  switch (scan_range_form(item, first, last)) {
    case 2:
      walk(flags, first, 1, last, n);
      break;
    case 1:
      if (first < 1) {
        std::fprintf(stderr, "invalid index=%d\n", first);
      } else if (static_cast<std::uint32_t>(first) <= n) {
        flags[first - 1] = 1;
      }
      break;
    default:
      break;  // no number where the item starts
  }
}

// Applies every comma-separated item of `text`; the text ends at its first NUL.
void apply_items(std::uint8_t* flags, const char* text, std::uint32_t n) {
  std::string_view rest(text);
  while (true) {
    std::size_t comma = rest.find(',');
    apply_item(flags, rest.substr(0, comma), n);
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
}

void apply_selection_file(const std::string& name, std::uint8_t* flags, std::uint32_t n) {
  std::unique_ptr<InputStream> in = InputStream::open(name);
  if (in == nullptr) KEST_FATAL("Could not open kest file: %s", name.c_str());
  // A stream of its own: the data file's skipped rows and kept comments are untouched.
  while (const char* line = read_data_line(*in, nullptr)) {
    apply_items(flags, line, n);
  }
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
  apply_item(flags, item, n);
}

void parse_selection(const std::optional<std::string>& file, std::uint8_t* flags, bool invert,
                     const std::forward_list<std::string>& strings, std::uint32_t n) {
  if (file) apply_selection_file(*file, flags, n);
  for (const std::string& text : strings) apply_items(flags, text.c_str(), n);
  if (invert) {
    for (std::uint32_t i = 0; i < n; ++i) flags[i] = flags[i] == 0 ? 1 : 0;
  }
  std::fflush(stderr);
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
