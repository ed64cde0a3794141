#include "src/host/cell_value.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace quilmark {

std::string NumberText(double number) {
  if (number == 0) return "0";  // also -0, which spreadsheets show as 0
  char buffer[64];
  auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::general, 15);
  if (error != std::errc()) return {};
  std::string text(buffer, end);
  // %g style gives "1e+15" and "1e-05"; spreadsheets and their macro languages write "1E+15".
  for (char& c : text) {
    if (c == 'e') c = 'E';
  }
  return text;
}

std::string ValueText(const CellValue& value) {
  struct Visitor {
    std::string operator()(std::monostate) const { return {}; }
    std::string operator()(double number) const { return NumberText(number); }
    std::string operator()(const std::string& text) const { return text; }
    std::string operator()(bool truth) const { return truth ? "TRUE" : "FALSE"; }
    std::string operator()(const CellDate& date) const { return date.iso; }
    std::string operator()(const CellError& error) const { return error.text; }
  };
  return std::visit(Visitor{}, value);
}

namespace {

bool IsIgnored(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// "&H1F" or "&O17": a whole number in base 16 or 8; digits end at the first other character.
std::optional<double> RadixNumber(std::string_view text, int radix) {
  double value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (radix == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (radix == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      break;
    }
    if (digit >= radix) break;
    value = value * radix + digit;
  }
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

// Whether the number is the double nearest to n / 10^k for a whole n below 10^15 and k of at most
// 6, as most measured areas are (1234.56): that decimal is then a text of at most 15 significant
// digits that reads back as the number. The division is exact to the last bit, so it gives the
// number back only when the decimal is that near. Such a number times 10^k lies within a few
// units in the last place of n, so other places are passed over without dividing.
bool IsShortDecimal(double number) {
  double scale = 1;
  for (int places = 0; places <= 6; ++places, scale *= 10) {
    const double scaled = number * scale;
    if (std::fabs(scaled) >= 1e15) return false;
    const auto whole =
        static_cast<double>(static_cast<int64_t>(scaled + (scaled < 0 ? -0.5 : 0.5)));
    if (std::fabs(scaled - whole) > std::fabs(scaled) * 1e-15) continue;
    if (whole / scale == number) return true;
  }
  return false;
}

// The number as its 15-digit text reads, for a normal number well inside the range, where that
// text is a plain decimal with an exponent and reads back without overflow: rounded to 15
// significant digits, or the number itself when it has no more.
double FifteenDigitValue(double number) {
  if (IsShortDecimal(number)) return number;
  char buffer[64];
  const auto printed =
      std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::general, 15);
  double value = number;
  std::from_chars(buffer, printed.ptr, value);
  return value;
}

}  // namespace

std::optional<double> LeadingNumber(std::string_view raw) {
  std::string text;
  text.reserve(raw.size());
  for (char c : raw) {
    if (!IsIgnored(c)) text.push_back(c);
  }
  if (text.size() >= 2 && text[0] == '&') {
    if (text[1] == 'H' || text[1] == 'h') return RadixNumber(std::string_view(text).substr(2), 16);
    if (text[1] == 'O' || text[1] == 'o') return RadixNumber(std::string_view(text).substr(2), 8);
  }

  // Gather the longest leading number into a form from_chars reads: sign, digits, one point,
  // and an exponent only when digits follow it.
  std::string number;
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  bool any_digit = false;
  bool seen_point = false;
  int64_t integer_digits = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (IsAsciiDigit(c)) {
      number.push_back(c);
      any_digit = true;
      if (!seen_point) ++integer_digits;
    } else if (c == '.' && !seen_point) {
      number.push_back(c);
      seen_point = true;
    } else {
      break;
    }
  }
  if (!any_digit) return 0.0;
  int64_t exponent = 0;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e' || text[i] == 'D' || text[i] == 'd')) {
    size_t j = i + 1;
    bool exponent_negative = false;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) exponent_negative = text[j++] == '-';
    if (j < text.size() && IsAsciiDigit(text[j])) {
      for (; j < text.size() && IsAsciiDigit(text[j]); ++j) {
        if (exponent < 100000) exponent = exponent * 10 + (text[j] - '0');
      }
      if (exponent_negative) exponent = -exponent;
      number += 'e';
      number += std::to_string(exponent);
    }
  }
  double value = 0;
  auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error == std::errc::result_out_of_range) {
    // Too small to hold reads as 0; too large is a failure, as in the spreadsheets' own Val.
    if (integer_digits + exponent < 0) return 0.0;
    return std::nullopt;
  }
  if (error != std::errc() || !std::isfinite(value)) return std::nullopt;
  return (negative ? -value : value) + 0.0;  // no negative zero
}

std::string CellText(const CellValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return std::string(TrimBlanks(*text));
  return std::string(TrimBlanks(ValueText(value)));
}

std::optional<double> CellNumber(const CellValue& value) {
  if (const double* number = std::get_if<double>(&value)) {
    // A whole number below 10^15 has an exact 15-digit text: no need to print and read it back.
    if (std::fabs(*number) < 1e15 && std::trunc(*number) == *number) return *number + 0.0;
    const double magnitude = std::fabs(*number);
    if (std::isnormal(*number) && magnitude > 1e-300 && magnitude < 1e300) {
      return FifteenDigitValue(*number);
    }
    return LeadingNumber(NumberText(*number));
  }
  if (const auto* text = std::get_if<std::string>(&value)) return LeadingNumber(*text);
  return LeadingNumber(ValueText(value));
}

}  // namespace quilmark
