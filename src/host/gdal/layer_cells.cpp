#include "src/host/gdal/layer_cells.h"

#include <ogr_feature.h>

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

// A field's value as a worksheet would hold it: numbers as numbers, everything else as text,
// null or unset as empty. `type` is the field's type, looked up once for the layer; the index was
// checked when the layer was opened, so numbers and texts are taken as the feature holds them.
void ReadFeatureField(OGRFeature& feature, int index, OGRFieldType type,
                      std::optional<CellValue>& cell) {
  if (!feature.IsFieldSetAndNotNullUnsafe(index)) return SetEmpty(cell);
  const OGRField& value = *feature.GetRawFieldRef(index);
  switch (type) {
    case OFTInteger:
      cell.emplace(static_cast<double>(value.Integer));
      return;
    case OFTInteger64:
      cell.emplace(static_cast<double>(value.Integer64));
      return;
    case OFTReal:
      cell.emplace(value.Real);
      return;
    case OFTString:
      return SetText(cell, value.String != nullptr ? value.String : "");
    default:
      SetText(cell, feature.GetFieldAsString(index));
  }
}

// A zone or class value. A whole number is a code, read as its digits: a 19-digit location code
// in an Integer64 field read as a number would give "4.419E+18", and every prefix of it the same.
// A Real field holding a whole number gives the digits of the value it holds. Anything else is
// read as ReadFeatureField reads it.
void ReadFeatureCode(OGRFeature& feature, int index, OGRFieldType type,
                     std::optional<CellValue>& cell) {
  if (feature.IsFieldSetAndNotNullUnsafe(index)) {
    const OGRField& value = *feature.GetRawFieldRef(index);
    if (type == OFTInteger) return SetDigits(cell, value.Integer);
    if (type == OFTInteger64) return SetDigits(cell, value.Integer64);
    if (type == OFTReal) {
      if (const std::optional<int64_t> whole = WholeNumber(value.Real)) {
        return SetDigits(cell, *whole);
      }
    }
  }
  ReadFeatureField(feature, index, type, cell);
}

}  // namespace quilmark
