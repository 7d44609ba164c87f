// Runs build/kest in a fresh temporary directory and collects its exit status,
// standard output, standard error and files.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "support.h"

namespace kest_cli {

using kest::testing::slurp;

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
  long peak_kb = 0;  ///< the run's peak resident memory
};

inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}
inline bool ends_with(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class CliTest : public kest::testing::TempDirTest {
 protected:
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
    const pid_t pid = fork();
    if (pid == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(127);
      const int in = open(".stdin", O_RDONLY);
      const int out = open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = open(".stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644);
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
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    result.peak_kb = usage.ru_maxrss;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = read(".stdout");
    result.err = read(".stderr");
    return result;
  }

  /// Runs a shell command line in the temporary directory (pipelines);
  /// `$KEST_BIN` names the binary. Returns its status and standard output.
  RunResult shell(const std::string& command) const {
    const std::string line = "cd '" + dir_.string() + "' && unset KEST && KEST_BIN='" KEST_BINARY
                             "' sh -c '" + command + "' > .stdout 2> .stderr";
    RunResult result;
    const int status = std::system(line.c_str());
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = read(".stdout");
    result.err = read(".stderr");
    return result;
  }
};

}  // namespace kest_cli
