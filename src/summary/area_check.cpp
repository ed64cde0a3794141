#include "src/summary/area_check.h"

#include <string_view>
#include <variant>

#include "src/host/utf16.h"

namespace quilmark {
namespace {

constexpr size_t kTextShown = 20;  // UTF-16 units of an odd cell's text kept for the report

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TrimSpace(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r\n";
  const size_t first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

// Skips digits from `at`; returns how many there were.
size_t Digits(std::string_view text, size_t& at) {
  const size_t start = at;
  while (at < text.size() && IsDigit(text[at])) ++at;
  return at - start;
}

bool IsDecimalText(std::string_view text) {
  size_t at = 0;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  size_t digits = Digits(text, at);
  if (at < text.size() && text[at] == '.') {
    ++at;
    digits += Digits(text, at);
  }
  if (digits == 0) return false;
  if (at < text.size() && (text[at] == 'E' || text[at] == 'e')) {
    ++at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    if (Digits(text, at) == 0) return false;
  }
  return at == text.size();
}

// A title row's area cell ("面积") is a text without digits of any width.
bool HasDigit(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsDigit(text[i])) return true;
    // Full-width digits U+FF10..U+FF19: EF BC 90..99.
    if (i + 2 < text.size() && text[i] == '\xEF' && text[i + 1] == '\xBC' &&
        text[i + 2] >= '\x90' && text[i + 2] <= '\x99') {
      return true;
    }
  }
  return false;
}

}  // namespace

bool IsPlainNumber(const CellValue& value) {
  if (std::holds_alternative<double>(value)) return true;
  const std::string* text = std::get_if<std::string>(&value);
  return text != nullptr && IsDecimalText(TrimSpace(*text));
}

void AreaCheck::AddRow(const PatchRow& row) {
  ++rows_;
  if (!row.cells.area || !row.area) return;  // unreadable: no area was counted
  const CellValue& cell = *row.cells.area;
  const bool first = !seen_area_;
  if (IsPlainNumber(cell)) {
    any_number_ = seen_area_ = true;
    return;
  }
  if (*row.area != 0) any_number_ = true;
  const std::string text = CellText(cell);
  if (text.empty()) return;  // an empty cell is no area, not an odd one
  seen_area_ = true;
  if (first && !HasDigit(text)) return;  // the column's title
  ++odd_count_;
  odd_area_ += *row.area;
  if (first_odd_.size() < kCellsKept) {
    std::string shown(Utf16Prefix(text, kTextShown));
    if (shown.size() < text.size()) shown += "…";
    first_odd_.push_back({row.cells.number, std::move(shown), *row.area});
  }
}

}  // namespace quilmark
