#include "src/landuse/class_table.h"

#include <algorithm>
#include <limits>

#include "src/host/ascii_text.h"
#include "src/host/text_encoding.h"

namespace quilmark {
namespace {

// What a table line may carry at its ends: blanks, and the carriage return of a CRLF file.
constexpr std::string_view kLineBlanks = " \r";

std::optional<std::string> LineError(std::string_view line, std::string_view& code,
                                     std::string_view& class_name) {
  const size_t tabs = static_cast<size_t>(std::count(line.begin(), line.end(), '\t'));
  if (tabs != 1) {
    return "应为两列 (编码<TAB>类别), 这一行有 " + std::to_string(tabs + 1) + " 列";
  }
  const size_t tab = line.find('\t');
  code = TrimOf(line.substr(0, tab), kLineBlanks);
  class_name = TrimOf(line.substr(tab + 1), kLineBlanks);
  if (code.empty()) return std::string("编码为空");
  if (class_name.empty()) return "编码 " + std::string(code) + " 没有类别";
  const size_t star = code.find('*');
  if (star != std::string_view::npos && star + 1 != code.size()) {
    return "编码 " + std::string(code) + " 中的 * 只能写在末尾 (前缀规则)";
  }
  return std::nullopt;
}

bool IsSixDigits(std::string_view code) {
  return code.size() == 6 && std::all_of(code.begin(), code.end(), IsAsciiDigit);
}

}  // namespace

std::vector<std::pair<std::string_view, std::string_view>> ClassTable::ExactRules() const {
  std::vector<std::pair<std::string_view, std::string_view>> rules;
  for (const Rule& rule : rules_) {
    if (!rule.prefix) rules.emplace_back(rule.code, rule.class_name);
  }
  return rules;
}

void ClassTable::Add(std::string_view code, std::string_view class_name) {
  Rule rule{std::string(code), std::string(class_name), false};
  if (!rule.code.empty() && rule.code.back() == '*') {
    rule.code.pop_back();
    rule.prefix = true;
    prefixes_.push_back(rules_.size());
  } else {
    exact_.emplace(rule.code, rules_.size());  // an earlier rule with the code stays first
  }
  rules_.push_back(std::move(rule));
}

std::optional<std::string_view> ClassTable::Match(std::string_view code) const {
  size_t best = std::numeric_limits<size_t>::max();
  if (auto it = exact_.find(std::string(code)); it != exact_.end()) best = it->second;
  for (size_t index : prefixes_) {
    if (index >= best) break;
    if (code.substr(0, rules_[index].code.size()) == rules_[index].code) {
      best = index;
      break;
    }
  }
  if (best == std::numeric_limits<size_t>::max()) return std::nullopt;
  return rules_[best].class_name;
}

ClassLookup ClassTable::Lookup(std::string_view text) const {
  std::string_view code = text;
  const bool k_marked = code.size() > 1 && code.back() == 'K';
  if (std::optional<std::string_view> found = Match(text)) {
    // A K code named by its own row is that row's class, not a K patch of another.
    return {std::string(*found), true, k_marked && !exact_.contains(std::string(text))};
  }
  if (k_marked) {
    code.remove_suffix(1);
    if (std::optional<std::string_view> found = Match(code)) {
      return {std::string(*found), true, true};
    }
  }
  if (code.size() > 1 && code.back() == 'A') {
    code.remove_suffix(1);
    if (std::optional<std::string_view> found = Match(code)) {
      return {std::string(*found), true, k_marked};
    }
  }
  if (IsSixDigits(code)) {
    if (std::optional<std::string_view> found = Match(code.substr(0, 4))) {
      return {std::string(*found), true, k_marked};
    }
  }
  return {std::string(text), false, false};
}

ParsedTable ParseClassTable(std::string_view raw) {
  if (raw.starts_with("\xEF\xBB\xBF")) raw.remove_prefix(3);
  const std::optional<std::string> decoded = DecodeChineseText(raw);
  if (!decoded) {
    return {std::nullopt, {FirstUndecodableLine(raw), "既不是 UTF-8 也不是 GBK 编码的文字"}};
  }
  const std::string_view text = *decoded;
  ClassTable table;
  int line_number = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = TrimOf(text.substr(start, end - start), kLineBlanks);
    start = end + 1;
    ++line_number;
    if (line.empty() || line.front() == '#') continue;
    std::string_view code, class_name;
    if (std::optional<std::string> what = LineError(line, code, class_name)) {
      return {std::nullopt, {line_number, std::move(*what)}};
    }
    table.Add(code, class_name);
  }
  if (table.size() == 0) return {std::nullopt, {0, "表中没有任何 编码<TAB>类别 行"}};
  return {std::move(table), {}};
}

}  // namespace quilmark
