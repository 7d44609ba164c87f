#include "driver/argfiles.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "base/diagnostics.h"

namespace kest {

namespace {

/// An argument file line longer than this gives several arguments.
constexpr std::size_t kMaxArgumentLength = 4095;

/// What one expansion may read, so that files naming each other many times over
/// (or an endless file) end with an error instead of exhausting the machine. Each
/// file read costs kFileCost, each argument read its length plus kArgumentCost.
constexpr std::size_t kExpansionBudget = std::size_t{256} << 20;
constexpr std::size_t kFileCost = 4096;
constexpr std::size_t kArgumentCost = 32;

struct Expansion {
  std::vector<std::string> args;
  std::vector<std::string> files;  // every argument file read
  bool file_expanded = false;
  std::size_t spent = 0;
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

void charge(Expansion& expansion, std::size_t cost, const char* file_name) {
  expansion.spent += cost;
  if (expansion.spent > kExpansionBudget) {
    KEST_FATAL("Argument files expand to too many arguments: %s\n", file_name);
  }
}

// Reads the lines of an argument file whole, each cut into pieces of at most
// kMaxArgumentLength characters, the line feed removed. False when the file does
// not open. `depth` counts the argument files already being expanded around it.
bool read_argument_file(const char* file_name, int depth, Expansion& expansion,
                        std::vector<std::string>& lines) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(file_name, "r"));
  if (!file) return false;
  struct stat info {};
  if (::fstat(::fileno(file.get()), &info) == 0 && S_ISDIR(info.st_mode)) {
    KEST_FATAL("Could not open file %s\n", file_name);
  }
  expansion.files.emplace_back(file_name);
  if (depth >= kMaxArgumentFileDepth) {
    KEST_FATAL("Argument files nested too deeply: %s\n", file_name);
  }
  charge(expansion, kFileCost, file_name);
  std::string line;
  bool open_line = false;  // characters read since the last line end
  auto finish = [&] {
    charge(expansion, line.size() + kArgumentCost, file_name);
    lines.push_back(line);
    line.clear();
  };
  int c;
  while ((c = std::getc(file.get())) != EOF) {
    if (c == '\n') {
      finish();
      open_line = false;
      continue;
    }
    if (line.size() == kMaxArgumentLength) finish();
    line.push_back(static_cast<char>(c));
    open_line = true;
  }
  if (open_line) finish();
  return true;
}

// Expands one argument by the rule: "@name"/"$name" gives the lines of the file
// (each expanded again) or the argument itself when the file does not open; "#..."
// gives nothing; anything else gives itself.
void expand(const std::string& arg, int depth, Expansion& expansion) {
  if (!arg.empty() && (arg[0] == '@' || arg[0] == '$')) {
    std::vector<std::string> lines;
    if (!read_argument_file(arg.c_str() + 1, depth, expansion, lines)) {
      expansion.args.push_back(arg);
      return;
    }
    expansion.file_expanded = true;
    for (const std::string& line : lines) expand(line, depth + 1, expansion);
    return;
  }
  if (!arg.empty() && arg[0] == '#') return;
  expansion.args.push_back(arg);
}

}  // namespace

std::optional<std::vector<std::string>> expand_arguments(int argc, char** argv,
                                                         std::vector<std::string>* files_read) {
  Expansion expansion;
  for (int i = 0; i < argc; ++i) {
    if (argv[i] != nullptr) expand(argv[i], 0, expansion);
  }
  if (files_read != nullptr) *files_read = expansion.files;
  if (!expansion.file_expanded && expansion.args.size() == static_cast<std::size_t>(argc)) {
    return std::nullopt;
  }
  return std::move(expansion.args);
}

}  // namespace kest
