#include "src/host/conninfo_words.h"

#include <algorithm>
#include <cctype>

namespace quilmark {
namespace {

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

void SkipSpaces(std::string_view text, size_t& at) {
  while (at < text.size() && IsSpace(text[at])) ++at;
}

// The value at `at`: bare up to a space, or quoted with \' and \\ escapes. nullopt where a quote
// is not closed.
std::optional<std::string> ReadValue(std::string_view text, size_t& at) {
  std::string value;
  if (at < text.size() && text[at] == '\'') {
    for (++at; at < text.size() && text[at] != '\''; ++at) {
      if (text[at] == '\\' && at + 1 < text.size()) ++at;
      value += text[at];
    }
    if (at >= text.size()) return std::nullopt;
    ++at;
    return value;
  }
  for (; at < text.size() && !IsSpace(text[at]); ++at) {
    if (text[at] == '\\' && at + 1 < text.size()) ++at;
    value += text[at];
  }
  return value;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

bool StartsWithUri(std::string_view text) {
  const std::string lower = Lower(text.substr(0, 13));
  return lower.rfind("postgresql://", 0) == 0 || lower.rfind("postgres://", 0) == 0;
}

}  // namespace

std::optional<ConninfoWords> SplitConninfo(std::string_view text) {
  ConninfoWords split;
  size_t at = 0;
  SkipSpaces(text, at);
  if (StartsWithUri(text.substr(at))) {
    const size_t end = std::find_if(text.begin() + at, text.end(), IsSpace) - text.begin();
    split.uri = std::string(text.substr(at, end - at));
    at = end;
  }
  for (SkipSpaces(text, at); at < text.size(); SkipSpaces(text, at)) {
    const size_t key_start = at;
    while (at < text.size() && text[at] != '=' && !IsSpace(text[at])) ++at;
    const std::string key = Lower(text.substr(key_start, at - key_start));
    SkipSpaces(text, at);
    if (key.empty() || at >= text.size() || text[at] != '=') return std::nullopt;
    ++at;
    SkipSpaces(text, at);
    std::optional<std::string> value = ReadValue(text, at);
    if (!value) return std::nullopt;
    split.words.push_back({key, std::move(*value)});
  }
  return split;
}

std::string QuotedConninfoValue(std::string_view value) {
  const bool bare = !value.empty() && std::none_of(value.begin(), value.end(), [](char c) {
    return IsSpace(c) || c == '\'' || c == '\\';
  });
  if (bare) return std::string(value);
  std::string quoted = "'";
  for (char c : value) {
    if (c == '\'' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "'";
}

bool IsSecretKey(std::string_view key) {
  const std::string lower = Lower(key);
  return lower == "password" || lower == "sslpassword";
}

std::string UriWithoutPassword(std::string_view uri) {
  std::string shown(uri);
  const size_t scheme = shown.find("://");
  const size_t authority = scheme == std::string::npos ? 0 : scheme + 3;
  const size_t end = shown.find_first_of("/?", authority);
  const size_t at = shown.rfind('@', end == std::string::npos ? shown.size() : end);
  if (at != std::string::npos && at >= authority) {
    const size_t colon = shown.find(':', authority);
    if (colon != std::string::npos && colon < at) shown.replace(colon + 1, at - colon - 1, "***");
  }
  const size_t query = shown.find('?');
  for (size_t key = query; key != std::string::npos; key = shown.find('&', key + 1)) {
    const size_t equals = shown.find('=', key);
    if (equals == std::string::npos) break;
    if (!IsSecretKey(shown.substr(key + 1, equals - key - 1))) continue;
    const size_t value_end = shown.find('&', equals);
    shown.replace(equals + 1,
                  (value_end == std::string::npos ? shown.size() : value_end) - equals - 1, "***");
  }
  return shown;
}

}  // namespace quilmark
