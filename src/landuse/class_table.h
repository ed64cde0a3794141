// A code -> class table: the shipped classifications and a user's own table share this format
// and this lookup.
//
// The text is one rule a line, "code<TAB>class". Lines that are empty or start with # are
// skipped. A code ending in * is a prefix rule (0101* takes every code that starts with 0101);
// any other code must match exactly. The first rule that matches wins.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quilmark {

// What a table makes of one class text.
struct ClassLookup {
  std::string key;        // the class, or the text itself when the table does not know it
  bool known = true;      // false: no rule took the text or its base code
  bool k_marked = false;  // the text ends in K (可调整): it counted toward its base code
};

class ClassTable {
 public:
  // The first rule matching the code itself, nullopt when none does.
  std::optional<std::string_view> Match(std::string_view code) const;

  // The class of a text: the code itself (a K code that only a prefix rule takes is still
  // K-marked); else, when it ends in K, the code without it; then,
  // when that ends in A, the code without the A; then, for a code of six digits, its first four.
  // A text that none of these match is its own key and not known.
  ClassLookup Lookup(std::string_view text) const;

  size_t size() const { return rules_.size(); }

  // The exact rules (prefix rules left out) in the table's order: code and class.
  std::vector<std::pair<std::string_view, std::string_view>> ExactRules() const;

  // Adds a rule after the others. A code ending in * is a prefix rule.
  void Add(std::string_view code, std::string_view class_name);

 private:
  struct Rule {
    std::string code;  // without the * of a prefix rule
    std::string class_name;
    bool prefix = false;
  };
  std::vector<Rule> rules_;
  std::unordered_map<std::string, size_t> exact_;  // code -> first exact rule with it
  std::vector<size_t> prefixes_;                   // prefix rules, in order
};

// A table text that could not be read: the 1-based line and what is wrong with it (0: the text
// as a whole, such as a table without rules).
struct TableError {
  int line = 0;
  std::string what;
};

struct ParsedTable {
  std::optional<ClassTable> table;  // set when the text was read
  TableError error;                 // when it was not
};

// Reads a table text in UTF-8 (a leading byte-order mark is skipped) or, when the text is not
// valid UTF-8, in GBK. Carriage returns before line ends and blanks around fields are dropped.
ParsedTable ParseClassTable(std::string_view text);

}  // namespace quilmark
