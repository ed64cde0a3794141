#include "src/host/text_encoding.h"

#include <iconv.h>

#include <algorithm>
#include <utility>

namespace quilmark {
namespace {

// How many continuation bytes follow a lead byte; -1 for a byte that cannot start a character.
int ContinuationCount(unsigned char byte) {
  if (byte < 0x80) return 0;
  if (byte >= 0xC2 && byte <= 0xDF) return 1;
  if (byte >= 0xE0 && byte <= 0xEF) return 2;
  if (byte >= 0xF0 && byte <= 0xF4) return 3;
  return -1;
}

// The range the byte after a lead byte must fall in, which rules out overlong forms, surrogates
// and code points above U+10FFFF; every later continuation byte is 0x80-0xBF.
std::pair<unsigned char, unsigned char> SecondByteRange(unsigned char lead) {
  switch (lead) {
    case 0xE0:
      return {0xA0, 0xBF};
    case 0xED:
      return {0x80, 0x9F};
    case 0xF0:
      return {0x90, 0xBF};
    case 0xF4:
      return {0x80, 0x8F};
    default:
      return {0x80, 0xBF};
  }
}

// One converter per thread, kept: opening one costs more than converting a short field.
class Gb18030Converter {
 public:
  Gb18030Converter() : handle_(iconv_open("UTF-8", "GB18030")) {}
  ~Gb18030Converter() {
    if (usable()) iconv_close(handle_);
  }
  Gb18030Converter(const Gb18030Converter&) = delete;
  Gb18030Converter& operator=(const Gb18030Converter&) = delete;

  std::optional<std::string> Convert(std::string_view text) {
    if (!usable()) return std::nullopt;
    iconv(handle_, nullptr, nullptr, nullptr, nullptr);  // a fresh start after a failure
    // A GB18030 character of n bytes is at most n + 1 bytes of UTF-8 (2 -> 3, 4 -> 4).
    std::string out(text.size() * 3 / 2 + 4, '\0');
    char* in_ptr = const_cast<char*>(text.data());
    size_t in_left = text.size();
    char* out_ptr = out.data();
    size_t out_left = out.size();
    if (iconv(handle_, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<size_t>(-1) ||
        in_left != 0) {
      return std::nullopt;
    }
    out.resize(out.size() - out_left);
    return out;
  }

 private:
  bool usable() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

  iconv_t handle_;
};

std::optional<std::string> Gb18030ToUtf8(std::string_view text) {
  thread_local Gb18030Converter converter;
  return converter.Convert(text);
}

}  // namespace

bool IsUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {  // the common case, without the table below
      ++i;
      continue;
    }
    const int extra = ContinuationCount(lead);
    if (extra < 0 || text.size() - i <= static_cast<size_t>(extra)) return false;
    const auto [low, high] = SecondByteRange(lead);
    for (int k = 1; k <= extra; ++k) {
      const auto byte = static_cast<unsigned char>(text[i + k]);
      if (k == 1 ? byte < low || byte > high : (byte & 0xC0) != 0x80) return false;
    }
    i += extra + 1;
  }
  return true;
}

std::optional<std::string> DecodeChineseText(std::string_view text) {
  if (IsUtf8(text)) return std::string(text);
  return Gb18030ToUtf8(text);
}

std::optional<std::string> EncodeGbk(std::string_view utf8, std::string* missing) {
  const iconv_t handle = iconv_open("GBK", "UTF-8");
  if (handle == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  // A UTF-8 character of n bytes is at most 2 bytes of GBK, never more than n + 1.
  std::string out(utf8.size() * 2 + 4, '\0');
  char* in_ptr = const_cast<char*>(utf8.data());
  size_t in_left = utf8.size();
  char* out_ptr = out.data();
  size_t out_left = out.size();
  const bool failed =
      iconv(handle, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<size_t>(-1);
  iconv_close(handle);
  if (failed || in_left != 0) {
    if (missing != nullptr) {
      const size_t at = utf8.size() - in_left;
      const int extra =
          at < utf8.size() ? ContinuationCount(static_cast<unsigned char>(utf8[at])) : 0;
      *missing = std::string(utf8.substr(at, static_cast<size_t>(std::max(extra, 0)) + 1));
    }
    return std::nullopt;
  }
  out.resize(out.size() - out_left);
  return out;
}

int FirstUndecodableLine(std::string_view text) {
  int line = 1;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view one = text.substr(start, end - start);
    if (!IsUtf8(one) && !Gb18030ToUtf8(one)) return line;
    start = end + 1;
    ++line;
  }
  return 0;
}

}  // namespace quilmark
