#include "src/output/worksheet_target.h"

#include <optional>
#include <variant>

#include "src/output/written_rows.h"

namespace quilmark {

bool FitsBelow(std::span<const TableShape> shapes, int64_t base_row) {
  for (const TableShape& shape : shapes) {
    const int64_t end = TableEndRow(shape, base_row);
    if (end > kMaxRow || shape.columns > kMaxColumn) return false;
    base_row = end;
  }
  return true;
}

bool WorksheetTarget::Fits(std::span<const TableShape> shapes) const {
  return FitsBelow(shapes, last_row_);
}

void WorksheetTarget::Write(std::span<const ResultTable> tables) {
  int64_t base = last_row_;
  for (const ResultTable& table : tables) {
    WriteTable(sheet_, base, table);
    base = TableEndRow(table.Shape(), base);
    written_.push_back(table.Shape());
  }
}

std::string WorksheetTarget::Completion() const {
  const std::string text = CompletionText(PlacedRows(sheet_.Name(), last_row_, written_));
  if (!copy_) return text;
  return text + " 结果保存在 " + copy_->string() + ", 原工作簿不变。";
}

void WriteTable(Worksheet& sheet, int64_t base_row, const ResultTable& table) {
  int64_t row = base_row + table.row_offset;
  for (const std::vector<CellValue>& cells : table.cells) {
    if (row > kMaxRow) break;
    for (size_t j = 0; j < cells.size(); ++j) {
      if (std::holds_alternative<std::monostate>(cells[j])) continue;
      if (j >= static_cast<size_t>(kMaxColumn)) break;
      const auto column = static_cast<int32_t>(j) + 1;
      sheet.Write(static_cast<int32_t>(row), column, cells[j]);
      // Rounded numbers keep their trailing zeros.
      const std::optional<int> decimals = table.ShownDecimals(j);
      if (decimals && std::holds_alternative<double>(cells[j])) {
        sheet.SetDecimals(static_cast<int32_t>(row), column, *decimals);
      }
    }
    ++row;
  }
}

}  // namespace quilmark
