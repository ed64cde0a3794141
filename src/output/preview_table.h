// The preview of a run: each block as an aligned table for the terminal, so the user can check
// the result before anything is written.
#pragma once

#include <cstdint>
#include <string>

#include "src/summary/result_table.h"

namespace quilmark {

// The block's title line, then its rows: columns padded to their widest cell (a Chinese
// character counts as two columns), texts to the left and numbers to the right, two blanks
// between columns, a dashed line under the header rows. Empty cells are blank; control
// characters in a text (a line break in a cell, an escape sequence) show as one blank each, so
// no cell can break the table or drive the terminal.
// first_row: the sheet row the table's first row goes to, named in the title line; 0 for none.
std::string PreviewTable(const ResultTable& table, int64_t first_row = 0);

}  // namespace quilmark
