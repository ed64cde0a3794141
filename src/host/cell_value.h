// The value a worksheet cell holds, and the two ways the run reads it: as trimmed text and as a
// leading number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "src/host/ascii_text.h"

namespace quilmark {

// A date as the workbook stores it, kept as its ISO 8601 text ("2024-01-05" or
// "2024-01-05T08:30:00"), which is also how it reads as text.
struct CellDate {
  std::string iso;
  friend bool operator==(const CellDate&, const CellDate&) = default;
};

// An error value such as "#N/A" or "#DIV/0!"; the text is how it reads as text.
struct CellError {
  std::string text;
  friend bool operator==(const CellError&, const CellError&) = default;
};

// Empty, number, text, truth value, date or error. Texts are UTF-8.
using CellValue = std::variant<std::monostate, double, std::string, bool, CellDate, CellError>;

// Whether a floating-point number is too large to hold every digit of a whole number (2^53 and
// above): a code of 16 digits or more stored so has lost its last digits.
inline bool LosesDigits(double number) { return number >= 0x1p53 || number <= -0x1p53; }

inline bool IsEmpty(const CellValue& value) {
  return std::holds_alternative<std::monostate>(value);
}

// A number as text: at most 15 significant digits, "." as the decimal point, no trailing zeros,
// an exponent only where the number has no 15-digit plain form ("1E+15", "1E-05").
// 111 gives "111", 2.5 gives "2.5", 0.1 + 0.2 gives "0.3".
std::string NumberText(double number);

// The value as text, untrimmed: numbers as NumberText, truth values as "TRUE"/"FALSE", dates as
// their ISO text, errors as their error text, empty as "".
std::string ValueText(const CellValue& value);

// The leading-number rule: blanks, tabs and line feeds anywhere are ignored; then an optional
// sign, digits with at most one ".", and an optional exponent (E or D, optional sign, digits);
// reading stops at the first other character. "&H" or "&O" at the start reads a hexadecimal or
// octal whole number. No digits gives 0. nullopt when the number overflows a double.
std::optional<double> LeadingNumber(std::string_view text);

// CellText of a value that was read: ValueText with blanks trimmed at both ends.
std::string CellText(const CellValue& value);

// CellNumber of a value that was read: the leading number of its text. A number reads through its
// 15-digit text, so 0.1 + 0.2 counts as 0.3. nullopt on overflow.
std::optional<double> CellNumber(const CellValue& value);

}  // namespace quilmark
