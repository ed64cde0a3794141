// Turning the rows and cells of a worksheet into the model: how a <row> or <c> element is
// numbered, which <f> element defines or joins a shared formula, and what a cell holds. Both ways
// of reading the rows (the streaming parse of the whole part and the chunked parse of its rows)
// and the writer's re-reading of a row go through these, so that none can read a row differently.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "src/host/xlsx/read/sheet_model.h"

namespace quilmark::xlsx {

// The t attribute of a cell.
enum class TypeAttr { kNumber, kShared, kFormulaText, kInline, kBool, kError, kDate, kUnknown };
TypeAttr ParseTypeAttr(const char* t);  // nullptr when the attribute is absent

std::optional<double> ParseNumber(std::string_view text);
std::optional<uint32_t> ParseIndex(std::string_view text);

// What the reader gathered from one <c> element.
struct CellXml {
  int32_t column = 0;
  TypeAttr type = TypeAttr::kNumber;
  uint8_t flags = 0;
  bool has_value = false;        // a <v> child
  bool has_inline = false;       // an <is> child
  std::string_view value;        // the text of <v>
  std::string_view inline_text;  // the plain text of <is>, runs joined, phonetic runs left out
};

// The cell to store; texts go into the model's arena.
Cell MakeCell(const CellXml& xml, SheetModel& model);

// The numbers of the rows and cells of a sheet in document order: a row's r attribute, or the
// row after the one before when it has none or one that is not a number; a cell's reference, or
// the column after its neighbour when it has none or one without column letters. nullopt, with
// the reason in `failure` (which follows the part's name), beyond the sheet's limits.
class RowNumbering {
 public:
  std::optional<int32_t> NextRow(const char* r, std::string* failure = nullptr);
  // The column of the next cell of the current row.
  std::optional<int32_t> NextCell(const char* r, std::string* failure = nullptr);
  // Whether a cell's r attribute names its column.
  static bool NamesColumn(const char* r);

 private:
  int32_t row_ = 0;
  int32_t column_ = 0;
  int32_t cells_ = 0;
};

// What an <f> element is to its shared formula group, from its t, ref and si attributes.
enum class SharedRole { kNone, kDefinition, kMember };
SharedRole SharedFormulaRole(const char* t, const char* ref, const char* si);

// Puts rows and cells into the model in document order, numbered by RowNumbering. Offsets are
// the element's bytes in the worksheet part.
class RowBuilder {
 public:
  explicit RowBuilder(SheetModel& model) : model_(model) {}

  // false (the reason in `failure`) when the row lies beyond the sheet.
  bool BeginRow(const char* r, uint64_t begin, std::string* failure = nullptr);
  // A row numbered already, by a RowNumbering of its own in document order.
  void BeginNumberedRow(int32_t number, uint64_t begin);
  // The column of the next cell; nullopt as for RowNumbering.
  std::optional<int32_t> BeginCell(const char* r, std::string* failure = nullptr) {
    return numbering_.NextCell(r, failure);
  }
  // The cell whose <f> defines a shared formula group (cell.flags has kSharedMaster).
  void AddSharedFormula(int32_t column, const char* si, const char* ref, std::string formula);
  void AddCell(const CellXml& cell) { model_.AddCell(MakeCell(cell, model_)); }
  void EndRow(uint64_t end) { model_.EndRow(static_cast<uint32_t>(end)); }

 private:
  SheetModel& model_;
  RowNumbering numbering_;
  int32_t row_ = 0;
};

}  // namespace quilmark::xlsx
