// Debug and error log lines, and the per-run entry of the file "logfile".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/diagnostics.h"

namespace kest {

/// "%s:%d:: debug: " and the message on standard error (callers test Settings.debug).
void debug_message(const char* module, int line, const char* format, ...) KEST_PRINTF(3, 4);

/// "%s:%d:: error: " and the message on standard error; the caller then ends the
/// run with status 1.
void error_message(const char* module, int line, const char* format, ...) KEST_PRINTF(3, 4);

#define KEST_DEBUG(...) ::kest::debug_message(__FILE_NAME__, __LINE__, __VA_ARGS__)
#define KEST_ERROR(...) ::kest::error_message(__FILE_NAME__, __LINE__, __VA_ARGS__)

/// Appends one line to `file_name`: date and time, then every argument by the
/// quoting rule. Prints "No logfile entry\n" when the file cannot be opened.
void log_entry(const char* file_name, const std::vector<std::string>& args);

/// One argument as the log writes it, with its leading blank.
std::string log_quote(std::string_view arg);

/// A copy of `text` with every '"' and '\' preceded by a backslash.
std::string escape_quotes(std::string_view text);

}  // namespace kest
