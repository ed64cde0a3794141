#include "src/output/csv_blocks.h"

#include <charconv>
#include <variant>

namespace quilmark {
namespace {

std::string FieldText(const CellValue& value) {
  if (const double* number = std::get_if<double>(&value)) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, *number);
    return std::string(buffer, result.ptr);
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

std::string CsvBlocks(std::span<const ResultTable> grids) {
  std::string out;
  for (const ResultTable& grid : grids) {
    if (!out.empty()) out += "\r\n";
    out += CsvField(grid.name) + "\r\n";
    const size_t columns = static_cast<size_t>(grid.Shape().columns);
    for (const auto& row : grid.cells) {
      for (size_t c = 0; c < columns; ++c) {
        if (c > 0) out += ',';
        if (c < row.size()) out += CsvField(FieldText(row[c]));
      }
      out += "\r\n";
    }
  }
  return out;
}

}  // namespace quilmark
