#include "src/output/new_workbook_target.h"

#include "src/host/sheet_host.h"
#include "src/output/new_workbook.h"

namespace quilmark {

bool NewWorkbookTarget::Fits(std::span<const TableShape> shapes) const {
  for (const TableShape& shape : shapes) {
    if (shape.rows > kMaxRow || shape.columns > kMaxColumn) return false;
  }
  return true;
}

void NewWorkbookTarget::Write(std::span<const ResultTable> tables) {
  WriteNewWorkbook(path_, tables, decimals_);
}

std::string NewWorkbookTarget::Completion() const { return WrittenToText(path_); }

std::string WrittenToText(const std::filesystem::path& result) {
  return "统计完毕, 汇总结果已写入新的工作簿: " + result.string();
}

}  // namespace quilmark
