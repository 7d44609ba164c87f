// The help text, the version lines and the closing banner.
#pragma once

namespace kest {

/// "kest Version <release> <build date> <build time> by <maintainer>".
const char* version_line();
/// Two lines: years and holder of the rights.
const char* notice_line();
/// Where to send reports and comments.
const char* contact_line();

/// Shows the help text and ends the run (ExitRequest). Without --more the program
/// runs itself again with "--more -?" into the pager and ends with the pager's
/// status; with --more the text goes straight to standard output, status 0.
[[noreturn]] void usage(const char* program_path);

/// The help text after the option parser reported an error (it has printed its
/// message): shown as by `usage`, but the run always ends with status 1.
[[noreturn]] void usage_after_error(const char* program_path);

/// The version, notice and contact lines on standard output; status 0.
[[noreturn]] void print_version();

/// "\n<version>\n<notice>\n" on standard error, or only "\n" when quiet.
void print_closing_banner();

}  // namespace kest
