#include "expr/row_eval.h"

#include <algorithm>

#include "base/diagnostics.h"
#include "base/log.h"
#include "base/settings.h"
#include "base/text.h"
#include "expr/variables.h"

namespace kest {

namespace {

bool is_family_letter(char c) {
  return c == 'c' || c == 'g' || c == 'n' || c == 'p' || c == 'r';
}

/// The deprecated names rewritten, then the final ";"; with Settings.debug the
/// text as written and as translated are logged under `label`.
std::string prepare(std::string_view text, const char* label) {
  std::string translated = translate_deprecated(text);
  if (settings().debug) {
    std::string original(text);
    KEST_DEBUG("%s:%s\n", label, original.c_str());
    KEST_DEBUG("%s(translated):%s\n", label, translated.c_str());
  }
  translated.push_back(';');
  return translated;
}

/// The debug lines of collect_results for one variable: how its name reads as an
/// r[] and, failing that, as an n[] name.
void debug_collected(const VariableView& variable) {
  Symbol s = describe_name(variable.name);
  bool is_r = s.family == 'r';
  unsigned r_index = is_r ? s.index : 0;
  KEST_DEBUG("%s %g ret=%d idx=%u\n", variable.name.c_str(), variable.value, is_r ? 1 : 0, r_index);
  KEST_DEBUG("ret=%d idx=%u\n", is_r ? 1 : 0, r_index);
  if (is_r) return;
  bool is_n = s.family == 'n';
  KEST_DEBUG("ret=%d idx=%u\n", is_n ? 1 : 0, is_n ? s.index : 0u);
}

}  // namespace

std::string translate_deprecated(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  bool translated = false;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '_' && i + 2 < text.size() && is_family_letter(text[i + 1]) &&
        is_digit(text[i + 2])) {
      out.push_back(text[i + 1]);
      out.push_back('[');
      for (i += 2; i < text.size() && is_digit(text[i]); ++i) out.push_back(text[i]);
      out.push_back(']');
      translated = true;
    } else {
      out.push_back(text[i++]);
    }
  }
  if (translated) {
    info_message(
        "\nVariables of type _n1, _c2  and _r4 are deprecated.\n"
        "Please use       n[1], c[2] and r[4] instead.\n\n");
  }
  return out;
}

std::uint32_t collect_results(double* row, std::uint32_t n, std::uint8_t* flags) {
  VariableList& assigned = assigned_variables();
  if (settings().debug) assigned.for_each(debug_collected);

  // From the front to the back; the r[i] family (if attached) is the row itself,
  // so r[] records in front of it would be overwritten by it and are skipped.
  const std::vector<VariableList::Record>& records = assigned.records();
  std::int32_t family = assigned.family_position('r');
  std::uint32_t added = 0;
  for (std::size_t k = records.size(); k-- > 0;) {
    const detail::SymbolKey& s = detail::symbol_keys[records[k].id];
    if (s.family == 'r') {
      bool behind_family = family < 0 || static_cast<std::int32_t>(k) < family;
      if (behind_family && s.index >= 1 && s.index <= n) row[s.index - 1] = records[k].value;
    } else if (s.family == 'n' && s.index < kNewColumns) {
      row[n + s.index] = records[k].value;
      // n[5] and n[05] fill one slot and add one column.
      if (flags[n + s.index] != 0) {
        flags[n + s.index] = 0;
        ++added;
      }
    }
  }
  return n + added;
}

RowEvaluator::RowEvaluator(std::string_view program)
    : program_(prepare(program, "pc")), line_id_(intern("_line")) {}

RowEvaluator::~RowEvaluator() {
  reset_variables();
}

void RowEvaluator::begin(std::uint32_t n, std::optional<std::string_view> prolog) {
  lex_ = Lexer{};
  if (prolog) {
    Program text(prepare(*prolog, "prolog"));
    text.run(lex_);
    assigned_variables().keep_only_globals();
  }
  n_ = n;
  inputs_ = vector_or_die<double>(__FILE_NAME__, __LINE__, 2 * static_cast<std::size_t>(n), 0.0);
  current_ = 0;
}

std::uint32_t RowEvaluator::run_row(double* row, std::uint32_t line, std::uint8_t* flags) {
  double* current = inputs_.data() + static_cast<std::size_t>(current_) * n_;
  double* previous = inputs_.data() + static_cast<std::size_t>(1 - current_) * n_;
  std::copy(row, row + n_, current);
  VariableList& inputs = row_inputs();
  inputs.attach_family('c', current, n_);
  inputs.push_front(line_id_, line);
  inputs.attach_family('p', previous, n_);
  assigned_variables().attach_family('r', row, n_);
  program_.run(lex_);
  current_ = 1 - current_;  // this row's inputs are the next row's p[]
  return finish(row, flags);
}

std::uint32_t RowEvaluator::run_epilog(std::string_view epilog, double* row, std::uint8_t* flags) {
  Program text(prepare(epilog, "epilog"));
  std::fill(row, row + n_, 0.0);
  double* last = inputs_.data() + static_cast<std::size_t>(1 - current_) * n_;
  row_inputs().attach_family('p', last, n_);
  assigned_variables().attach_family('r', row, n_);
  text.run(lex_);
  std::uint32_t total = finish(row, flags);
  reset_variables();
  return total;
}

std::uint32_t RowEvaluator::finish(double* row, std::uint8_t* flags) {
  std::fill(flags + n_, flags + n_ + kNewColumns, std::uint8_t{1});
  std::uint32_t total = collect_results(row, n_, flags);
  assigned_variables().keep_only_globals();
  row_inputs().clear();
  return total;
}

}  // namespace kest
