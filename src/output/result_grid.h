// A task's result as a table of cells, the form in which the outputs other than the worksheet
// (the new workbook, CSV, the preview) receive it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "src/host/cell_value.h"

namespace quilmark {

struct ResultGrid {
  std::string name;         // the task's title
  int64_t row_offset = 0;   // rows from the base row to its first row below the data
  int64_t header_rows = 0;  // how many of the top rows are headers
  std::vector<std::vector<CellValue>> cells;  // rows top to bottom; monostate: not written
};

inline size_t ColumnCount(const ResultGrid& grid) {
  size_t count = 0;
  for (const auto& row : grid.cells) count = std::max(count, row.size());
  return count;
}

}  // namespace quilmark
