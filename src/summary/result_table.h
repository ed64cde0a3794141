// What a task hands back: its summary as a table of cells, independent of where it goes (below
// the data in the worksheet, a new workbook, a CSV file, a preview on the terminal).
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "src/host/cell_value.h"

namespace quilmark {

// Where a table stands below the data and how much room it takes, known before its cells are
// built, so a table that cannot fit is refused without building it.
struct TableShape {
  int64_t row_offset = 0;  // rows from the base row (the row above the table's room) to its first
  int64_t rows = 0;        // 0: the table writes nothing and takes no room
  int64_t columns = 0;
};

// A table laid out to be printed and handed in as it is: a title and a unit line above its
// header rows, header cells merged over the columns or rows they head, the rows that sum others
// in bold. A target that cannot print (CSV, the sheet below the data) writes the cells alone.
struct PrintLayout {
  struct Merge {
    int64_t first_row, first_column, last_row, last_column;  // 0-based, within the cells
  };
  std::string title;
  std::string unit_line;  // "单位: 公顷"
  std::vector<Merge> merges;
  int64_t key_columns = 0;          // the columns that name the rows, kept in view when scrolling
  std::vector<int64_t> total_rows;  // 0-based rows of the cells that hold totals
  std::vector<std::string> notes;   // lines below the table
  int decimals = 2;
};

// A chart drawn from a table's cells, on a chart sheet of its own after the table's sheet. Each
// series is one column of the rows charted, named by its cell in name_row; the categories are
// the rows' cells in category_column. A target without charts (CSV, the sheet) ignores it.
struct ChartSpec {
  enum class Kind { kPie, kStackedColumn };
  Kind kind = Kind::kPie;
  std::string title;  // also the chart sheet's name
  int64_t name_row = 0;
  int64_t first_row = 0, last_row = 0;  // 0-based, within the cells
  int64_t category_column = 0;
  int64_t first_series_column = 0, last_series_column = 0;
};

struct ResultTable {
  std::string name;         // the task's title, as the window names it
  int64_t row_offset = 0;   // as in TableShape
  int64_t header_rows = 0;  // the first rows hold titles and headers, the rest one zone each
  // Top to bottom, each row as wide as the table. std::monostate: the cell is not written (a
  // worksheet keeps what it holds); the empty text: the cell is written empty.
  std::vector<std::vector<CellValue>> cells;
  // The 0-based columns that hold counts: whole numbers, shown without decimals where areas
  // are shown with them.
  std::vector<size_t> count_columns;
  // The decimals the areas were rounded to (--decimals); nullopt: unrounded.
  std::optional<int> decimals;

  // The decimals a number in the column is shown with: the table's, but none for a count;
  // nullopt: as a spreadsheet's general format shows it.
  std::optional<int> ShownDecimals(size_t column) const {
    if (!decimals) return std::nullopt;
    const bool count =
        std::find(count_columns.begin(), count_columns.end(), column) != count_columns.end();
    return count ? std::optional<int>(0) : decimals;
  }
  // Set for a table that is to be printed as it stands (the survey reports).
  std::optional<PrintLayout> print;
  std::vector<ChartSpec> charts;
  // The figures other sheets' charts are drawn from: a workbook keeps them in a hidden sheet,
  // which is not printed.
  bool chart_data = false;

  TableShape Shape() const {
    const int64_t width = cells.empty() ? 0 : static_cast<int64_t>(cells.front().size());
    return {row_offset, static_cast<int64_t>(cells.size()), width};
  }
};

}  // namespace quilmark
