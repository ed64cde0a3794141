#include "src/output/preview_target.h"

#include "src/host/sheet_host.h"
#include "src/output/preview_table.h"
#include "src/output/worksheet_target.h"

namespace quilmark {

bool PreviewTarget::Fits(std::span<const TableShape> shapes) const {
  return !below_row_ || FitsBelow(shapes, *below_row_);
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

std::string PreviewTarget::Completion() const {
  return "预览完毕: 以上是将写入的汇总结果, 没有写入任何文件。";
}

}  // namespace quilmark
