#include "src/output/csv_target.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <variant>

#include "src/host/atomic_file.h"
#include "src/host/sheet_host.h"
#include "src/host/text_encoding.h"
#include "src/host/xlsx/package/write_all.h"
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

std::string EncodedCsv(const std::string& utf8, CsvEncoding encoding) {
  switch (encoding) {
    case CsvEncoding::kUtf8:
      return utf8;
    case CsvEncoding::kUtf8WithBom:
      return "\xEF\xBB\xBF" + utf8;
    case CsvEncoding::kGbk:
      break;
  }
  std::string missing;
  if (std::optional<std::string> gbk = EncodeGbk(utf8, &missing)) return *gbk;
  throw HostError("汇总结果中的 \"" + missing +
                  "\" 无法用 GBK 编码写出, 结果没有写出。请去掉 --encoding gbk, 以 UTF-8 写出。");
}

void CsvTarget::Write(std::span<const ResultTable> tables) {
  const std::string text = EncodedCsv(CsvBlocks(tables), encoding_);
  if (file_) {
    WriteFileAtomically(*file_, [&text](int fd, const std::filesystem::path&) {
      if (!xlsx::WriteAll(fd, text.data(), text.size())) throw HostError(std::strerror(errno));
    });
    return;
  }
  out_ << text;
  out_.flush();
  if (!out_) throw HostError("无法写出汇总结果: 输出流已关闭或磁盘已满");
}

std::string CsvTarget::Completion() const {
  if (file_) return "统计完毕, 汇总结果已以 CSV 写入: " + file_->string();
  return "统计完毕, 汇总结果已以 CSV 写到标准输出。";
}

}  // namespace quilmark
