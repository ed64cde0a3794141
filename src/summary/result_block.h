// What a task hands back to the run: a block of cells to be written below the data. The run
// places the blocks one below the other and checks that each fits in the sheet before writing.
#pragma once

#include <cstdint>

#include "src/host/sheet_host.h"

namespace quilmark {

class ResultBlock {
 public:
  virtual ~ResultBlock() = default;
  // The last row the block occupies when based at base_row (its header row is base_row + 11);
  // base_row itself when it writes nothing, so the next block is placed as if it were absent.
  virtual int64_t EndRow(int64_t base_row) const = 0;
  // The last column it writes; 0 when it writes nothing.
  virtual int64_t LastColumn() const = 0;
  // Writes the block. Only called when EndRow and LastColumn lie within the sheet.
  virtual void Write(Worksheet& sheet, int32_t base_row) const = 0;
};

}  // namespace quilmark
