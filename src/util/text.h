// Small text routines: bounded copy and the path splitter.
#pragma once

#include <cstddef>

namespace kest {

/// Copies at most size - 1 characters of `source` and terminates the copy (nothing
/// is copied when size is 0). Returns the length of `source`; a result of `size`
/// or more means the copy was cut.
std::size_t bounded_copy(char* destination, const char* source, std::size_t size);

/// Result codes of split_path.
inline constexpr int kSplitPathOk = 0;
inline constexpr int kSplitPathNoMemory = 12;  // ENOMEM
inline constexpr int kSplitPathTooLong = 38;   // a part did not fit its buffer

/// Cuts `path` into drive ("C:"), directory (ending with its separator), name and
/// extension (from the last '.', dot included). Any buffer may be null; every
/// given buffer starts as an empty text. '\', '/' and ':' separate.
int split_path(const char* path, char* drive, std::size_t drive_size, char* directory,
               std::size_t directory_size, char* name, std::size_t name_size, char* extension,
               std::size_t extension_size);

}  // namespace kest
