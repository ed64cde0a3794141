// Helpers for the task tests: sheets built row by row and the cells a block left, as text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "src/host/cell_value.h"
#include "src/host/memory_host.h"
#include "src/host/worksheet_rows.h"
#include "src/summary/row_feed.h"
#include "src/output/worksheet_target.h"

namespace quilmark::task_test {

inline CellValue T(std::string_view text) { return CellValue(std::string(text)); }
inline CellValue N(double number) { return CellValue(number); }

// Every non-empty cell from first_row down, in row then column order, as "R15C4 111" for a text
// and "R17C4 #1" for a number, so a mismatch reads as a list of cells.
inline std::vector<std::string> CellsFrom(const MemorySheet& sheet, int32_t first_row) {
  std::vector<std::string> cells;
  for (const auto& [place, value] : sheet.cells()) {
    if (place.first < first_row) continue;
    std::string cell = "R" + std::to_string(place.first) + "C" + std::to_string(place.second) + " ";
    if (const double* number = std::get_if<double>(&value)) {
      cell += "#" + NumberText(*number);
    } else {
      cell += ValueText(value);
    }
    cells.push_back(std::move(cell));
  }
  return cells;
}

// A sheet whose rows 1..last_row are fed to a task as a run feeds them.
struct PassSheet {
  MemorySheet sheet{"Sheet1"};

  // Fills rows from row 1 on.
  void Rows(const std::vector<std::vector<CellValue>>& rows) {
    for (size_t i = 0; i < rows.size(); ++i) sheet.SetRow(static_cast<int32_t>(i) + 1, rows[i]);
  }
  // Feeds every row to the task; returns the last row, the base of the task's table.
  int32_t Feed(RowSink& task, SheetColumns columns = {1, 2, kCrossTabColumn, 3}) {
    const int32_t last_row = sheet.LastUsedRow();
    WorksheetRows rows(sheet, last_row, columns);
    RowSink* sinks[] = {&task};
    FeedRows(rows, nullptr, sinks);
    return last_row;
  }
  static constexpr int32_t kCrossTabColumn = 2;
};

}  // namespace quilmark::task_test
