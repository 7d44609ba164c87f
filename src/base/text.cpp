#include "base/text.h"

#include <cstring>
#include <string_view>

namespace kest {

std::size_t bounded_copy(char* destination, const char* source, std::size_t size) {
  std::size_t length = source == nullptr ? 0 : std::strlen(source);
  if (destination == nullptr || size == 0) return length;
  std::size_t count = length < size ? length : size - 1;
  if (count != 0) std::memcpy(destination, source, count);
  destination[count] = '\0';
  return length;
}

std::size_t scan_width_integer(const char* text, int width, long long& value) {
  const char* p = text;
  while (is_blank(*p)) ++p;
  int used = 0;
  bool negative = false;
  if ((*p == '-' || *p == '+') && used < width) {
    negative = *p == '-';
    ++p;
    ++used;
  }
  long long magnitude = 0;
  const char* digits = p;
  while (used < width && is_digit(*p)) {
    magnitude = magnitude * 10 + (*p - '0');
    ++p;
    ++used;
  }
  if (p == digits) return 0;
  value = negative ? -magnitude : magnitude;
  return static_cast<std::size_t>(p - text);
}

namespace {

bool is_separator(char c) {
  return c == '\\' || c == '/' || c == ':';
}

// Copies one part into its buffer (when the caller wants it); false when it was cut.
bool put_part(std::string_view part, char* buffer, std::size_t size) {
  if (buffer == nullptr) return true;
  if (size == 0) return false;  // not even the terminator fits
  std::size_t count = part.size() < size ? part.size() : size - 1;
  if (count != 0) std::memcpy(buffer, part.data(), count);
  buffer[count] = '\0';
  return count == part.size();
}

}  // namespace

// The parts are views into the caller's path, so no working copy is needed and
// kSplitPathNoMemory never occurs. Every part is filled even after one was cut;
// the result tells whether any was.
int split_path(const char* path, char* drive, std::size_t drive_size, char* directory,
               std::size_t directory_size, char* name, std::size_t name_size, char* extension,
               std::size_t extension_size) {
  if (drive != nullptr && drive_size != 0) drive[0] = '\0';
  if (directory != nullptr && directory_size != 0) directory[0] = '\0';
  if (name != nullptr && name_size != 0) name[0] = '\0';
  if (extension != nullptr && extension_size != 0) extension[0] = '\0';
  if (path == nullptr || path[0] == '\0') return kSplitPathOk;

  int result = kSplitPathOk;
  std::string_view rest(path);

  // The extension runs from the last '.' that follows every separator.
  std::size_t mark = rest.find_last_of("\\/:.");
  if (mark != std::string_view::npos && rest[mark] == '.') {
    if (!put_part(rest.substr(mark), extension, extension_size)) result = kSplitPathTooLong;
    rest = rest.substr(0, mark);
  }

  std::size_t name_start = 0;
  for (std::size_t i = rest.size(); i > 0; --i) {
    if (is_separator(rest[i - 1])) {
      name_start = i;
      break;
    }
  }
  if (!put_part(rest.substr(name_start), name, name_size)) result = kSplitPathTooLong;
  if (name_start == 0) return result;

  std::string_view head = rest.substr(0, name_start);
  std::size_t colon = head.rfind(':');
  std::size_t drive_end = colon == std::string_view::npos ? 0 : colon + 1;
  if (drive_end != 0 && !put_part(head.substr(0, drive_end), drive, drive_size)) {
    result = kSplitPathTooLong;
  }
  if (!put_part(head.substr(drive_end), directory, directory_size)) result = kSplitPathTooLong;
  return result;
}

}  // namespace kest
