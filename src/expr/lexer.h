// The scanner of the expression language (--eval, --eval-prolog, --eval-epilog)
// and the syntax-error report every part of the language uses.
//
// `getsym` turns the zero-terminated program text into one symbol at a time. The
// markers "#?" and "#!" switch the verbose report on and off as the scan passes
// them; the switch lives in the `Lexer` and is never reset between texts.
//
// Failures are values (`Failure`, `RangeReport`) so that they can either be acted
// on at once or recorded: a `Lexer` with a `LexRecorder` attached hands every
// marker, every out-of-range number and the failure that ends the scan to the
// recorder instead. The evaluator uses this to translate a text once and replay
// the very same events, in the same order, on every run (see evaluator.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kest {

/// Symbol kinds; the number of a kind indexes its display name.
enum SymbolKind : std::uint32_t {
  symbol_none,
  symbol_space,
  symbol_identifier,
  symbol_number,
  symbol_lparen,
  symbol_rparen,
  symbol_times,
  symbol_slash,
  symbol_plus,
  symbol_minus,
  symbol_equal,
  symbol_not_equal,
  symbol_less,
  symbol_less_equal,
  symbol_greater,
  symbol_greater_equal,
  symbol_semicolon,
  symbol_colon,
  symbol_question,
  symbol_assign,
  symbol_constsym,
  symbol_comma,
  symbol_mod,
  symbol_raised_to,
  symbol_function,
  symbol_period,
  symbol_logic_or,
  symbol_logic_and,
  symbol_lsqparen,
  symbol_rsqparen,
  symbol_kind_count
};

/// The name of a symbol kind as error messages show it (trailing blanks included).
const char* symbol_display_name(std::uint32_t kind);

/// The longest identifier, indexed names with their brackets included.
inline constexpr std::size_t kMaxIdentifier = 15;

class LexRecorder;

/// The scanner's state for one evaluation run; zero-initialised it is fresh
/// (`symbol_none`, verbose off).
struct Lexer {
  double number = 0;                    ///< value of the last number symbol
  std::uint32_t sym = symbol_none;      ///< kind of the current symbol
  std::int32_t verbose = 0;             ///< 1: full syntax-error reports
  const char* pc = nullptr;             ///< where scanning continues
  const char* program = nullptr;        ///< start of the text being run
  const char* last_sym = nullptr;       ///< where the current symbol begins
  const char* last_last_sym = nullptr;  ///< where the previous symbol began
  char ident[kMaxIdentifier + 1] = {};  ///< text of the last identifier
  LexRecorder* recorder = nullptr;      ///< when set, events are recorded, not acted on
};

/// Where a syntax-error report points and the scanner's positions at that moment,
/// as offsets from the program start, with the reporting place in the source.
struct ReportSite {
  const char* file = "";
  int line = 0;
  std::ptrdiff_t where = 0;
  std::ptrdiff_t pc = 0;
  std::ptrdiff_t last_sym = 0;
  std::ptrdiff_t last_last_sym = 0;
};

/// The snapshot of `lex` for a report at `where` from the place file:line.
ReportSite make_site(const Lexer& lex, const char* where, const char* file, int line);
#define KEST_SITE(lex, where) ::kest::make_site((lex), (where), __FILE_NAME__, __LINE__)

/// An error that ends the run with status 1.
struct Failure {
  enum class Kind : std::uint8_t {
    kReportThenError,  ///< syntax-error report, then the error line
    kErrorOnly,        ///< the error line alone
    kStatement,        ///< the "Expected ..." line, verbose switched on, the report
  };
  Kind kind = Kind::kReportThenError;
  ReportSite site;
  std::string message;  ///< the error line (or the "Expected ..." line)
};

/// A domain or range error of a number, a function or the power operator: the
/// platform's message for `error_number` after `prefix`, then the syntax-error
/// report. The run goes on in verbose mode.
struct RangeReport {
  const char* prefix = "";
  int error_number = 0;
  ReportSite site;
};

/// Receives the events of a scan instead of the scanner acting on them.
class LexRecorder {
 public:
  virtual ~LexRecorder() = default;
  virtual void verbose_marker(std::int32_t value) = 0;
  virtual void range_report(const RangeReport& report) = 0;
  /// Records the failure and unwinds the scan (never returns).
  [[noreturn]] virtual void failure(Failure failure) = 0;
};

/// Scans the next symbol from `pc`: sets `sym` (and `number` or `ident`), moves
/// `pc` past it and shifts `last_sym` into `last_last_sym`.
void getsym(Lexer& lex);

/// getsym when `sym` is `wanted`; otherwise the report at pc - 1 and
/// "unexpected symbol %s (expecting %s)\n" (exit status 1).
void expect_symbol(Lexer& lex, std::uint32_t wanted);

/// The syntax-error report at offset `where` from the program start. Without
/// `verbose`: "SyntaxError\n" on standard output and the run ends (status 1).
/// With it: the context, a marker line and the positions on standard error, and
/// the caller goes on. `line` names the reporting place.
void report_syntax_error(int line, const Lexer& lex, std::ptrdiff_t where);

/// Records the failure when a recorder is attached; otherwise acts on it.
[[noreturn]] void raise_failure(Lexer& lex, Failure failure);

/// Acts on a failure now: puts the site's positions into `lex`, writes what the
/// kind asks for and ends the run with status 1.
[[noreturn]] void perform_failure(Lexer& lex, const Failure& failure);

/// Acts on a range report now: the platform's message, then the report (which
/// ends the run unless verbose).
void perform_range_report(Lexer& lex, const RangeReport& report);

}  // namespace kest
