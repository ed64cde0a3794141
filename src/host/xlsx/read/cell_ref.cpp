#include "src/host/xlsx/read/cell_ref.h"

#include <charconv>

#include "src/host/column_letters.h"
#include "src/host/sheet_host.h"

namespace quilmark::xlsx {

std::optional<CellRef> ParseCellRef(std::string_view text) {
  CellRef ref;
  const size_t letters = ReadColumnLetters(text, ref.column);
  if (letters == 0 || letters == text.size() || text[letters] == '0') return std::nullopt;
  const char* begin = text.data() + letters;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(begin, end, ref.row);
  if (ec != std::errc() || ptr != end || ref.row < 1 || ref.row > kMaxRow) return std::nullopt;
  return ref;
}

std::optional<int32_t> ParseColumnOfRef(std::string_view text) {
  int32_t column = 0;
  if (ReadColumnLetters(text, column) == 0) return std::nullopt;
  return column;
}

std::optional<RangeRef> ParseRangeRef(std::string_view text) {
  const size_t colon = text.find(':');
  const auto first = ParseCellRef(text.substr(0, colon));
  if (!first) return std::nullopt;
  if (colon == std::string_view::npos) return RangeRef{*first, *first};
  const auto last = ParseCellRef(text.substr(colon + 1));
  if (!last) return std::nullopt;
  return RangeRef{*first, *last};
}

void AppendCellRef(std::string& out, int32_t row, int32_t column) {
  out += ColumnLetters(column);
  char digits[16];
  const auto result = std::to_chars(digits, digits + sizeof digits, row);
  out.append(digits, result.ptr);
}

std::string FormatRangeRef(const RangeRef& range) {
  std::string out;
  AppendCellRef(out, range.first.row, range.first.column);
  if (!(range.first == range.last)) {
    out.push_back(':');
    AppendCellRef(out, range.last.row, range.last.column);
  }
  return out;
}

}  // namespace quilmark::xlsx
