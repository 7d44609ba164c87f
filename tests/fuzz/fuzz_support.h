// Shared pieces of the fuzz targets: reading settings from the front of the input,
// running a case to its orderly end, and failing loudly.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/diagnostics.h"

namespace kest::fuzz {

/// The input as a cursor: settings bytes from the front (0 once it runs out),
/// then the rest as text.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size)
      : rest_(reinterpret_cast<const char*>(data), size) {}
  std::uint8_t byte() {
    if (rest_.empty()) return 0;
    const auto b = static_cast<std::uint8_t>(rest_.front());
    rest_.remove_prefix(1);
    return b;
  }
  std::string_view rest() const { return rest_; }

 private:
  std::string_view rest_;
};

/// `text` cut at every `separator` byte.
inline std::vector<std::string> split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  for (;;) {
    const std::size_t at = text.find(separator);
    parts.emplace_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

/// Runs `body`; a fatal error or a requested exit is an orderly end of the run.
template <class Body>
void run_case(Body&& body) {
  try {
    body();
  } catch (const FatalError&) {
  } catch (const ExitRequest&) {
  }
}

/// Standard error as it was at start-up: the run script silences the tool's own
/// messages (-close_fd_mask), which closes fd 2 before the first case runs.
inline const int report_fd = ::dup(2);

/// The corpus file a replay runs (the fuzzer names its own inputs).
inline std::string replayed_input;

/// A broken property: says which and aborts, so the fuzzer keeps the input.
[[noreturn]] inline void fail(const char* what) {
  if (report_fd >= 0)
    dprintf(report_fd, "fuzz check failed: %s %s\n", what, replayed_input.c_str());
  std::abort();
}

#define KEST_FUZZ_CHECK(condition)                    \
  do {                                                \
    if (!(condition)) ::kest::fuzz::fail(#condition); \
  } while (0)

}  // namespace kest::fuzz
