// The variables of the expression language: interned names and the two
// process-wide variable lists, `assigned_variables` (what assignments write) and
// `row_inputs` (the current row's read-only inputs).
//
// A list behaves as a singly linked list with insertion at the front and
// first-match lookup by exact name; its records are kept newest last in one
// vector with a per-name index, so a lookup costs the same whatever the length.
//
// The indexed families of a row (c[i] and p[i] in `row_inputs`, r[i] in
// `assigned_variables`) are attached as views of the row arrays instead of n
// separate records: `attach_family('c', values, n)` stands for the records
// c[1]..c[n] pushed at that moment, with the values read and written in place.
// A family matches only the names the system itself makes ("c[%u]", no leading
// zeros), so c[01] stays a name of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kest {

using SymbolId = std::uint32_t;

/// What a name says about itself.
struct Symbol {
  std::string name;
  char family = 0;          ///< 'c', 'g', 'n', 'p' or 'r' for "x[digits...", else 0
  std::uint32_t index = 0;  ///< the index digits of a family name, saturated
  bool canonical = false;   ///< exactly "x[%u]" with no leading zero
};

namespace detail {
/// The part of a Symbol a lookup needs, kept contiguous by id.
struct SymbolKey {
  char family;
  bool canonical;
  std::uint32_t index;
};
extern std::vector<SymbolKey> symbol_keys;
}  // namespace detail

/// How `name` reads: its family letter, index and whether it is canonical.
Symbol describe_name(std::string_view name);

/// The id of `name`, made on first use. Ids stay valid for the whole process.
SymbolId intern(std::string_view name);
/// The id of `name` if it was ever interned.
bool find_symbol(std::string_view name, SymbolId& id);
const Symbol& symbol(SymbolId id);

/// One record as the list shows it.
struct VariableView {
  const std::string& name;
  double value;
};

class VariableList {
 public:
  /// A new record at the front (a name already present is hidden by it).
  void push_front(SymbolId id, double value) {
    if (id >= position_.size()) position_.resize(static_cast<std::size_t>(id) + 1, -1);
    position_[id] = static_cast<std::int32_t>(records_.size());
    records_.push_back(Record{id, value});
  }
  void push_front(std::string_view name, double value) { push_front(intern(name), value); }

  /// The value of the first record of this name, or nullptr.
  double* find(SymbolId id) {
    std::int32_t at = id < position_.size() ? position_[id] : -1;
    const detail::SymbolKey& s = detail::symbol_keys[id];
    if (s.canonical) {
      for (std::size_t f = 0; f < family_count_; ++f) {
        const Family& family = families_[f];
        if (family.letter == s.family && s.index - 1u < family.count && at < family.position) {
          return &family.values[s.index - 1];
        }
      }
    }
    return at >= 0 ? &records_[static_cast<std::size_t>(at)].value : nullptr;
  }
  double* find(std::string_view name);

  /// Puts the records letter[1]..letter[count] at the front, pushed in index
  /// order, as a view of `values` (at most two families at a time).
  void attach_family(char letter, double* values, std::uint32_t count) {
    if (family_count_ == std::size(families_)) return;
    families_[family_count_++] =
        Family{letter, values, count, static_cast<std::int32_t>(records_.size())};
  }

  /// Removes every record but the g[k] ones (families included), keeping order.
  void keep_only_globals();
  /// Removes everything.
  void clear();

  /// Calls visit(view) for every record from the front to the back.
  template <class Visit>
  void for_each(Visit visit) const;
  /// The number of records, family members included.
  std::size_t size() const;

  struct Record {
    SymbolId id;
    double value;
  };
  /// Where the family of `letter` stands among the records (records older than
  /// this lie behind it), or -1 when it is not attached.
  std::int32_t family_position(char letter) const {
    for (std::size_t f = 0; f < family_count_; ++f) {
      if (families_[f].letter == letter) return families_[f].position;
    }
    return -1;
  }

  /// The real records (not the family members), oldest first.
  const std::vector<Record>& records() const { return records_; }

 private:
  struct Family {
    char letter = 0;
    double* values = nullptr;
    std::uint32_t count = 0;
    std::int32_t position = 0;  ///< records older than this lie behind the family
  };
  std::vector<Record> records_;         // oldest first; the front of the list is the back
  std::vector<std::int32_t> position_;  // by symbol: the newest record's place, -1 none
  Family families_[2];
  std::size_t family_count_ = 0;
};

namespace detail {
extern VariableList assigned_variables;
extern VariableList row_inputs;
}  // namespace detail

/// The list assignments write (and the r[i] records of a row).
inline VariableList& assigned_variables() {
  return detail::assigned_variables;
}
/// The current row's inputs c[i], _line and p[i].
inline VariableList& row_inputs() {
  return detail::row_inputs;
}
/// Empties both lists.
void reset_variables();

template <class Visit>
void VariableList::for_each(Visit visit) const {
  std::size_t f = family_count_;
  std::size_t r = records_.size();
  // Families and records interleave by their places; newer ones come first.
  while (r > 0 || f > 0) {
    if (f > 0 && static_cast<std::size_t>(families_[f - 1].position) >= r) {
      const Family& family = families_[--f];
      for (std::uint32_t i = family.count; i > 0; --i) {
        std::string name = std::string(1, family.letter) + "[" + std::to_string(i) + "]";
        visit(VariableView{name, family.values[i - 1]});
      }
    } else {
      const Record& record = records_[--r];
      visit(VariableView{symbol(record.id).name, record.value});
    }
  }
}

}  // namespace kest
