// The option loop after argument-file expansion. The input, cut at its first
// two 0x1e bytes, gives the command line (arguments cut at NUL or line feed),
// then the texts of the argument files f1 and f2, written to a private folder in
// which the case runs, so that "@f1" or "$f2" (also inside the files) name them.
// The option loop must end in order, with a positional index within argv.
#include <fcntl.h>
#include <getopt.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/settings.h"
#include "driver/argfiles.h"
#include "driver/options.h"
#include "fuzz_support.h"
#include "io/writer.h"

namespace {

// The private folder, made once, and a way back from it.
struct Folder {
  int home = ::open(".", O_RDONLY | O_DIRECTORY);
  int dir = -1;
  Folder() {
    char name[] = "/tmp/kest-options-fuzz-XXXXXX";
    if (mkdtemp(name) == nullptr || home < 0) kest::fuzz::fail("no temporary folder");
    dir = ::open(name, O_RDONLY | O_DIRECTORY);
  }
};

void write_file(int dir, const char* name, std::string_view text) {
  const int fd = ::openat(dir, name, O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0 || ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    kest::fuzz::fail("cannot write an argument file");
  }
  ::close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Folder folder;
  std::vector<std::string> parts =
      kest::fuzz::split(std::string_view(reinterpret_cast<const char*>(data), size), '\x1e');
  parts.resize(std::max<std::size_t>(parts.size(), 3));
  write_file(folder.dir, "f1", parts[1]);
  write_file(folder.dir, "f2", parts[2]);

  std::vector<std::string> args = {"kest"};
  for (const std::string& line : kest::fuzz::split(parts[0], '\n')) {
    for (const std::string& arg : kest::fuzz::split(line, '\0')) args.push_back(arg);
  }

  kest::reset_settings();
  kest::reset_operations();
  kest::mutable_settings().more = true;  // help is written, never paged
  kest::select_standard_output();
  optind = 0;
  if (::fchdir(folder.dir) != 0) kest::fuzz::fail("cannot enter the folder");
  kest::fuzz::run_case([&] {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    std::vector<std::string> expanded;
    if (auto result = kest::expand_arguments(static_cast<int>(argv.size()), argv.data())) {
      expanded = std::move(*result);
      argv.clear();
      for (std::string& arg : expanded) argv.push_back(arg.data());
    }
    const int argc = static_cast<int>(argv.size());
    argv.push_back(nullptr);
    kest::OptionState state;
    const int first = kest::parse_options(argc, argv.data(), state);
    KEST_FUZZ_CHECK(first >= 1 && first <= argc);
  });
  if (::fchdir(folder.home) != 0) kest::fuzz::fail("cannot leave the folder");
  return 0;
}
