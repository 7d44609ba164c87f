// Shared pieces of the tests: a fresh temporary folder per test, capturing a
// standard stream, running code that may end the run, and the scale of the
// randomised tests (smaller under the sanitizers, which run far slower).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "base/diagnostics.h"

namespace kest::testing {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr int kScale = 10;
#else
inline constexpr int kScale = 1;
#endif

inline std::string slurp(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}
inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}
inline bool ends_with(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

/// A test that works in a fresh temporary folder of its own.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "kest-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  /// Writes the file `name` and gives its path.
  std::string write(const std::string& name, const std::string& text) const {
    std::ofstream(path(name), std::ios::binary) << text;
    return path(name);
  }
  std::string read(const std::string& name) const { return slurp(path(name)); }
  bool exists(const std::string& name) const { return std::filesystem::exists(path(name)); }

  std::filesystem::path dir_;
};

/// Redirects standard output (fd 1) or standard error (fd 2) into a temporary
/// file until `text()` is called or the capture ends.
class Capture {
 public:
  explicit Capture(int fd) : fd_(fd), stream_(fd == 1 ? stdout : stderr) {
    std::fflush(stream_);
    path_ = (std::filesystem::temp_directory_path() / "kest-capture-XXXXXX").string();
    const int file = mkstemp(path_.data());
    saved_ = dup(fd_);
    dup2(file, fd_);
    close(file);
  }
  ~Capture() { text(); }

  std::string text() {
    if (saved_ >= 0) {
      std::fflush(stream_);
      dup2(saved_, fd_);
      close(saved_);
      saved_ = -1;
      text_ = slurp(path_);
      std::remove(path_.c_str());
    }
    return text_;
  }

 private:
  int fd_;
  std::FILE* stream_;
  std::string path_, text_;
  int saved_ = -1;
};

/// How a piece of code that may end the run ended, with what it printed.
struct Ending {
  enum Kind { kReturned, kFatal, kExit } kind = kReturned;
  std::string message;  ///< of a fatal error
  int status = 0;       ///< of an early end
  std::string out, err;
};

/// Runs `body` with standard output and standard error captured.
template <class Body>
Ending run_ending(Body&& body) {
  Ending ending;
  Capture out(1), err(2);
  try {
    body();
  } catch (const kest::FatalError& error) {
    ending.kind = Ending::kFatal;
    ending.message = error.message();
  } catch (const kest::ExitRequest& request) {
    ending.kind = Ending::kExit;
    ending.status = request.status;
  }
  ending.out = out.text();
  ending.err = err.text();
  return ending;
}

/// The message of the fatal error `body` raises, or "<none>".
template <class Body>
std::string fatal_message(Body&& body) {
  const Ending ending = run_ending(body);
  return ending.kind == Ending::kFatal ? ending.message : "<none>";
}

}  // namespace kest::testing
