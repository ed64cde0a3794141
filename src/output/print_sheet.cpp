#include "src/output/print_sheet.h"

#include <algorithm>
#include <cmath>
#include <variant>

#include "src/host/cell_value.h"
#include "src/output/text_width.h"
#include "src/summary/area_format.h"

namespace quilmark {
namespace {

constexpr lxw_row_t kTopRows = kPrintTopRows;
constexpr uint8_t kPaperA3 = 8;
// Column widths in digits of the default font (11 pt): a number's column at least this wide,
// and a key column at most.
constexpr double kMinNumberWidth = 8;
constexpr double kMaxKeyWidth = 30;
// The width A3 landscape leaves between the side margins (0.4 in each), in points.
constexpr double kPrintableWidth = (420 / 25.4 - 0.8) * 72;
// The smallest print scale: the 11 pt text prints at 8.25 pt, no smaller. A table that would need
// less to fit one page wide goes on over further pages across, its key columns repeated.
constexpr uint16_t kMinScale = 75;

lxw_format* Bordered(lxw_workbook* book) {
  lxw_format* format = workbook_add_format(book);
  format_set_border(format, LXW_BORDER_THIN);
  format_set_align(format, LXW_ALIGN_VERTICAL_CENTER);
  return format;
}

std::string NumberFormat(int decimals) {
  return decimals <= 0 ? "0" : "0." + std::string(static_cast<size_t>(decimals), '0');
}

bool IsMerged(const PrintLayout& print, int64_t row, int64_t column) {
  return std::any_of(print.merges.begin(), print.merges.end(), [&](const PrintLayout::Merge& m) {
    return row >= m.first_row && row <= m.last_row && column >= m.first_column &&
           column <= m.last_column;
  });
}

// The scale that fits the columns one page wide, but never below kMinScale nor above 100.
uint16_t PrintScale(const std::vector<double>& widths) {
  double points = 0;
  // A column of w digits is w x 7 + 5 pixels of 3/4 point in the default font.
  for (double width : widths) points += (std::floor(width * 7 + 5)) * 0.75;
  const double fitting = points > 0 ? std::floor(100 * kPrintableWidth / points) : 100;
  return static_cast<uint16_t>(std::clamp(fitting, double{kMinScale}, 100.0));
}

// A cell's width in digits as shown: a number in the table's decimals, a key column's text (up
// to kMaxKeyWidth); other texts wrap or span several columns and set no width.
double ShownWidth(const CellValue& value, bool key, int decimals) {
  if (const double* x = std::get_if<double>(&value)) {
    return static_cast<double>(NumberShown(*x, decimals).size()) + 2;
  }
  return key ? std::min(kMaxKeyWidth, DisplayWidth(CellText(value)) + 2.0) : 0;
}

// Each column as wide as its widest shown figure or key text.
std::vector<double> ColumnWidths(const ResultTable& table) {
  const PrintLayout& print = *table.print;
  std::vector<double> widths(static_cast<size_t>(table.Shape().columns), kMinNumberWidth);
  for (size_t r = static_cast<size_t>(table.header_rows); r < table.cells.size(); ++r) {
    // Merged cells too: a unit's code stands merged beside its rows and must not be clipped.
    for (size_t c = 0; c < widths.size() && c < table.cells[r].size(); ++c) {
      const bool key = c < static_cast<size_t>(print.key_columns);
      widths[c] = std::max(widths[c], ShownWidth(table.cells[r][c], key, print.decimals));
    }
  }
  return widths;
}

// The title, the unit line, the header rows with their merges, and the page setup.
lxw_error WriteFrame(lxw_worksheet* sheet, const ResultTable& table, const PrintFormats& f,
                     bool across_pages) {
  const PrintLayout& print = *table.print;
  const auto last_column = static_cast<lxw_col_t>(table.Shape().columns - 1);
  // Centred over the table when it prints one page wide; else from the left, where its first
  // page shows it.
  lxw_error error =
      across_pages
          ? worksheet_write_string(sheet, 0, 0, print.title.c_str(), f.left_title)
          : worksheet_merge_range(sheet, 0, 0, 0, last_column, print.title.c_str(), f.title);
  worksheet_set_row(sheet, 0, 30, nullptr);
  if (error == LXW_NO_ERROR)
    error = worksheet_write_string(sheet, 1, 0, print.unit_line.c_str(), f.unit_line);
  for (const PrintLayout::Merge& m : print.merges) {
    if (error != LXW_NO_ERROR) break;
    if (m.first_row == m.last_row && m.first_column == m.last_column) continue;
    const CellValue& value =
        table.cells[static_cast<size_t>(m.first_row)][static_cast<size_t>(m.first_column)];
    const bool header = m.first_row < table.header_rows;
    error = worksheet_merge_range(
        sheet, kTopRows + static_cast<lxw_row_t>(m.first_row),
        static_cast<lxw_col_t>(m.first_column), kTopRows + static_cast<lxw_row_t>(m.last_row),
        static_cast<lxw_col_t>(m.last_column), CellText(value).c_str(), header ? f.header : f.text);
  }
  const auto header_end = static_cast<lxw_row_t>(kTopRows + table.header_rows);
  worksheet_freeze_panes(sheet, header_end, static_cast<lxw_col_t>(print.key_columns));
  worksheet_set_landscape(sheet);
  worksheet_set_paper(sheet, kPaperA3);
  worksheet_center_horizontally(sheet);
  worksheet_set_margins(sheet, 0.4, 0.4, 0.6, 0.6);
  // Each table's pages are numbered from 1, under its name: the office's PDF of the whole
  // workbook counts all sheets' pages as one, so no total is given.
  worksheet_set_start_page(sheet, 1);
  worksheet_set_footer(sheet, "&C&A 第 &P 页");
  if (error == LXW_NO_ERROR) error = worksheet_repeat_rows(sheet, kTopRows, header_end - 1);
  if (error == LXW_NO_ERROR && print.key_columns > 0) {
    error = worksheet_repeat_columns(sheet, 0, static_cast<lxw_col_t>(print.key_columns - 1));
  }
  return error;
}

}  // namespace

PrintFormats MakePrintFormats(lxw_workbook* book, int decimals) {
  PrintFormats f{};
  f.title = workbook_add_format(book);
  format_set_bold(f.title);
  format_set_font_size(f.title, 16);
  format_set_align(f.title, LXW_ALIGN_CENTER);
  format_set_align(f.title, LXW_ALIGN_VERTICAL_CENTER);
  f.left_title = workbook_add_format(book);
  format_set_bold(f.left_title);
  format_set_font_size(f.left_title, 16);
  format_set_align(f.left_title, LXW_ALIGN_VERTICAL_CENTER);
  f.unit_line = workbook_add_format(book);
  f.header = Bordered(book);
  format_set_bold(f.header);
  format_set_align(f.header, LXW_ALIGN_CENTER);
  format_set_text_wrap(f.header);
  f.text = Bordered(book);
  f.number = Bordered(book);
  format_set_num_format(f.number, NumberFormat(decimals).c_str());
  f.total_text = Bordered(book);
  format_set_bold(f.total_text);
  f.total_number = Bordered(book);
  format_set_bold(f.total_number);
  format_set_num_format(f.total_number, NumberFormat(decimals).c_str());
  return f;
}

std::string WritePrintSheet(lxw_worksheet* sheet, const ResultTable& table, const PrintFormats& f) {
  const PrintLayout& print = *table.print;
  const std::vector<double> widths = ColumnWidths(table);
  const uint16_t scale = PrintScale(widths);
  if (WriteFrame(sheet, table, f, scale == kMinScale) != LXW_NO_ERROR) return "表头无法写入";
  const size_t width = widths.size();
  for (size_t r = 0; r < table.cells.size(); ++r) {
    const bool header = static_cast<int64_t>(r) < table.header_rows;
    const bool total = std::find(print.total_rows.begin(), print.total_rows.end(),
                                 static_cast<int64_t>(r)) != print.total_rows.end();
    const auto row = static_cast<lxw_row_t>(kTopRows + r);
    for (size_t c = 0; c < width; ++c) {
      const auto col = static_cast<lxw_col_t>(c);
      const CellValue& value = table.cells[r][c];
      if (IsMerged(print, static_cast<int64_t>(r), static_cast<int64_t>(c))) continue;
      lxw_error error;
      if (const double* x = std::get_if<double>(&value)) {
        error = worksheet_write_number(sheet, row, col, *x, total ? f.total_number : f.number);
      } else {
        const std::string text = CellText(value);
        lxw_format* format = header ? f.header : total ? f.total_text : f.text;
        error = worksheet_write_string(sheet, row, col, text.c_str(), format);
      }
      if (error != LXW_NO_ERROR) return "第 " + std::to_string(r + 1) + " 行无法写入";
    }
  }
  for (size_t c = 0; c < width; ++c) {
    worksheet_set_column(sheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c), widths[c],
                         nullptr);
  }
  worksheet_set_print_scale(sheet, scale);
  worksheet_set_row(sheet, kTopRows + static_cast<lxw_row_t>(table.header_rows) - 1, 45, nullptr);
  lxw_row_t next = kTopRows + static_cast<lxw_row_t>(table.cells.size());
  for (const std::string& note : print.notes) {
    worksheet_write_string(sheet, next++, 0, note.c_str(), f.unit_line);
  }
  return {};
}

}  // namespace quilmark
