#include "src/output/new_workbook.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <set>
#include <variant>

#include "src/host/atomic_file.h"
#include "src/host/gdal/layer_path.h"
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
size_t EmptyHeaderRows(const ResultTable& grid) {
  size_t empty = 0;
  while (empty < static_cast<size_t>(grid.header_rows) && empty < grid.cells.size() &&
         std::all_of(grid.cells[empty].begin(), grid.cells[empty].end(),
                     [](const CellValue& value) { return IsEmpty(value); })) {
    ++empty;
  }
  return empty;
}

// Builds the workbook at `path` (the temporary file) with libxlsxwriter.
void BuildWorkbook(const std::filesystem::path& path, const std::filesystem::path& target,
                   std::span<const ResultTable> grids, std::optional<int> decimals) {
  lxw_workbook* book = workbook_new(path.c_str());
  if (book == nullptr) Fail(target, "无法建立工作簿 (" + SystemReason(errno) + ")");
  lxw_format* bold = workbook_add_format(book);
  format_set_bold(bold);
  lxw_format* number = nullptr;
  lxw_format* whole_number = nullptr;
  if (decimals) {
    number = workbook_add_format(book);
    format_set_num_format(number, NumberFormat(*decimals).c_str());
    whole_number = workbook_add_format(book);
    format_set_num_format(whole_number, "0");
  }

  std::string failure;
  std::set<std::string> used;
  std::optional<PrintFormats> print_formats;  // made for the first printed table
  // A table's charts follow its sheet; top_row is the sheet row of the table's first cell.
  const auto add_charts = [&](const ResultTable& grid, const std::string& sheet, lxw_row_t top) {
    for (const ChartSpec& chart : grid.charts) {
      if (failure.empty()) failure = AddChartSheet(book, sheet, top, chart);
    }
  };
  for (const ResultTable& grid : grids) {
    std::string name = SheetNameFor(grid.name);
    for (int n = 2; used.count(name) > 0; ++n) {
      const std::string suffix = " (" + std::to_string(n) + ")";
      name = std::string(Utf16Prefix(SheetNameFor(grid.name), 31 - suffix.size())) + suffix;
    }
    used.insert(name);
    lxw_worksheet* sheet = workbook_add_worksheet(book, name.c_str());
    if (sheet == nullptr) {
      failure = "无法建立工作表 " + name;
      break;
    }
    if (grid.print) {
      if (!print_formats) print_formats = MakePrintFormats(book, grid.print->decimals);
      failure = WritePrintSheet(sheet, grid, *print_formats);
      if (!failure.empty()) failure = "工作表 " + name + ": " + failure;
      add_charts(grid, name, kPrintTopRows);
      if (!failure.empty()) break;
      continue;
    }
    // Counts show without decimals; a table's leading header rows that hold nothing (the zone
    // totals keep one free for the worksheet's layout) are left out here.
    std::vector<bool> counts(static_cast<size_t>(grid.Shape().columns), false);
    for (size_t c : grid.count_columns) {
      if (c < counts.size()) counts[c] = true;
    }
    const size_t skipped = EmptyHeaderRows(grid);
    const size_t header_rows = static_cast<size_t>(grid.header_rows) - skipped;
    std::vector<double> widths(static_cast<size_t>(grid.Shape().columns), 0);
    for (size_t r = skipped; r < grid.cells.size() && failure.empty(); ++r) {
      const bool header = r < static_cast<size_t>(grid.header_rows);
      for (size_t c = 0; c < grid.cells[r].size(); ++c) {
        const CellValue& value = grid.cells[r][c];
        const auto row = static_cast<lxw_row_t>(r - skipped);
        const auto col = static_cast<lxw_col_t>(c);
        lxw_error error = LXW_NO_ERROR;
        std::string shown;
        if (const double* x = std::get_if<double>(&value)) {
          std::optional<int> places;
          if (!counts[c]) places = decimals;
          lxw_format* format = header ? bold : places ? number : whole_number;
          error = worksheet_write_number(sheet, row, col, *x, format);
          shown = NumberShown(*x, places);
        } else if (const bool* b = std::get_if<bool>(&value)) {
          error = worksheet_write_boolean(sheet, row, col, *b, header ? bold : nullptr);
          shown = *b ? "TRUE" : "FALSE";
        } else if (!IsEmpty(value)) {
          shown = ValueText(value);
          error = worksheet_write_string(sheet, row, col, shown.c_str(), header ? bold : nullptr);
        }
        if (error != LXW_NO_ERROR) {
          failure = "工作表 " + name + " 第 " + std::to_string(r + 1) + " 行第 " +
                    std::to_string(c + 1) + " 列无法写入 (" + lxw_strerror(error) + ")";
          break;
        }
        widths[c] = std::max(widths[c], static_cast<double>(DisplayWidth(shown)));
      }
    }
    if (!failure.empty()) break;
    for (size_t c = 0; c < widths.size(); ++c) {
      const double width = std::clamp(widths[c] + 2, kMinWidth, kMaxWidth);
      worksheet_set_column(sheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c), width,
                           nullptr);
    }
    if (header_rows > 0) worksheet_freeze_panes(sheet, static_cast<lxw_row_t>(header_rows), 0);
    if (skipped == 0) add_charts(grid, name, 0);  // charted tables start with their header
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

void WriteNewWorkbook(const std::filesystem::path& target, std::span<const ResultTable> grids,
                      std::optional<int> decimals) {
  WriteFileAtomically(target, [&](int, const std::filesystem::path& temp) {
    BuildWorkbook(temp, WrittenFileOf(target), grids, decimals);
  });
}

}  // namespace quilmark
