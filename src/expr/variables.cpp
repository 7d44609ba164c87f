#include "expr/variables.h"

#include <deque>
#include <limits>
#include <string>
#include <unordered_map>

#include "base/text.h"

namespace kest {

namespace {

struct SymbolTable {
  std::deque<Symbol> symbols;  // a deque: references stay valid as names are added
  std::unordered_map<std::string, SymbolId> ids;
};

SymbolTable& table() {
  static SymbolTable instance;
  return instance;
}

}  // namespace

Symbol describe_name(std::string_view name) {
  Symbol s;
  s.name = std::string(name);
  if (name.size() < 3 || name[1] != '[' || !is_digit(name[2])) return s;
  switch (name[0]) {
    case 'c':
    case 'g':
    case 'n':
    case 'p':
    case 'r':
      break;
    default:
      return s;
  }
  s.family = name[0];
  std::size_t i = 2;
  std::uint64_t index = 0;
  for (; i < name.size() && is_digit(name[i]); ++i) {
    index = std::min<std::uint64_t>(index * 10 + static_cast<unsigned>(name[i] - '0'),
                                    std::numeric_limits<std::uint32_t>::max());
  }
  s.index = static_cast<std::uint32_t>(index);
  bool leading_zero = name[2] == '0' && i > 3;
  s.canonical = !leading_zero && i + 1 == name.size() && name[i] == ']' &&
                index < std::numeric_limits<std::uint32_t>::max();
  return s;
}

SymbolId intern(std::string_view name) {
  SymbolTable& t = table();
  auto found = t.ids.find(std::string(name));
  if (found != t.ids.end()) return found->second;
  SymbolId id = static_cast<SymbolId>(t.symbols.size());
  t.symbols.push_back(describe_name(name));
  const Symbol& s = t.symbols.back();
  detail::symbol_keys.push_back(detail::SymbolKey{s.family, s.canonical, s.index});
  t.ids.emplace(std::string(name), id);
  return id;
}

bool find_symbol(std::string_view name, SymbolId& id) {
  SymbolTable& t = table();
  auto found = t.ids.find(std::string(name));
  if (found == t.ids.end()) return false;
  id = found->second;
  return true;
}

const Symbol& symbol(SymbolId id) {
  return table().symbols[id];
}

double* VariableList::find(std::string_view name) {
  SymbolId id;
  return find_symbol(name, id) ? find(id) : nullptr;
}

void VariableList::keep_only_globals() {
  family_count_ = 0;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < records_.size(); ++i) {
    position_[records_[i].id] = -1;
    if (detail::symbol_keys[records_[i].id].family == 'g') records_[kept++] = records_[i];
  }
  records_.resize(kept);
  // Oldest first, so that the newest of equal names ends up indexed.
  for (std::size_t i = 0; i < kept; ++i) position_[records_[i].id] = static_cast<std::int32_t>(i);
}

void VariableList::clear() {
  for (const Record& record : records_) position_[record.id] = -1;
  records_.clear();
  family_count_ = 0;
}

std::size_t VariableList::size() const {
  std::size_t total = records_.size();
  for (std::size_t f = 0; f < family_count_; ++f) total += families_[f].count;
  return total;
}

namespace detail {
constinit std::vector<SymbolKey> symbol_keys;
constinit VariableList assigned_variables;
constinit VariableList row_inputs;
}  // namespace detail

void reset_variables() {
  assigned_variables().clear();
  row_inputs().clear();
}

}  // namespace kest
