#include "src/output/preview_table.h"

#include <algorithm>
#include <cstdint>
#include <variant>

#include "src/output/text_width.h"

namespace quilmark {
namespace {

// The cell as it reads on the terminal: control characters (C0, DEL) become blanks.
std::string ShownText(const CellValue& value) {
  std::string text = ValueText(value);
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = ' ';
  }
  return text;
}

bool RightAligned(const CellValue& value) { return std::holds_alternative<double>(value); }

}  // namespace

std::string PreviewTable(const ResultTable& grid, int64_t first_row) {
  const size_t columns = static_cast<size_t>(grid.Shape().columns);
  std::vector<std::vector<std::string>> texts(grid.cells.size());
  std::vector<size_t> widths(columns, 0);
  for (size_t r = 0; r < grid.cells.size(); ++r) {
    for (const CellValue& value : grid.cells[r]) texts[r].push_back(ShownText(value));
    for (size_t c = 0; c < texts[r].size(); ++c) {
      widths[c] = std::max(widths[c], DisplayWidth(texts[r][c]));
    }
  }

  std::string out = grid.name;
  if (first_row > 0) {
    const int64_t last_row = first_row + static_cast<int64_t>(grid.cells.size()) - 1;
    out += " (第 " + std::to_string(first_row) +
           (last_row > first_row ? "-" + std::to_string(last_row) : std::string()) + " 行)";
  }
  out += '\n';
  size_t line_width = 0;
  for (size_t c = 0; c < columns; ++c) line_width += widths[c] + (c > 0 ? 2 : 0);
  for (size_t r = 0; r < grid.cells.size(); ++r) {
    std::string line;
    for (size_t c = 0; c < columns; ++c) {
      const std::string empty;
      const std::string& text = c < texts[r].size() ? texts[r][c] : empty;
      const size_t padding = widths[c] - DisplayWidth(text);
      if (c > 0) line += "  ";
      const bool right = c < grid.cells[r].size() && RightAligned(grid.cells[r][c]);
      if (right) line.append(padding, ' ');
      line += text;
      if (!right) line.append(padding, ' ');
    }
    line.erase(line.find_last_not_of(' ') + 1);
    out += line + '\n';
    if (static_cast<int64_t>(r) + 1 == grid.header_rows && r + 1 < grid.cells.size()) {
      out.append(line_width, '-');
      out += '\n';
    }
  }
  return out;
}

}  // namespace quilmark
