#include "src/summary/area_check.h"

#include <string_view>
#include <variant>

#include "src/host/ascii_text.h"
#include "src/host/utf16.h"

namespace quilmark {
namespace {

constexpr size_t kTextShown = 20;  // UTF-16 units of an odd cell's text kept for the report

// Skips digits from `at`; returns how many there were.
size_t Digits(std::string_view text, size_t& at) {
  const size_t start = at;
  while (at < text.size() && IsAsciiDigit(text[at])) ++at;
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

}  // namespace

bool HasDigit(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsAsciiDigit(text[i])) return true;
    // Full-width digits U+FF10..U+FF19: EF BC 90..99.
    if (i + 2 < text.size() && text[i] == '\xEF' && text[i + 1] == '\xBC' &&
        text[i + 2] >= '\x90' && text[i + 2] <= '\x99') {
      return true;
    }
  }
  return false;
}

bool IsPlainNumber(const CellValue& value) {
  if (std::holds_alternative<double>(value)) return true;
  const std::string* text = std::get_if<std::string>(&value);
  return text != nullptr && IsDecimalText(TrimSpace(*text));
}

void AreaCheck::AddRow(const PatchRow& row) {
  ++rows_;
  if (!row.cells.area) return;  // unreadable: no area was counted
  const CellValue& cell = *row.cells.area;
  if (every_row_is_data_) {
    const std::string* text = std::get_if<std::string>(&cell);
    if (IsEmpty(cell) || (text != nullptr && TrimSpace(*text).empty())) {
      return AddOdd(row.cells.number, "(空)", 0);
    }
  }
  if (!row.area) return;
  const bool first = !seen_area_;
  if (IsPlainNumber(cell)) {
    any_number_ = seen_area_ = true;
    return;
  }
  if (*row.area != 0) any_number_ = true;
  const std::string text = CellText(cell);
  if (text.empty()) return;  // an empty cell is no area, not an odd one
  seen_area_ = true;
  if (first && !every_row_is_data_ && !HasDigit(text)) return;  // the column's title
  std::string shown(Utf16Prefix(text, kTextShown));
  if (shown.size() < text.size()) shown += "…";
  AddOdd(row.cells.number, std::move(shown), *row.area);
}

void AreaCheck::AddOdd(int64_t number, std::string shown, double counted) {
  ++odd_count_;
  odd_area_ += counted;
  if (first_odd_.size() < kCellsKept) first_odd_.push_back({number, std::move(shown), counted});
}

}  // namespace quilmark
