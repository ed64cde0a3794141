#include "src/output/csv_target.h"

#include <algorithm>
#include <variant>

#include "src/host/sheet_host.h"
#include "src/summary/area_format.h"

namespace quilmark {
namespace {

std::string FieldText(const ResultTable& grid, size_t column, const CellValue& value) {
  if (const double* number = std::get_if<double>(&value)) {
    return NumberShown(*number, grid.ShownDecimals(column));
  }
  return ValueText(value);
}

}  // namespace

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string CsvBlocks(std::span<const ResultTable> tables) {
  std::string out;
  for (const ResultTable& table : tables) {
    if (!out.empty()) out += "\r\n";
    out += CsvField(table.name) + "\r\n";
    const size_t columns = static_cast<size_t>(table.Shape().columns);
    for (const auto& row : table.cells) {
      if (std::all_of(row.begin(), row.end(), IsEmpty)) continue;  // a row that writes nothing
      for (size_t c = 0; c < columns; ++c) {
        if (c > 0) out += ',';
        if (c < row.size()) out += CsvField(FieldText(table, c, row[c]));
      }
      out += "\r\n";
    }
  }
  return out;
}

void CsvTarget::Write(std::span<const ResultTable> tables) {
  out_ << CsvBlocks(tables);
  out_.flush();
  if (!out_) throw HostError("无法写出汇总结果: 输出流已关闭或磁盘已满");
}

std::string CsvTarget::Completion() const { return "统计完毕, 汇总结果已以 CSV 写到标准输出。"; }

}  // namespace quilmark
