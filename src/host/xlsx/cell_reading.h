// Turning what a <c> element holds into a stored cell, shared by both ways of reading the rows
// of a worksheet (the streaming parse of the whole part and the chunked parse of its rows), so
// that the two cannot read a cell differently.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "src/host/xlsx/sheet_model.h"

namespace quilmark::xlsx {

// The t attribute of a cell.
enum class TypeAttr { kNumber, kShared, kFormulaText, kInline, kBool, kError, kDate, kUnknown };
TypeAttr ParseTypeAttr(const char* t);  // nullptr when the attribute is absent

bool IsAsciiLetter(char c);
bool IsAsciiDigit(char c);
std::string_view TrimSpace(std::string_view text);
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

}  // namespace quilmark::xlsx
