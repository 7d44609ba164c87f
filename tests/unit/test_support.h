// Shared pieces of the unit tests: capturing a standard stream, and the scale of
// the randomised tests (smaller under the sanitizers, which run far slower).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace kest::testing {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr int kScale = 10;
#else
inline constexpr int kScale = 1;
#endif

/// Redirects one file descriptor (1 or 2, with its stream) into a temporary file
/// until `text()` is called or the capture ends.
class Capture {
 public:
  Capture(int fd, std::FILE* stream) : fd_(fd), stream_(stream) {
    std::fflush(stream_);
    path_ = ::testing::TempDir() + "kest_capture_XXXXXX";
    int file = mkstemp(path_.data());
    saved_ = dup(fd_);
    dup2(file, fd_);
    close(file);
  }
  ~Capture() { text(); }
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;

  std::string text() {
    if (saved_ >= 0) {
      std::fflush(stream_);
      dup2(saved_, fd_);
      close(saved_);
      saved_ = -1;
      std::ifstream in(path_);
      std::stringstream all;
      all << in.rdbuf();
      text_ = all.str();
      std::remove(path_.c_str());
    }
    return text_;
  }

 private:
  int fd_;
  std::FILE* stream_;
  std::string path_;
  int saved_ = -1;
  std::string text_;
};

}  // namespace kest::testing
