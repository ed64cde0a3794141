#include "src/host/gdal/layer_cells.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "src/host/deduction_range.h"

namespace quilmark {
namespace {

// The value when it is a number or a text that is wholly one (a CSV layer's fields are texts).
std::optional<double> NumberOrNumberText(const CellValue& value) {
  if (const double* number = std::get_if<double>(&value)) return *number;
  const std::string* text = std::get_if<std::string>(&value);
  if (text == nullptr) return std::nullopt;
  const std::string_view trimmed = TrimBlanks(*text);
  if (trimmed.empty()) return std::nullopt;
  char* end = nullptr;
  const std::string copy(trimmed);
  const double number = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size()) return std::nullopt;
  return number;
}

bool IsDoubtful(const SourceRow& row) {
  if (!row.area || !NumberOrNumberText(*row.area)) return true;
  if (!row.deduction || IsEmpty(*row.deduction)) return false;
  const std::optional<double> coefficient = NumberOrNumberText(*row.deduction);
  return !coefficient || !InDeductionRange(*coefficient);
}

std::string FidLabel(GIntBig fid) { return "FID " + std::to_string(fid); }

}  // namespace

void SetDigits(std::optional<CellValue>& cell, int64_t number) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  SetText(cell, std::string_view(digits, static_cast<size_t>(end - digits)));
}

std::optional<int64_t> WholeNumber(double value) {
  if (std::trunc(value) != value || std::abs(value) >= 0x1p63) return std::nullopt;
  return static_cast<int64_t>(value);
}

void RowIds::KeepWhenDoubtfulSlow(const SourceRow& row) {
  if (IsDoubtful(row)) kept_.emplace_back(row.number, last_fid_);
}

std::string RowIds::Label(int64_t number) const {
  if (number == last_number_ && last_fid_ != OGRNullFID) return FidLabel(last_fid_);
  for (const auto& [kept_number, fid] : kept_) {
    if (kept_number == number) return FidLabel(fid);
  }
  return "第 " + std::to_string(number) + " 个要素";
}

}  // namespace quilmark
