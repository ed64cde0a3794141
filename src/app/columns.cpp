#include "src/app/columns.h"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <string>

#include "src/host/ascii_text.h"
#include "src/host/cell_value.h"
#include "src/host/column_letters.h"
#include "src/host/sheet_host.h"

namespace quilmark {

std::optional<int16_t> ParseColumnNumber(std::string_view raw) {
  const std::string_view text = TrimBlanks(raw);
  // The whole text must be one number: sign, digits with at most one point, an exponent.
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const size_t number_start = i;
  bool digits = false;
  bool point = false;
  for (; i < text.size(); ++i) {
    if (IsAsciiDigit(text[i])) {
      digits = true;
    } else if (text[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return std::nullopt;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    const size_t exponent_start = j;
    while (j < text.size() && IsAsciiDigit(text[j])) ++j;
    if (j == exponent_start) return std::nullopt;
    i = j;
  }
  if (i != text.size()) return std::nullopt;

  double value = 0;
  const char* first = text.data() + number_start;
  auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (text[0] == '-') value = -value;
  // nearbyint rounds halves to even in the default rounding mode, which the program never changes.
  const double rounded = std::nearbyint(value);
  if (!(rounded >= -32768 && rounded <= 32767)) return std::nullopt;
  return static_cast<int16_t>(rounded);
}

std::optional<int32_t> SheetColumn(std::string_view text) {
  if (std::optional<int32_t> lettered = ColumnOfLetters(TrimBlanks(text))) return lettered;
  std::optional<int16_t> column = ParseColumnNumber(text);
  if (!column || *column < 1 || *column > kMaxColumn) return std::nullopt;
  return *column;
}

}  // namespace quilmark
