// Groups the cells a run writes into rectangles, so that each rectangle reaches the office in one
// bulk call instead of one call per cell.
#pragma once

#include <cstdint>
#include <vector>

#include "src/host/cell_value.h"

namespace quilmark {

struct CellWrite {
  int32_t row = 0;  // 1-based
  int32_t column = 0;
  CellValue value;
};

// A rectangle of cells, 1-based, bounds included.
struct CellBlock {
  int32_t top = 0;
  int32_t left = 0;
  int32_t bottom = 0;
  int32_t right = 0;
  friend bool operator==(const CellBlock&, const CellBlock&) = default;
};

// Orders the writes by row, then column, and keeps only the last write of each cell.
void SortAndDeduplicate(std::vector<CellWrite>& writes);

// Rectangles covering exactly the cells of the sorted, deduplicated writes (a cell that was not
// written is never covered, so it keeps whatever it holds), none overlapping and none larger than
// max_cells (at least one row). Rows of equal column runs that follow each other share a
// rectangle: a written column is one rectangle, a written table a few.
std::vector<CellBlock> GroupWrites(const std::vector<CellWrite>& sorted_writes, int64_t max_cells);

}  // namespace quilmark
