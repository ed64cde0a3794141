// The character tests and trimming every reader of text uses: ASCII only, whatever the locale.
#pragma once

#include <string>
#include <string_view>

namespace quilmark {

constexpr bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The characters TrimSpace removes: blank, tab, carriage return and line feed.
inline constexpr std::string_view kAsciiSpace = " \t\r\n";

// Removes the characters of `chars` at both ends.
constexpr std::string_view TrimOf(std::string_view text, std::string_view chars) {
  const size_t first = text.find_first_not_of(chars);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(chars) - first + 1);
}

// Removes blanks (character 32 only) at both ends.
constexpr std::string_view TrimBlanks(std::string_view text) {
  if (text.empty() || (text.front() != ' ' && text.back() != ' ')) return text;
  return TrimOf(text, " ");
}

// The text with its ASCII capitals made small ("结果.CSV" gives "结果.csv").
inline std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Removes kAsciiSpace at both ends.
constexpr std::string_view TrimSpace(std::string_view text) { return TrimOf(text, kAsciiSpace); }

}  // namespace quilmark
