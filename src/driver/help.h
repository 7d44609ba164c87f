// The help text, the version lines and the closing banner.
#pragma once

namespace kest {

/// "kest Version <release> <build date> <build time> by <maintainer>".
const char* version_line();
/// Two lines: years and holder of the rights.
const char* notice_line();
/// Where to send reports and comments.
const char* contact_line();

/// Shows the help text and ends the run (ExitRequest) with the status of
/// `show_help` for this run's standard output and the PAGER variable.
[[noreturn]] void usage(const char* program_path);

/// The help text after the option parser reported an error (it has printed its
/// message): written straight to standard error, never through the pager or to
/// standard output, so the next stage of a pipe reads no help as data; the run
/// ends with status 1.
[[noreturn]] void usage_after_error(const char* program_path);

/// Shows the help text on standard output and gives the status the run ends
/// with. On a `terminal` without --more the text goes through the pager, read
/// from a pipe: `pager` split at blanks (the PAGER variable; a null or blank one
/// means "more"), found through PATH and started without a command interpreter;
/// the status is the pager's own (1 when it was killed). Otherwise, and when the
/// pager cannot be started, the text goes straight to standard output, status 0.
/// The text shows the settings of this run (the default extension, the fuzz).
int show_help(const char* program_path, bool terminal, const char* pager);

/// The version, notice and contact lines on standard output; status 0.
[[noreturn]] void print_version();

/// "\n<version>\n<notice>\n" on standard error, or only "\n" when quiet.
void print_closing_banner();

}  // namespace kest
