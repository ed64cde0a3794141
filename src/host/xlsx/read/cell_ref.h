// Cell references as the workbook format writes them: "B12", "AB7", ranges "A1:C3".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "src/host/column_letters.h"

namespace quilmark::xlsx {

struct CellRef {
  int32_t row = 0;     // 1-based
  int32_t column = 0;  // 1-based
  friend bool operator==(const CellRef&, const CellRef&) = default;
};

struct RangeRef {
  CellRef first;
  CellRef last;
};

// "B12" gives row 12, column 2. Letters in either case; nullopt for anything else, or for a
// row or column beyond the largest sheet.
std::optional<CellRef> ParseCellRef(std::string_view text);

// Just the column part of a reference: "AB12" gives 28. nullopt when there are no letters.
std::optional<int32_t> ParseColumnOfRef(std::string_view text);

// "A1:C3", or a single cell "B2" as a one-cell range.
std::optional<RangeRef> ParseRangeRef(std::string_view text);

using quilmark::ColumnLetters;  // 1 gives "A", 28 gives "AB"
void AppendCellRef(std::string& out, int32_t row, int32_t column);
std::string FormatRangeRef(const RangeRef& range);

}  // namespace quilmark::xlsx
