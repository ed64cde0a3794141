#include "src/host/xlsx/write/formula_shift.h"

#include <charconv>
#include <optional>

#include "src/host/ascii_text.h"
#include "src/host/sheet_host.h"
#include "src/host/xlsx/read/cell_ref.h"

namespace quilmark::xlsx {
namespace {

bool IsNameChar(char c) {
  return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '_' || c == '.' || c == '$' || c == '\\' ||
         c == '?' || static_cast<unsigned char>(c) >= 0x80;
}

// One part of a reference: a column ("$AB") or a row ("12"), with its "$" if absolute.
struct Part {
  bool absolute = false;
  int64_t value = 0;
};

// Reads "$?letters" at text[i...]; true and advances i when at least one letter was read.
bool ReadColumnPart(std::string_view text, size_t& i, Part& part) {
  size_t j = i;
  part.absolute = j < text.size() && text[j] == '$';
  if (part.absolute) ++j;
  const size_t start = j;
  part.value = 0;
  while (j < text.size() && IsAsciiLetter(text[j]) && j - start < 3) {
    part.value = part.value * 26 + ((text[j] & ~0x20) - 'A' + 1);
    ++j;
  }
  if (j == start) return false;
  i = j;
  return true;
}

bool ReadRowPart(std::string_view text, size_t& i, Part& part) {
  size_t j = i;
  part.absolute = j < text.size() && text[j] == '$';
  if (part.absolute) ++j;
  const size_t start = j;
  part.value = 0;
  while (j < text.size() && IsAsciiDigit(text[j]) && j - start < 8) {
    part.value = part.value * 10 + (text[j] - '0');
    ++j;
  }
  if (j == start) return false;
  i = j;
  return true;
}

// Moves a relative part; false when it leaves the sheet.
bool Move(Part& part, int32_t by, int32_t limit) {
  if (!part.absolute) part.value += by;
  return part.value >= 1 && part.value <= limit;
}

void AppendColumn(std::string& out, const Part& part) {
  if (part.absolute) out.push_back('$');
  out += ColumnLetters(static_cast<int32_t>(part.value));
}

void AppendRow(std::string& out, const Part& part) {
  if (part.absolute) out.push_back('$');
  out += std::to_string(part.value);
}

// Copies a quoted section (text[i] is the quote) with its doubled quotes; advances i past it.
void CopyQuoted(std::string_view text, size_t& i, std::string& out) {
  const char quote = text[i];
  size_t j = i + 1;
  while (j < text.size()) {
    if (text[j] == quote) {
      if (j + 1 < text.size() && text[j + 1] == quote) {
        j += 2;
        continue;
      }
      ++j;
      break;
    }
    ++j;
  }
  out.append(text.substr(i, j - i));
  i = j;
}

void CopyBracketed(std::string_view text, size_t& i, std::string& out) {
  int depth = 0;
  size_t j = i;
  for (; j < text.size(); ++j) {
    if (text[j] == '[') ++depth;
    if (text[j] == ']' && --depth == 0) {
      ++j;
      break;
    }
  }
  out.append(text.substr(i, j - i));
  i = j;
}

// Whole columns "A:C" or whole rows "1:3" starting at i, the first part ending at `end` (the
// colon): appended moved; returns where the range ends, nullopt when there is none.
std::optional<size_t> ShiftWholeRange(std::string_view text, size_t i, size_t end, int32_t rows,
                                      int32_t columns, std::string& out) {
  using Reader = bool (*)(std::string_view, size_t&, Part&);
  struct Kind {
    Reader read;
    int32_t by;
    int32_t max;
    void (*append)(std::string&, const Part&);
  };
  const Kind kinds[] = {{ReadColumnPart, columns, kMaxColumn, AppendColumn},
                        {ReadRowPart, rows, kMaxRow, AppendRow}};
  for (const Kind& kind : kinds) {
    size_t k = end + 1;
    size_t first_end = i;
    Part first, second;
    if (kind.read(text, first_end, first) && first_end == end && kind.read(text, k, second) &&
        (k == text.size() || !IsNameChar(text[k]))) {
      if (Move(first, kind.by, kind.max) && Move(second, kind.by, kind.max)) {
        kind.append(out, first);
        out.push_back(':');
        kind.append(out, second);
      } else {
        out += "#REF!";
      }
      return k;
    }
  }
  return std::nullopt;
}

}  // namespace

std::string ShiftFormula(std::string_view text, int32_t rows, int32_t columns) {
  std::string out;
  out.reserve(text.size() + 8);
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '"' || c == '\'') {
      CopyQuoted(text, i, out);
      continue;
    }
    if (c == '[') {
      CopyBracketed(text, i, out);
      continue;
    }
    if (!IsNameChar(c)) {
      out.push_back(c);
      ++i;
      continue;
    }
    size_t end = i;
    while (end < text.size() && IsNameChar(text[end])) ++end;
    const std::string_view token = text.substr(i, end - i);
    const bool function_or_sheet = end < text.size() && (text[end] == '(' || text[end] == '!');
    const bool preceded_by_name = i > 0 && (text[i - 1] == '#');
    if (function_or_sheet || preceded_by_name) {
      out.append(token);
      i = end;
      continue;
    }
    // A cell: column letters then row digits, the whole token.
    size_t j = i;
    Part column, row;
    if (ReadColumnPart(text, j, column) && ReadRowPart(text, j, row) && j == end) {
      if (Move(column, columns, kMaxColumn) && Move(row, rows, kMaxRow)) {
        AppendColumn(out, column);
        AppendRow(out, row);
      } else {
        out += "#REF!";
      }
      i = end;
      continue;
    }
    // Whole columns "A:C" or whole rows "1:3".
    if (end < text.size() && text[end] == ':') {
      if (const std::optional<size_t> next = ShiftWholeRange(text, i, end, rows, columns, out)) {
        i = *next;
        continue;
      }
    }
    out.append(token);
    i = end;
  }
  return out;
}

}  // namespace quilmark::xlsx
