// Runs build/kest in a fresh temporary directory and collects its exit status,
// standard output, standard error and files.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace kest_cli {

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string slurp(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "kest-cli-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  std::filesystem::path path(const std::string& name) const { return dir_ / name; }
  void write(const std::string& name, const std::string& text) const {
    std::ofstream(path(name), std::ios::binary) << text;
  }
  std::string read(const std::string& name) const { return slurp(path(name)); }
  bool exists(const std::string& name) const { return std::filesystem::exists(path(name)); }

  /// Runs kest with `args` (argument 0 is added) in the temporary directory.
  /// `env` entries are set (an empty value unsets); KEST and POSIXLY_CORRECT are
  /// unset unless given. Standard output goes to `stdout_path` (read back only
  /// when it is the default).
  RunResult run(const std::vector<std::string>& args, const std::string& input = "",
                const std::map<std::string, std::string>& env = {},
                const std::string& program = KEST_BINARY,
                const std::string& stdout_path = ".stdout") const {
    write(".stdin", input);
    RunResult result;
    pid_t pid = fork();
    if (pid == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(127);
      int in = open(".stdin", O_RDONLY);
      int out = open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = open(".stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(in, 0);
      dup2(out, 1);
      dup2(err, 2);
      unsetenv("KEST");
      unsetenv("POSIXLY_CORRECT");
      for (const auto& [key, value] : env) {
        if (value.empty()) {
          unsetenv(key.c_str());
        } else {
          setenv(key.c_str(), value.c_str(), 1);
        }
      }
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(program.c_str()));
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      execv(KEST_BINARY, argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = read(".stdout");
    result.err = read(".stderr");
    return result;
  }

  std::filesystem::path dir_;
};

}  // namespace kest_cli
