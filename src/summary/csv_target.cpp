#include "src/summary/csv_target.h"

#include <string>

#include "src/host/sheet_host.h"

namespace quilmark {
namespace {

void WriteField(std::ostream& out, const CellValue& cell) {
  const std::string text = ValueText(cell);
  if (text.find_first_of(",\"\r\n") == std::string::npos) {
    out << text;
    return;
  }
  out << '"';
  for (char c : text) {
    if (c == '"') out << '"';
    out << c;
  }
  out << '"';
}

}  // namespace

void CsvTarget::Write(std::span<const ResultTable> tables) {
  bool first_table = true;
  for (const ResultTable& table : tables) {
    if (table.cells.empty()) continue;
    if (!first_table) out_ << '\n';
    first_table = false;
    for (const std::vector<CellValue>& row : table.cells) {
      for (size_t i = 0; i < row.size(); ++i) {
        if (i > 0) out_ << ',';
        WriteField(out_, row[i]);
      }
      out_ << '\n';
    }
  }
  out_.flush();
  if (!out_) throw HostError("无法写出汇总结果: 输出流已关闭或磁盘已满");
}

}  // namespace quilmark
