#include "src/output/preview_table.h"

#include <algorithm>
#include <cstdint>
#include <variant>

#include "src/output/text_width.h"
#include "src/summary/area_format.h"

namespace quilmark {
namespace {

// The cell as it reads on the terminal: numbers as the table shows them, control characters (C0,
// DEL and the C1 range, which some terminals obey as escapes) as blanks.
std::string ShownText(const ResultTable& table, size_t column, const CellValue& value) {
  const double* number = std::get_if<double>(&value);
  const std::string text =
      number != nullptr ? NumberShown(*number, table.ShownDecimals(column)) : ValueText(value);
  std::string shown;
  shown.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const bool c1 = byte == 0xC2 && i + 1 < text.size() &&
                    static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    if (byte < 0x20 || byte == 0x7F || c1) {
      shown += ' ';
      if (c1) ++i;
    } else {
      shown += text[i];
    }
  }
  return shown;
}

bool RightAligned(const CellValue& value) { return std::holds_alternative<double>(value); }

}  // namespace

std::string PreviewTable(const ResultTable& table, int64_t first_row) {
  const size_t columns = static_cast<size_t>(table.Shape().columns);
  std::vector<std::vector<std::string>> texts(table.cells.size());
  std::vector<size_t> widths(columns, 0);
  for (size_t r = 0; r < table.cells.size(); ++r) {
    for (size_t c = 0; c < table.cells[r].size(); ++c) {
      texts[r].push_back(ShownText(table, c, table.cells[r][c]));
    }
    for (size_t c = 0; c < texts[r].size(); ++c) {
      widths[c] = std::max(widths[c], DisplayWidth(texts[r][c]));
    }
  }

  // A header that writes nothing (the zone totals have none) gets no line under it.
  bool blank_header = true;
  for (size_t r = 0; r < table.cells.size() && static_cast<int64_t>(r) < table.header_rows; ++r) {
    for (const std::string& text : texts[r]) blank_header = blank_header && text.empty();
  }

  std::string out = table.name;
  if (first_row > 0) {
    const int64_t last_row = first_row + static_cast<int64_t>(table.cells.size()) - 1;
    out += " (第 " + std::to_string(first_row) +
           (last_row > first_row ? "-" + std::to_string(last_row) : std::string()) + " 行)";
  }
  out += '\n';
  size_t line_width = 0;
  for (size_t c = 0; c < columns; ++c) line_width += widths[c] + (c > 0 ? 2 : 0);
  for (size_t r = 0; r < table.cells.size(); ++r) {
    std::string line;
    for (size_t c = 0; c < columns; ++c) {
      const std::string empty;
      const std::string& text = c < texts[r].size() ? texts[r][c] : empty;
      const size_t padding = widths[c] - DisplayWidth(text);
      if (c > 0) line += "  ";
      const bool right = c < table.cells[r].size() && RightAligned(table.cells[r][c]);
      if (right) line.append(padding, ' ');
      line += text;
      if (!right) line.append(padding, ' ');
    }
    line.erase(line.find_last_not_of(' ') + 1);
    out += line + '\n';
    if (static_cast<int64_t>(r) + 1 == table.header_rows && r + 1 < table.cells.size() &&
        line_width > 0 && !blank_header) {
      out.append(line_width, '-');
      out += '\n';
    }
  }
  return out;
}

}  // namespace quilmark
