// Selection strings and selection files: "1,3,5-7,10:5:-1" becomes one flag byte
// per column or row (entry i stands for index i + 1; 1 = selected).
#pragma once

#include <cstdint>
#include <cstdio>
#include <forward_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kest {

using SelectionFlags = std::vector<std::uint8_t>;

/// Adds a copy of `text` to the front of `list`. Nothing happens for a null text.
/// A first character other than a digit, '-', ',' or a blank is fatal.
void add_selection_string(std::forward_list<std::string>& list, const char* text);

/// Applies one item ("k", "first-last" or "first:step:last") to the first n flags.
void apply_selection_item(std::uint8_t* flags, const char* item, std::uint32_t n);

/// Sets the flags named by the selection file (when given) and by every string of
/// `strings`, then inverts the first n flags when `invert` is set (and n > 0).
void parse_selection(const std::optional<std::string>& file, std::uint8_t* flags, bool invert,
                     const std::forward_list<std::string>& strings, std::uint32_t n);

/// The entries first, first + step, ... up to last (1-based; 1 <= first <= last,
/// step >= 1) that one selection item names.
struct Walk {
  std::int64_t first;
  std::int64_t step;
  std::int64_t last;
};

/// The flags of n rows exactly as parse_selection makes them, produced a window
/// at a time so that memory stays bounded whatever n: the items are read once
/// (with their messages and errors) and flags are made as rows are asked for.
class RowSelection {
 public:
  RowSelection(const std::optional<std::string>& file,
               const std::forward_list<std::string>& strings, bool invert, std::uint32_t n);

  /// Whether row `index` (0-based) is flagged; false beyond the n rows. Rising
  /// indices are cheapest; going back starts again from the first window.
  bool flagged(std::uint64_t index) {
    if (index >= n_) return false;
    if (!filled_ || index < base_ || index - base_ >= kWindow) fill(index - index % kWindow);
    return window_[index - base_] != 0;
  }
  /// The number of rows whose flag is `value`.
  std::uint32_t count(bool value);
  /// Writes the runs of rows whose flag differs from `plain`, as print_selection.
  void print(std::FILE* stream, bool plain);

 private:
  static constexpr std::uint64_t kWindow = 65536;
  void fill(std::uint64_t base);

  std::uint32_t n_;
  bool invert_;
  std::vector<Walk> walks_;   // by first entry
  std::vector<Walk> active_;  // walks that may reach the current window
  std::size_t next_walk_ = 0;
  std::vector<std::uint8_t> window_;
  std::uint64_t base_ = 0;  // index of the window's first row
  bool filled_ = false;
};

/// Writes the runs of entries whose flag differs from Settings.inverse as
/// "%u " or "%u-%u " (1-based), in increasing order.
void print_selection(std::FILE* stream, const std::uint8_t* flags, std::uint32_t n);

/// Writes the runs of entries among the first n whose flag differs from `plain`
/// (0 or 1), as print_selection writes them.
void print_runs(std::FILE* stream, const std::uint8_t* flags, std::uint32_t n, std::uint8_t plain);

/// The number of zero flags among the first n.
std::uint32_t count_unselected(const std::uint8_t* flags, std::uint32_t n);

}  // namespace kest
