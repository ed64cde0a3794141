#include "src/output/new_workbook.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <set>
#include <variant>

#include "src/host/atomic_file.h"
#include "src/host/layer_path.h"
#include "src/host/sheet_host.h"
#include "src/host/utf16.h"
#include "src/output/chart_sheet.h"
#include "src/output/print_sheet.h"
#include "src/output/text_width.h"
#include "src/summary/area_format.h"

namespace quilmark {
namespace {

[[noreturn]] void Fail(const std::filesystem::path& target, const std::string& reason) {
  throw HostError("无法保存工作簿: " + target.string() + ": " + reason);
}

std::string SystemReason(int error) { return std::strerror(error); }

// Column widths in the units of the workbook's default font, where a digit is one unit.
constexpr double kMinWidth = 8;
constexpr double kMaxWidth = 80;

std::string NumberFormat(int decimals) {
  return decimals <= 0 ? "0" : "0." + std::string(static_cast<size_t>(decimals), '0');
}

// How many of the table's first header rows hold no value at all.
size_t EmptyHeaderRows(const ResultTable& table) {
  size_t empty = 0;
  while (empty < static_cast<size_t>(table.header_rows) && empty < table.cells.size() &&
         std::all_of(table.cells[empty].begin(), table.cells[empty].end(),
                     [](const CellValue& value) { return IsEmpty(value); })) {
    ++empty;
  }
  return empty;
}

// The formats of a plain table's cells. number and whole_number exist only when the areas are
// rounded to `decimals`; numbers are otherwise written in the general format.
struct CellFormats {
  lxw_format* bold = nullptr;
  lxw_format* number = nullptr;
  lxw_format* whole_number = nullptr;
  std::optional<int> decimals;
};

CellFormats MakeCellFormats(lxw_workbook* book, std::optional<int> decimals) {
  CellFormats formats;
  formats.decimals = decimals;
  formats.bold = workbook_add_format(book);
  format_set_bold(formats.bold);
  if (decimals) {
    formats.number = workbook_add_format(book);
    format_set_num_format(formats.number, NumberFormat(*decimals).c_str());
    formats.whole_number = workbook_add_format(book);
    format_set_num_format(formats.whole_number, "0");
  }
  return formats;
}

// The sheet name for a table's title, made unique among `used` with " (2)", " (3)", ... and
// added to it.
std::string UniqueSheetName(const std::string& title, std::set<std::string>& used) {
  std::string name = SheetNameFor(title);
  for (int n = 2; used.count(name) > 0; ++n) {
    const std::string suffix = " (" + std::to_string(n) + ")";
    name = std::string(Utf16Prefix(SheetNameFor(title), 31 - suffix.size())) + suffix;
  }
  used.insert(name);
  return name;
}

// Writes one cell of a plain table (bold in a header row; a count without decimals) and returns
// libxlsxwriter's answer; `shown` receives the text the cell shows, for its column's width.
lxw_error WriteCell(lxw_worksheet* sheet, lxw_row_t row, lxw_col_t col, const CellValue& value,
                    bool header, bool count, const CellFormats& formats, std::string& shown) {
  lxw_format* text_format = header ? formats.bold : nullptr;
  if (const double* x = std::get_if<double>(&value)) {
    const std::optional<int> places = count ? std::nullopt : formats.decimals;
    lxw_format* format = header ? formats.bold : places ? formats.number : formats.whole_number;
    shown = NumberShown(*x, places);
    return worksheet_write_number(sheet, row, col, *x, format);
  }
  if (const bool* b = std::get_if<bool>(&value)) {
    shown = *b ? "TRUE" : "FALSE";
    return worksheet_write_boolean(sheet, row, col, *b, text_format);
  }
  if (IsEmpty(value)) return LXW_NO_ERROR;
  shown = ValueText(value);
  return worksheet_write_string(sheet, row, col, shown.c_str(), text_format);
}

// Each column as wide as its widest shown text, within the limits.
void SetColumnWidths(lxw_worksheet* sheet, const std::vector<double>& widths) {
  for (size_t c = 0; c < widths.size(); ++c) {
    const double width = std::clamp(widths[c] + 2, kMinWidth, kMaxWidth);
    worksheet_set_column(sheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c), width,
                         nullptr);
  }
}

// Writes a table that is not laid out for print from its sheet's first row, leaving out the
// `skipped` leading header rows, with its header frozen. The reason it failed, else empty.
std::string WritePlainSheet(lxw_worksheet* sheet, const std::string& name, const ResultTable& table,
                            size_t skipped, const CellFormats& formats) {
  const auto columns = static_cast<size_t>(table.Shape().columns);
  std::vector<bool> counts(columns, false);
  for (size_t c : table.count_columns) {
    if (c < counts.size()) counts[c] = true;
  }
  const auto header_rows = static_cast<size_t>(table.header_rows);
  std::vector<double> widths(columns, 0);
  for (size_t r = skipped; r < table.cells.size(); ++r) {
    for (size_t c = 0; c < table.cells[r].size(); ++c) {
      std::string shown;
      const lxw_error error =
          WriteCell(sheet, static_cast<lxw_row_t>(r - skipped), static_cast<lxw_col_t>(c),
                    table.cells[r][c], r < header_rows, counts[c], formats, shown);
      if (error != LXW_NO_ERROR) {
        return "工作表 " + name + " 第 " + std::to_string(r + 1) + " 行第 " +
               std::to_string(c + 1) + " 列无法写入 (" + lxw_strerror(error) + ")";
      }
      widths[c] = std::max(widths[c], static_cast<double>(DisplayWidth(shown)));
    }
  }
  SetColumnWidths(sheet, widths);
  if (header_rows > skipped) {
    worksheet_freeze_panes(sheet, static_cast<lxw_row_t>(header_rows - skipped), 0);
  }
  return {};
}

// Adds the table's charts after the sheets added so far; `top` is the sheet row of the table's
// first cell. The first failure, else empty.
std::string AddCharts(lxw_workbook* book, const ResultTable& table, const std::string& sheet,
                      lxw_row_t top) {
  for (const ChartSpec& chart : table.charts) {
    std::string failure = AddChartSheet(book, sheet, top, chart);
    if (!failure.empty()) return failure;
  }
  return {};
}

// Adds one table's worksheet, laid out for print where the table asks for it (the print formats
// are made for the first such table), then its charts. The reason it failed, else empty.
std::string AddTableSheet(lxw_workbook* book, const ResultTable& table, const std::string& name,
                          const CellFormats& formats, std::optional<PrintFormats>& print_formats) {
  lxw_worksheet* sheet = workbook_add_worksheet(book, name.c_str());
  if (sheet == nullptr) return "无法建立工作表 " + name;
  if (table.print) {
    if (!print_formats) print_formats = MakePrintFormats(book, table.print->decimals);
    const std::string failure = WritePrintSheet(sheet, table, *print_formats);
    if (!failure.empty()) return "工作表 " + name + ": " + failure;
    return AddCharts(book, table, name, kPrintTopRows);
  }
  // A table's leading header rows that hold nothing (the zone totals keep one free for the
  // worksheet's layout) are left out here.
  const size_t skipped = EmptyHeaderRows(table);
  const std::string failure = WritePlainSheet(sheet, name, table, skipped, formats);
  if (!failure.empty()) return failure;
  if (table.chart_data) worksheet_hide(sheet);
  // Charts point at a table that starts with its header.
  return skipped == 0 ? AddCharts(book, table, name, 0) : std::string();
}

// Builds the workbook at `path` (the temporary file) with libxlsxwriter.
void BuildWorkbook(const std::filesystem::path& path, const std::filesystem::path& target,
                   std::span<const ResultTable> tables, std::optional<int> decimals) {
  lxw_workbook* book = workbook_new(path.c_str());
  if (book == nullptr) Fail(target, "无法建立工作簿 (" + SystemReason(errno) + ")");
  const CellFormats formats = MakeCellFormats(book, decimals);
  std::optional<PrintFormats> print_formats;
  std::set<std::string> used;
  std::string failure;
  for (const ResultTable& table : tables) {
    failure = AddTableSheet(book, table, UniqueSheetName(table.name, used), formats, print_formats);
    if (!failure.empty()) break;
  }
  // workbook_close writes the file and frees the workbook in every case.
  const lxw_error closed = workbook_close(book);
  if (!failure.empty()) Fail(target, failure);
  if (closed != LXW_NO_ERROR) {
    Fail(target, std::string("写入出错 (") + lxw_strerror(closed) + ")");
  }
}

}  // namespace

std::optional<std::filesystem::path> DefaultResultPath(const std::string& input,
                                                       std::string_view suffix) {
  // A connection string ("PG:dbname=...") names no place on disk to put a file beside.
  if (IsConnectionString(input)) return std::nullopt;
  std::filesystem::path path(input);
  if (!path.has_filename()) path = path.parent_path();  // "survey.gdb/"
  if (path.empty() || !path.has_filename()) return std::nullopt;
  path.replace_filename(path.stem().string() + std::string(suffix) + ".xlsx");
  return path;
}

std::string SheetNameFor(const std::string& title) {
  std::string name = title;
  for (char& c : name) {
    if (std::strchr("[]:*?/\\", c) != nullptr && c != '\0') c = '_';
  }
  if (name.empty()) name = "汇总";
  return std::string(Utf16Prefix(name, 31));
}

void WriteNewWorkbook(const std::filesystem::path& target, std::span<const ResultTable> tables,
                      std::optional<int> decimals) {
  WriteFileAtomically(target, [&](int, const std::filesystem::path& temp) {
    BuildWorkbook(temp, WrittenFileOf(target), tables, decimals);
  });
}

}  // namespace quilmark
