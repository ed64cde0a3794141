#include "src/host/xlsx/read/cell_reading.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#include "src/host/ascii_text.h"
#include "src/host/sheet_host.h"
#include "src/host/xlsx/package/xml_util.h"
#include "src/host/xlsx/read/cell_ref.h"

namespace quilmark::xlsx {

TypeAttr ParseTypeAttr(const char* t) {
  if (t == nullptr) return TypeAttr::kNumber;
  const std::string_view v(t);
  if (v == "s") return TypeAttr::kShared;
  if (v == "n") return TypeAttr::kNumber;
  if (v == "str") return TypeAttr::kFormulaText;
  if (v == "inlineStr") return TypeAttr::kInline;
  if (v == "b") return TypeAttr::kBool;
  if (v == "e") return TypeAttr::kError;
  if (v == "d") return TypeAttr::kDate;
  return TypeAttr::kUnknown;
}

std::optional<double> ParseNumber(std::string_view text) {
  text = TrimSpace(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<uint32_t> ParseIndex(std::string_view text) {
  text = TrimSpace(text);
  uint32_t value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

namespace {

void SetBool(Cell& cell, std::string_view text) {
  const std::string_view v = TrimSpace(text);
  if (v == "1" || v == "true") {
    cell.type = CellType::kBool;
    cell.lo = 1;
  } else if (v == "0" || v == "false") {
    cell.type = CellType::kBool;
  } else {
    cell.type = CellType::kBad;
  }
}

// A text cell's text with its escapes decoded, copied first only where it holds one: a text of a
// hundred megabytes is stored as it was read.
void StoreDecoded(Cell& cell, std::string_view text, SheetModel& model) {
  cell.type = CellType::kText;
  cell.set_payload(text.find("_x") == std::string_view::npos
                       ? model.arena().Add(text)
                       : model.arena().Add(DecodeEscapes(text)));
}

}  // namespace

Cell MakeCell(const CellXml& xml, SheetModel& model) {
  Cell cell;
  cell.column = static_cast<uint16_t>(xml.column);
  cell.flags = xml.flags;
  const auto text = [&](CellType type, std::string_view s) {
    cell.type = type;
    cell.set_payload(model.arena().Add(s));
  };
  const auto decoded = [&](std::string_view s) { StoreDecoded(cell, s, model); };
  switch (xml.type) {
    case TypeAttr::kNumber:
      if (xml.has_value) {
        if (const auto number = ParseNumber(xml.value)) {
          cell.type = CellType::kNumber;
          cell.set_payload(std::bit_cast<uint64_t>(*number));
        } else {
          cell.type = CellType::kBad;
        }
      }
      break;
    case TypeAttr::kShared:
      if (xml.has_value) {
        const auto index = ParseIndex(xml.value);
        if (index && *index < model.shared_strings().size()) {
          cell.type = CellType::kShared;
          cell.lo = *index;
        } else {
          cell.type = CellType::kBad;
        }
      }
      break;
    case TypeAttr::kFormulaText:
      if (xml.has_value) decoded(xml.value);
      break;
    case TypeAttr::kInline:
      if (xml.has_inline) {
        decoded(xml.inline_text);
      } else if (xml.has_value) {
        decoded(xml.value);
      }
      break;
    case TypeAttr::kBool:
      if (xml.has_value) SetBool(cell, xml.value);
      break;
    case TypeAttr::kError:
      if (xml.has_value) text(CellType::kError, TrimSpace(xml.value));
      break;
    case TypeAttr::kDate:
      if (xml.has_value) text(CellType::kDate, TrimSpace(xml.value));
      break;
    case TypeAttr::kUnknown:
      cell.type = CellType::kBad;
      break;
  }
  return cell;
}

std::optional<int32_t> RowNumbering::NextRow(const char* r, std::string* failure) {
  int32_t number = row_ + 1;
  // A row number that is not a number is ignored: the row follows the one before.
  if (r != nullptr && IsAsciiDigit(r[0])) {
    const auto parsed = ParseIndex(r);
    if (!parsed || *parsed < 1 || *parsed > static_cast<uint32_t>(kMaxRow)) {
      if (failure) *failure = "的行号 \"" + std::string(r) + "\" 超出工作表的范围 (1 到 1048576)";
      return std::nullopt;
    }
    number = static_cast<int32_t>(*parsed);
  }
  if (number > kMaxRow) {
    if (failure) *failure = "的行数超出工作表的范围 (最多 1048576 行)";
    return std::nullopt;
  }
  row_ = number;
  column_ = 0;
  cells_ = 0;
  return number;
}

bool RowNumbering::NamesColumn(const char* r) { return r != nullptr && IsAsciiLetter(r[0]); }

std::optional<int32_t> RowNumbering::NextCell(const char* r, std::string* failure) {
  int32_t column = column_ + 1;
  // A reference without column letters is no reference: the cell follows its neighbour.
  if (NamesColumn(r)) {
    // Column letters are at most three: the rest of the reference need not be measured.
    const auto parsed = ParseColumnOfRef(std::string_view(r, strnlen(r, 4)));
    if (!parsed) {
      if (failure) {
        *failure = "的单元格引用 \"" + std::string(r) + "\" 超出工作表的范围 (最多 16384 列)";
      }
      return std::nullopt;
    }
    column = *parsed;
  }
  if (column > kMaxColumn || ++cells_ > kMaxColumn) {
    if (failure) {
      *failure = "第 " + std::to_string(row_) + " 行的单元格超出工作表的范围 (最多 16384 列)";
    }
    return std::nullopt;
  }
  column_ = column;
  return column;
}

SharedRole SharedFormulaRole(const char* t, const char* ref, const char* si) {
  if (t == nullptr || std::string_view(t) != "shared") return SharedRole::kNone;
  if (ref != nullptr) return SharedRole::kDefinition;
  return si != nullptr ? SharedRole::kMember : SharedRole::kNone;
}

bool RowBuilder::BeginRow(const char* r, uint64_t begin, std::string* failure) {
  const std::optional<int32_t> number = numbering_.NextRow(r, failure);
  if (!number) return false;
  BeginNumberedRow(*number, begin);
  return true;
}

void RowBuilder::BeginNumberedRow(int32_t number, uint64_t begin) {
  row_ = number;
  model_.BeginRow(row_, static_cast<uint32_t>(begin));
}

void RowBuilder::AddSharedFormula(int32_t column, const char* si, const char* ref,
                                  std::string formula) {
  model_.shared_formulas().push_back(
      {row_, column, si != nullptr ? si : "", ref != nullptr ? ref : "", std::move(formula)});
}

}  // namespace quilmark::xlsx
