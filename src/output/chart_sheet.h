// The charts a table asks for (ChartSpec), each drawn with libxlsxwriter on a chart sheet of its
// own, its series read from the table's worksheet, so a spreadsheet program draws it natively.
#pragma once

#include <xlsxwriter.h>

#include <string>

#include "src/summary/result_table.h"

namespace quilmark {

// Adds the chart sheet, named after the chart's title, after the sheets already added; the table
// is on the worksheet `sheet_name`, its first cell at `top_row`. The reason when the chart sheet
// could not be added, else empty.
std::string AddChartSheet(lxw_workbook* book, const std::string& sheet_name, lxw_row_t top_row,
                          const ChartSpec& spec);

}  // namespace quilmark
