// Helpers for the land-use tests: cell values in short form and a sheet's rows read back as text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "src/host/cell_value.h"
#include "src/host/memory_host.h"

namespace quilmark::landuse_test {

inline CellValue T(std::string_view text) { return CellValue(std::string(text)); }
inline CellValue N(double number) { return CellValue(number); }

// The cell as text; a number is marked with "#" so that the text "1" and the number 1 differ.
inline std::string Shown(const CellValue& value) {
  if (const double* number = std::get_if<double>(&value)) return "#" + NumberText(*number);
  return ValueText(value);
}

// Rows first_row.. to the sheet's last used row, each as its cells from column 1 to its last
// non-empty cell.
inline std::vector<std::vector<std::string>> RowsFrom(const MemorySheet& sheet, int32_t first_row) {
  std::vector<std::vector<std::string>> rows;
  for (int32_t row = first_row; row <= sheet.LastUsedRow(); ++row) {
    std::vector<std::string> cells;
    for (const auto& [place, value] : sheet.cells()) {
      if (place.first != row) continue;
      cells.resize(static_cast<size_t>(place.second), "");
      cells.back() = Shown(value);
    }
    rows.push_back(std::move(cells));
  }
  return rows;
}

}  // namespace quilmark::landuse_test
