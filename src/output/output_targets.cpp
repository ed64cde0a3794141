#include "src/output/output_targets.h"

#include "src/host/sheet_host.h"
#include "src/output/new_workbook.h"
#include "src/output/preview_table.h"
#include "src/summary/worksheet_target.h"

namespace quilmark {

bool PreviewTarget::Fits(std::span<const TableShape> shapes) const {
  if (!below_row_) return true;
  int64_t base = *below_row_;
  for (const TableShape& shape : shapes) {
    const int64_t end = TableEndRow(shape, base);
    if (end > kMaxRow || shape.columns > kMaxColumn) return false;
    base = end;
  }
  return true;
}

void PreviewTarget::Write(std::span<const ResultTable> tables) {
  int64_t base = below_row_.value_or(0);
  for (const ResultTable& table : tables) {
    const TableShape shape = table.Shape();
    if (shape.rows == 0) continue;
    out_ << '\n' << PreviewTable(table, below_row_ ? base + shape.row_offset : 0);
    base = TableEndRow(shape, base);
  }
  out_.flush();
}

bool NewWorkbookTarget::Fits(std::span<const TableShape> shapes) const {
  for (const TableShape& shape : shapes) {
    if (shape.rows > kMaxRow || shape.columns > kMaxColumn) return false;
  }
  return true;
}

void NewWorkbookTarget::Write(std::span<const ResultTable> tables) {
  WriteNewWorkbook(path_, tables, decimals_);
}

}  // namespace quilmark
