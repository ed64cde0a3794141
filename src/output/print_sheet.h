// A table with a PrintLayout written as a sheet ready to print and hand in: the title over the
// table's width, the unit line, header cells merged and centred, thin borders round every cell,
// areas in the layout's decimals, total rows bold, the header rows and the columns that name the
// rows frozen, A3 landscape, columns as wide as their figures and names: fitted to one page wide
// where that keeps the text at 8 pt or more, else over several pages across with the name and
// code columns repeated on each, as the header rows are; each table's pages numbered from 1.
#pragma once

#include <xlsxwriter.h>

#include <string>

#include "src/summary/result_table.h"

namespace quilmark {

// Rows above a printed table's cells: the title and the unit line.
inline constexpr lxw_row_t kPrintTopRows = 2;

// The cell formats of a workbook's printed tables, made once per workbook.
struct PrintFormats {
  lxw_format* title;
  lxw_format* left_title;  // of a table that prints over several pages across
  lxw_format* unit_line;
  lxw_format* header;
  lxw_format* text;
  lxw_format* number;
  lxw_format* total_text;
  lxw_format* total_number;
};
PrintFormats MakePrintFormats(lxw_workbook* book, int decimals);

// Writes the table into the empty sheet; the reason when a cell could not be written, else empty.
std::string WritePrintSheet(lxw_worksheet* sheet, const ResultTable& table,
                            const PrintFormats& formats);

}  // namespace quilmark
