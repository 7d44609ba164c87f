// Runs build/kest in a fresh temporary directory and collects its exit status,
// standard output, standard error and files.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support.h"

namespace kest_cli {

using kest::testing::contains;
using kest::testing::ends_with;

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
  long peak_kb = 0;  ///< the run's peak resident memory
};

/// What the child of a run is held to, set before it executes kest.
struct ChildLimits {
  rlim_t address_space = 0;    ///< RLIMIT_AS in bytes; 0 leaves it as it is
  unsigned alarm_seconds = 0;  ///< killed by SIGALRM after this long; 0 for never
  bool unprivileged = false;   ///< as root, runs as the user nobody, so file modes apply
};

class CliTest : public kest::testing::TempDirTest {
 protected:
  /// The blank-separated words of `text`.
  static std::vector<std::string> split_words(const std::string& text) {
    std::vector<std::string> args;
    std::istringstream split(text);
    for (std::string word; split >> word;) args.push_back(word);
    return args;
  }
  /// Runs kest with the arguments of `text`, separated by blanks.
  RunResult run_words(const std::string& text) const { return run(split_words(text)); }

  /// Runs kest with `args` (argument 0 is `program`) in the temporary directory
  /// with `input` on standard input. `env` entries are set; KEST and
  /// POSIXLY_CORRECT are unset unless given. Standard output goes to `stdout_path`
  /// (read back only when it is the default). `limits` hold the child.
  RunResult run(const std::vector<std::string>& args, const std::string& input = "",
                const std::map<std::string, std::string>& env = {},
                const std::string& stdout_path = ".stdout", const ChildLimits& limits = {}) const {
    write(".stdin", input);
    const pid_t pid = fork();
    if (pid == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(127);
      dup2(open(".stdin", O_RDONLY | O_CLOEXEC), 0);
      dup2(open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644), 1);
      dup2(open(".stderr", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644), 2);
      unsetenv("KEST");
      unsetenv("POSIXLY_CORRECT");
      for (const auto& [key, value] : env) setenv(key.c_str(), value.c_str(), 1);
      if (limits.address_space != 0) {
        const struct rlimit space = {limits.address_space, limits.address_space};
        if (setrlimit(RLIMIT_AS, &space) != 0) _exit(126);
      }
      if (limits.unprivileged && geteuid() == 0 &&
          (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
        _exit(126);
      }
      if (limits.alarm_seconds != 0) alarm(limits.alarm_seconds);
      std::vector<char*> argv = {const_cast<char*>(KEST_BINARY)};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      execv(KEST_BINARY, argv.data());
      _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    return finish(status, usage.ru_maxrss);
  }

  /// One run of a table: options, then what the run must give.
  struct RunCase {
    std::string options;   ///< separated by blanks; the names follow
    std::string expected;  ///< the output, or the end of the fatal report of a refusal
    int status = 0;
  };
  /// Runs every case on "in" holding `input`, followed by `names` (blank-separated);
  /// the second name (or the only one) is the output, "-" standard output. An
  /// output file of its own holds "kept" before each run and, after a refusal,
  /// still does.
  void expect_runs(const std::string& input, const std::vector<RunCase>& cases,
                   const std::string& names = "in -") const {
    const std::vector<std::string> words = split_words(names);
    const std::string out = words.size() > 1 ? words[1] : words[0];
    const bool own = out != "-" && out != words[0];
    for (const RunCase& c : cases) {
      write("in", input);
      if (own) write(out, "kept");
      const RunResult r = run_words(c.options + " " + names);
      EXPECT_EQ(r.status, c.status) << c.options << "\n" << r.err;
      if (c.status == 0) {
        EXPECT_EQ(out == "-" ? r.out : read(out), c.expected) << c.options;
      } else {
        EXPECT_TRUE(contains(r.err, "\nError in File:") && ends_with(r.err, c.expected))
            << c.options << "\n"
            << r.err;
        if (own) {
          EXPECT_EQ(read(out), "kept") << c.options;
        }
      }
    }
  }

  /// Runs a shell command line in the temporary directory (pipelines);
  /// `$KEST_BIN` names the binary.
  RunResult shell(const std::string& command) const {
    const std::string line = "cd '" + dir_.string() +
                             "' && unset KEST && KEST_BIN='" KEST_BINARY "' sh -c '" + command +
                             "' > .stdout 2> .stderr";
    return finish(std::system(line.c_str()), 0);
  }

 private:
  RunResult finish(int status, long peak_kb) const {
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), read(".stdout"),
            read(".stderr"), peak_kb};
  }
};

}  // namespace kest_cli
