// What every pass over the rows is given: the sheet, the last row to visit, the column numbers
// and the run's text holder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "src/host/cell_value.h"
#include "src/host/sheet_host.h"

namespace quilmark {

// 1-based column numbers, each already checked to lie within the sheet.
struct Columns {
  int32_t zone = 1;
  int32_t class_ = 2;
  int32_t area = 3;
};

struct PassContext {
  Worksheet& sheet;
  // Every pass visits rows 1 to last_row, fixed when the run starts.
  int32_t last_row = 0;
  Columns columns;
  // The run's one text variable: the current row's zone text in the zone-code conversion, its
  // class key in the land-use and master-plan passes. Never reset between rows or passes, so a
  // class cell that cannot be read leaves the previous row's key in place.
  std::string& text_holder;

  // The cell's trimmed text; nullopt when the cell cannot be read.
  std::optional<std::string> Text(int32_t row, int32_t column) const {
    std::optional<CellValue> value = sheet.Read(row, column);
    if (!value) return std::nullopt;
    // A text value is trimmed where it lies and handed over, not copied.
    if (std::string* text = std::get_if<std::string>(&*value)) {
      const std::string_view trimmed = TrimBlanks(*text);
      if (trimmed.empty()) {
        text->clear();
      } else if (trimmed.size() != text->size()) {
        const size_t first = static_cast<size_t>(trimmed.data() - text->data());
        text->erase(first + trimmed.size());
        text->erase(0, first);
      }
      return std::move(*text);
    }
    return CellText(*value);
  }
  // The cell's leading number; nullopt when the cell cannot be read or the number overflows.
  std::optional<double> Number(int32_t row, int32_t column) const {
    std::optional<CellValue> value = sheet.Read(row, column);
    if (!value) return std::nullopt;
    return CellNumber(*value);
  }
};

}  // namespace quilmark
