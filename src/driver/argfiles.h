// Argument files: "@file" and "$file" arguments are replaced by the file's lines
// (each expanded again), "#" arguments are dropped.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kest {

/// Argument files may name each other to this depth, no deeper.
inline constexpr int kMaxArgumentFileDepth = 32;

/// The expanded arguments, or nothing when the vector is unchanged (no file was
/// expanded and no argument dropped). Nesting deeper than kMaxArgumentFileDepth
/// is fatal. An argument file that is a directory is refused ("Could not open
/// file %s\n"). `files_read` receives the name of every argument file read.
std::optional<std::vector<std::string>> expand_arguments(
    int argc, char** argv, std::vector<std::string>* files_read = nullptr);

}  // namespace kest
