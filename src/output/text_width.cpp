#include "src/output/text_width.h"

#include <locale.h>
#include <wchar.h>

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace quilmark {
namespace {

// The code point of the UTF-8 sequence at the front of `text`, and its length in bytes; -1 and
// a length of 1 for a byte that does not start a valid sequence.
int32_t DecodeOne(std::string_view text, size_t& length) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(0);
  length = 1;
  if (lead < 0x80) return lead;
  size_t extra;
  int32_t code;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, code = lead & 0x07;
  } else {
    return -1;
  }
  if (text.size() <= extra) return -1;
  for (size_t i = 1; i <= extra; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return -1;
    code = (code << 6) | (byte(i) & 0x3F);
  }
  static constexpr int32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return -1;
  length = extra + 1;
  return code;
}

// The wide ranges of the East Asian Width property, for a system without a UTF-8 locale.
struct Range {
  int32_t first, last;
};
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},
    {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
    {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},
    {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

int FallbackWidth(int32_t code) {
  if (code < 0x20 || (code >= 0x7F && code < 0xA0)) return 0;
  if (code >= 0x300 && code <= 0x36F) return 0;  // combining diacritical marks
  const Range* range = std::upper_bound(std::begin(kWide), std::end(kWide), code,
                                        [](int32_t c, const Range& r) { return c < r.first; });
  return range != std::begin(kWide) && code <= std::prev(range)->last ? 2 : 1;
}

// glibc's wcwidth follows the Unicode data under a UTF-8 locale; the C.UTF-8 locale is used on
// this thread only, so the program's own locale is never changed.
locale_t Utf8Locale() {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
  return locale;
}

}  // namespace

size_t DisplayWidth(std::string_view text) {
  const locale_t utf8 = Utf8Locale();
  const locale_t previous = utf8 != locale_t{} ? uselocale(utf8) : locale_t{};
  size_t width = 0;
  while (!text.empty()) {
    size_t length;
    const int32_t code = DecodeOne(text, length);
    text.remove_prefix(length);
    if (code < 0) {
      width += 1;
      continue;
    }
    const int columns =
        utf8 != locale_t{} ? wcwidth(static_cast<wchar_t>(code)) : FallbackWidth(code);
    width += static_cast<size_t>(std::max(columns, 0));
  }
  if (utf8 != locale_t{}) uselocale(previous);
  return width;
}

}  // namespace quilmark
