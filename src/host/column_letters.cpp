#include "src/host/column_letters.h"

#include "src/host/ascii_text.h"
#include "src/host/sheet_host.h"

namespace quilmark {

size_t ReadColumnLetters(std::string_view text, int32_t& column) {
  size_t i = 0;
  int64_t value = 0;
  while (i < text.size() && IsAsciiLetter(text[i])) {
    value = value * 26 + ((text[i] & ~0x20) - 'A' + 1);
    if (++i > 3) return 0;
  }
  if (i == 0 || value > kMaxColumn) return 0;
  column = static_cast<int32_t>(value);
  return i;
}

std::optional<int32_t> ColumnOfLetters(std::string_view text) {
  int32_t column = 0;
  if (text.empty() || ReadColumnLetters(text, column) != text.size()) return std::nullopt;
  return column;
}

std::string ColumnLetters(int32_t column) {
  char letters[4];
  int n = 0;
  while (column > 0 && n < 4) {
    const int32_t digit = (column - 1) % 26;
    letters[n++] = static_cast<char>('A' + digit);
    column = (column - 1) / 26;
  }
  std::string out;
  while (n > 0) out.push_back(letters[--n]);
  return out;
}

}  // namespace quilmark
