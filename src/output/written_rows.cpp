#include "src/output/written_rows.h"

#include <algorithm>
#include <charconv>

#include "src/output/worksheet_target.h"

namespace quilmark {
namespace {

std::optional<int64_t> ParseRow(std::string_view text) {
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 1) return std::nullopt;
  return value;
}

std::optional<WrittenRows> ParseEntry(std::string_view entry) {
  const size_t first_colon = entry.find(':');
  if (first_colon == std::string_view::npos) return std::nullopt;
  const size_t second_colon = entry.find(':', first_colon + 1);
  if (second_colon == std::string_view::npos) return std::nullopt;
  const std::optional<int64_t> first = ParseRow(entry.substr(0, first_colon));
  const std::optional<int64_t> last =
      ParseRow(entry.substr(first_colon + 1, second_colon - first_colon - 1));
  if (!first || !last || *last < *first) return std::nullopt;
  return WrittenRows{std::string(entry.substr(second_colon + 1)), *first, *last};
}

}  // namespace

std::string FormatWrittenRows(const std::vector<WrittenRows>& record) {
  std::string text;
  for (const WrittenRows& rows : record) {
    if (!text.empty()) text += '/';
    text += std::to_string(rows.first) + ':' + std::to_string(rows.last) + ':' + rows.sheet;
  }
  return text;
}

std::vector<WrittenRows> ParseWrittenRows(std::string_view text) {
  std::vector<WrittenRows> record;
  while (!text.empty()) {
    const size_t slash = text.find('/');
    if (std::optional<WrittenRows> rows = ParseEntry(text.substr(0, slash))) {
      record.push_back(std::move(*rows));
    }
    if (slash == std::string_view::npos) break;
    text.remove_prefix(slash + 1);
  }
  return record;
}

std::vector<WrittenRows> RowsReadAgain(const std::vector<WrittenRows>& record,
                                       std::string_view sheet, int64_t last_row) {
  std::vector<WrittenRows> read;
  for (const WrittenRows& rows : record) {
    if (rows.sheet != sheet || rows.first > last_row) continue;
    read.push_back({rows.sheet, rows.first, std::min(rows.last, last_row)});
  }
  return read;
}

std::vector<WrittenRows> UpdatedRecord(const std::vector<WrittenRows>& record,
                                       std::string_view sheet, int64_t last_row,
                                       const std::vector<WrittenRows>& written) {
  std::vector<WrittenRows> updated;
  for (const WrittenRows& rows : record) {
    if (rows.sheet == sheet && rows.first > last_row) continue;  // gone, or written over now
    updated.push_back(rows);
  }
  updated.insert(updated.end(), written.begin(), written.end());
  return updated;
}

std::vector<WrittenRows> PlacedRows(std::string_view sheet, int64_t last_row,
                                    std::span<const TableShape> shapes) {
  std::vector<WrittenRows> placed;
  int64_t base = last_row;
  for (const TableShape& shape : shapes) {
    const int64_t end = TableEndRow(shape, base);
    if (shape.rows > 0) placed.push_back({std::string(sheet), base + shape.row_offset, end});
    base = end;
  }
  return placed;
}

std::string DoubleCountWarning(const std::vector<WrittenRows>& rows) {
  std::string where;
  for (const WrittenRows& range : rows) {
    if (!where.empty()) where += "、";
    where += "第 " + std::to_string(range.first) + "-" + std::to_string(range.last) + " 行";
  }
  return "注意: 工作表 " + (rows.empty() ? std::string() : rows.front().sheet) + " 的" + where +
         "是先前一次统计写入的汇总结果, 本次统计会把这些行当作数据重复计入。";
}

std::string CompletionText(const std::vector<WrittenRows>& placed) {
  std::string text(kCompletionText);
  if (placed.empty()) return text;
  return text + " 汇总结果写在工作表 " + placed.front().sheet + " 的第 " +
         std::to_string(placed.front().first) + "-" + std::to_string(placed.back().last) + " 行。";
}

}  // namespace quilmark
