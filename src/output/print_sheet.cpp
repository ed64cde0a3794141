#include "src/output/print_sheet.h"

#include <algorithm>
#include <variant>

#include "src/host/cell_value.h"
#include "src/output/text_width.h"

namespace quilmark {
namespace {

constexpr lxw_row_t kTopRows = kPrintTopRows;
constexpr uint8_t kPaperA3 = 8;
// Column widths in digits of the default font.
constexpr double kNumberWidth = 11;
constexpr double kMaxKeyWidth = 30;

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

// The title, the unit line, the header rows with their merges, and the page setup.
lxw_error WriteFrame(lxw_worksheet* sheet, const ResultTable& table, const PrintFormats& f) {
  const PrintLayout& print = *table.print;
  const auto last_column = static_cast<lxw_col_t>(table.Shape().columns - 1);
  lxw_error error =
      worksheet_merge_range(sheet, 0, 0, 0, last_column, print.title.c_str(), f.title);
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
  worksheet_fit_to_pages(sheet, 1, 0);
  worksheet_center_horizontally(sheet);
  worksheet_set_margins(sheet, 0.4, 0.4, 0.6, 0.6);
  worksheet_set_footer(sheet, "&C第 &P 页 共 &N 页");
  if (error == LXW_NO_ERROR) error = worksheet_repeat_rows(sheet, kTopRows, header_end - 1);
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
  if (WriteFrame(sheet, table, f) != LXW_NO_ERROR) return "表头无法写入";
  const size_t width = static_cast<size_t>(table.Shape().columns);
  std::vector<double> widths(width, kNumberWidth);
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
        if (!header && c < static_cast<size_t>(print.key_columns)) {
          widths[c] = std::max(widths[c], std::min(kMaxKeyWidth, DisplayWidth(text) + 2.0));
        }
      }
      if (error != LXW_NO_ERROR) return "第 " + std::to_string(r + 1) + " 行无法写入";
    }
  }
  for (size_t c = 0; c < width; ++c) {
    worksheet_set_column(sheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c), widths[c],
                         nullptr);
  }
  worksheet_set_row(sheet, kTopRows + static_cast<lxw_row_t>(table.header_rows) - 1, 45, nullptr);
  lxw_row_t next = kTopRows + static_cast<lxw_row_t>(table.cells.size());
  for (const std::string& note : print.notes) {
    worksheet_write_string(sheet, next++, 0, note.c_str(), f.unit_line);
  }
  return {};
}

}  // namespace quilmark
