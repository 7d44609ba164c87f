// The driver: prepares the run, parses the command line, calls one operation per
// input file and ends with the closing banner.
#pragma once

#include <string>

namespace kest {

/// Runs the tool; fatal errors and early ends arrive as exceptions.
int run(int argc, char** argv);

/// The process entry: `run`, with fatal errors turned into their report and
/// status 1, and a failed write to standard output reported as an error.
int main_entry(int argc, char** argv);

/// The output name wildcard mode derives from an input name: the part from the
/// last '.' of the last path component on is replaced by `extension` (appended
/// when there is no '.').
std::string wildcard_output_name(const std::string& input, const std::string& extension);

}  // namespace kest
