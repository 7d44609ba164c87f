#include "expr/lexer.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/diagnostics.h"
#include "base/log.h"
#include "base/text.h"

namespace kest {

namespace {

constexpr const char* kDisplayNames[symbol_kind_count] = {
    "symbol_none",
    "symbol_space",
    "symbol_identifier \"variable\"",
    "symbol_number",
    "symbol_lparen '(' ",
    "symbol_rparen ')' ",
    "symbol_times '*' ",
    "symbol_slash '/' ",
    "symbol_plus '+' ",
    "symbol_minus '-' ",
    "symbol_equal '==' ",
    "symbol_not_equal '!=' ",
    "symbol_less '<' ",
    "symbol_less_equal '<=' ",
    "symbol_greater '>' ",
    "symbol_greater_equal '>=' ",
    "symbol_semicolon ';' ",
    "symbol_colon ':' ",
    "symbol_question '?' ",
    "symbol_assign '=' ",
    "symbol_constsym",
    "symbol_comma ',' ",
    "symbol_mod '%' or '\\' ",
    "symbol_raised_to '^' or '**' ",
    "symbol_function",
    "symbol_period '.' ",
    "symbol_logic_or '||' ",
    "symbol_logic_and '&&' ",
    "symbol_lsqparen '[' ",
    "symbol_rsqparen ']' ",
};

/// The kind of a two-character symbol starting with a, b, or symbol_none.
std::uint32_t two_char_symbol(char a, char b) {
  switch (a) {
    case '*':
      return b == '*' ? symbol_raised_to : symbol_none;
    case '&':
      return b == '&' ? symbol_logic_and : symbol_none;
    case '|':
      return b == '|' ? symbol_logic_or : symbol_none;
    case '!':
      return b == '=' ? symbol_not_equal : symbol_none;
    case '<':
      return b == '>' ? symbol_not_equal : b == '=' ? symbol_less_equal : symbol_none;
    case '=':
      return b == '=' ? symbol_equal : symbol_none;
    case '>':
      return b == '=' ? symbol_greater_equal : symbol_none;
    case ':':
      return b == '=' ? symbol_assign : symbol_none;
    default:
      return symbol_none;
  }
}

/// The kind of a one-character symbol, or symbol_none.
std::uint32_t one_char_symbol(char c) {
  switch (c) {
    case '(':
      return symbol_lparen;
    case ')':
      return symbol_rparen;
    case '*':
      return symbol_times;
    case '+':
      return symbol_plus;
    case ',':
      return symbol_comma;
    case '-':
      return symbol_minus;
    case '/':
      return symbol_slash;
    case ':':
      return symbol_colon;
    case ';':
      return symbol_semicolon;
    case '<':
      return symbol_less;
    case '=':
      return symbol_assign;
    case '>':
      return symbol_greater;
    case '?':
      return symbol_question;
    case '[':
      return symbol_lsqparen;
    case ']':
      return symbol_rsqparen;
    case '^':
      return symbol_raised_to;
    case '%':
    case '\\':
      return symbol_mod;
    default:
      return symbol_none;
  }
}

constexpr bool is_name_char(char c) {
  return c == '_' || is_letter(c) || is_digit(c);
}

[[noreturn]] void fail_with_report(Lexer& lex, const ReportSite& site, std::string message) {
  raise_failure(lex, Failure{Failure::Kind::kReportThenError, site, std::move(message)});
}

void scan_number(Lexer& lex) {
  const char* start = lex.pc;
  char* end = nullptr;
  errno = 0;
  double value = std::strtod(start, &end);
  int error = errno;
  if (end == start) {
    raise_failure(lex, Failure{Failure::Kind::kErrorOnly, KEST_SITE(lex, start),
                               format_text("invalid number %s\n", start)});
  }
  lex.number = value;
  lex.pc = end;
  lex.sym = symbol_number;
  if (error == ERANGE) {
    RangeReport report{"getsym", ERANGE, KEST_SITE(lex, start)};
    if (lex.recorder != nullptr) {
      lex.recorder->range_report(report);
    } else {
      perform_range_report(lex, report);
    }
  }
}

void scan_identifier(Lexer& lex) {
  std::size_t length = 0;
  do {
    lex.ident[length++] = *lex.pc++;
  } while (length < kMaxIdentifier && is_name_char(*lex.pc));
  lex.ident[length] = '\0';

  if (*lex.pc == '(') {
    ++lex.pc;
    lex.sym = symbol_function;
    return;
  }
  lex.sym = symbol_identifier;
  if (*lex.pc != '[') return;

  // An indexed name: name[digits], brackets included in the name.
  if (length == kMaxIdentifier) {
    fail_with_report(lex, KEST_SITE(lex, lex.pc),
                     format_text("to long identifier (%s)\n", lex.ident));
  }
  lex.ident[length++] = *lex.pc++;
  lex.ident[length] = '\0';
  if (!is_digit(*lex.pc)) {
    fail_with_report(lex, KEST_SITE(lex, lex.pc), "expecting numeric index\n");
  }
  while (is_digit(*lex.pc) && length < kMaxIdentifier) lex.ident[length++] = *lex.pc++;
  lex.ident[length] = '\0';
  if (*lex.pc == ']' && length < kMaxIdentifier) {
    lex.ident[length++] = *lex.pc++;
    lex.ident[length] = '\0';
    return;
  }
  if (*lex.pc == ']') {
    fail_with_report(lex, KEST_SITE(lex, lex.pc),
                     format_text("to long identifier (%s)\n", lex.ident));
  }
  // The end of the text shows as an empty character rather than a NUL byte.
  fail_with_report(lex, KEST_SITE(lex, lex.pc),
                   format_text("unexpected symbol '%.*s' (expecting %s)\n", *lex.pc != '\0' ? 1 : 0,
                               lex.pc, kDisplayNames[symbol_rsqparen]));
}

}  // namespace

const char* symbol_display_name(std::uint32_t kind) {
  return kind < symbol_kind_count ? kDisplayNames[kind] : "symbol_none";
}

ReportSite make_site(const Lexer& lex, const char* where, const char* file, int line) {
  auto offset = [&](const char* p) { return p == nullptr ? 0 : p - lex.program; };
  return ReportSite{
      file, line, offset(where), offset(lex.pc), offset(lex.last_sym), offset(lex.last_last_sym)};
}

void getsym(Lexer& lex) {
  lex.ident[0] = '\0';
  while (is_blank(*lex.pc)) ++lex.pc;
  lex.last_last_sym = lex.last_sym;
  lex.last_sym = lex.pc;
  for (;;) {
    const char c = *lex.pc;
    if (c == '\0') {
      lex.sym = symbol_period;  // pc stays on the end: every further call says the same
      return;
    }
    if (std::uint32_t kind = two_char_symbol(c, lex.pc[1]); kind != symbol_none) {
      lex.sym = kind;
      lex.pc += 2;
      return;
    }
    if (c == '#' && (lex.pc[1] == '?' || lex.pc[1] == '!')) {
      lex.verbose = lex.pc[1] == '?' ? 1 : 0;
      if (lex.recorder != nullptr) lex.recorder->verbose_marker(lex.verbose);
      lex.sym = symbol_space;
      lex.pc += 2;
      continue;
    }
    if (is_blank(c)) {
      lex.sym = symbol_space;
      ++lex.pc;
      continue;
    }
    if (std::uint32_t kind = one_char_symbol(c); kind != symbol_none) {
      lex.sym = kind;
      ++lex.pc;
      return;
    }
    if (is_digit(c) || (c == '.' && is_digit(lex.pc[1]))) {
      scan_number(lex);
      return;
    }
    if (c == '_' || is_letter(c)) {
      scan_identifier(lex);
      return;
    }
    // After a marker in this same scan, stray characters are passed over.
    if (lex.sym == symbol_space) {
      ++lex.pc;
      continue;
    }
    raise_failure(lex, Failure{Failure::Kind::kErrorOnly, KEST_SITE(lex, lex.pc),
                               format_text("unknown symbol %d (%c) at %s\n",
                                           static_cast<unsigned char>(c), c, lex.pc)});
  }
}

void expect_symbol(Lexer& lex, std::uint32_t wanted) {
  if (lex.sym == wanted) {
    getsym(lex);
    return;
  }
  const char* at = lex.pc > lex.program ? lex.pc - 1 : lex.pc;
  fail_with_report(lex, KEST_SITE(lex, at),
                   format_text("unexpected symbol %s (expecting %s)\n",
                               symbol_display_name(lex.sym), symbol_display_name(wanted)));
}

void report_syntax_error(int line, const Lexer& lex, std::ptrdiff_t where) {
  if (lex.verbose == 0) {
    std::fputs("SyntaxError\n", stdout);
    exit_process(1);
  }
  const char* text = lex.program != nullptr ? lex.program : "";
  std::ptrdiff_t start = where > 10 ? where - 10 : 0;
  std::ptrdiff_t i = start;
  for (; i < where + 10 && text[i] != '\0'; ++i) std::fputc(text[i], stderr);
  std::fputc('\n', stderr);
  // Blank characters are echoed so that tabs line up with the context above.
  for (i = start; i < where && text[i] != '\0'; ++i)
    std::fputc(is_blank(text[i]) ? text[i] : ' ', stderr);
  if (i == where) std::fputc('^', stderr);
  std::fputc('\n', stderr);
  auto offset = [&](const char* p) { return static_cast<long>(p == nullptr ? 0 : p - text); };
  std::fprintf(stderr, "program=%p\nline=%d\nwhere=%ld\n", static_cast<const void*>(text), line,
               static_cast<long>(where));
  std::fprintf(stderr, "lex->pc=%ld\n", offset(lex.pc));
  std::fprintf(stderr, "lex->last_sym=%ld\n", offset(lex.last_sym));
  std::fprintf(stderr, "lex->last_last_sym=%ld\n", offset(lex.last_last_sym));
}

void raise_failure(Lexer& lex, Failure failure) {
  if (lex.recorder != nullptr) lex.recorder->failure(failure);
  perform_failure(lex, failure);
}

namespace {

void restore_positions(Lexer& lex, const ReportSite& site) {
  if (lex.program == nullptr) return;
  lex.pc = lex.program + site.pc;
  lex.last_sym = lex.program + site.last_sym;
  lex.last_last_sym = lex.program + site.last_last_sym;
}

}  // namespace

void perform_failure(Lexer& lex, const Failure& failure) {
  restore_positions(lex, failure.site);
  const ReportSite& site = failure.site;
  switch (failure.kind) {
    case Failure::Kind::kReportThenError:
      report_syntax_error(site.line, lex, site.where);
      error_message(site.file, site.line, "%s", failure.message.c_str());
      break;
    case Failure::Kind::kErrorOnly:
      error_message(site.file, site.line, "%s", failure.message.c_str());
      break;
    case Failure::Kind::kStatement:
      std::fputs(failure.message.c_str(), stderr);
      lex.verbose = 1;
      report_syntax_error(site.line, lex, site.where);
      break;
  }
  exit_process(1);
}

void perform_range_report(Lexer& lex, const RangeReport& report) {
  std::fprintf(stderr, "%s: %s\n", report.prefix, std::strerror(report.error_number));
  restore_positions(lex, report.site);
  report_syntax_error(report.site.line, lex, report.site.where);
}

}  // namespace kest
