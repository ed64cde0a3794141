#include "src/host/utf16.h"

#include <string>

namespace quilmark {
namespace {

// Length in bytes of the UTF-8 sequence starting at text[i], and its UTF-16 length. A byte that
// does not start a valid sequence counts as one byte and one unit.
struct Sequence {
  size_t bytes;
  size_t units;
};

Sequence SequenceAt(std::string_view text, size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  size_t bytes = lead < 0x80 ? 1 : lead >= 0xF0 && lead < 0xF5 ? 4 : lead >= 0xE0 ? 3
                 : lead >= 0xC2 ? 2 : 0;
  if (bytes == 0 || i + bytes > text.size()) return {1, 1};
  for (size_t k = 1; k < bytes; ++k) {
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return {1, 1};
  }
  return {bytes, bytes == 4 ? size_t{2} : size_t{1}};
}

uint32_t CodePointAt(std::string_view text, size_t i, size_t bytes) {
  const auto b = [&](size_t k) { return static_cast<uint32_t>(static_cast<unsigned char>(text[i + k])); };
  switch (bytes) {
    case 2: return ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
    case 3: return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
    case 4:
      return ((b(0) & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) | (b(3) & 0x3F);
    default: return b(0);
  }
}

std::u16string ToUtf16(std::string_view text) {
  std::u16string units;
  for (size_t i = 0; i < text.size();) {
    Sequence s = SequenceAt(text, i);
    uint32_t cp = CodePointAt(text, i, s.bytes);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      units.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      units.push_back(static_cast<char16_t>(cp));
    }
    i += s.bytes;
  }
  return units;
}

}  // namespace

size_t Utf16Length(std::string_view text) {
  size_t units = 0;
  for (size_t i = 0; i < text.size();) {
    Sequence s = SequenceAt(text, i);
    units += s.units;
    i += s.bytes;
  }
  return units;
}

std::string_view Utf16Prefix(std::string_view text, size_t n) {
  size_t units = 0;
  size_t i = 0;
  while (i < text.size()) {
    Sequence s = SequenceAt(text, i);
    if (units + s.units > n) break;
    units += s.units;
    i += s.bytes;
  }
  return text.substr(0, i);
}

std::string_view LastCharacter(std::string_view text) {
  if (text.empty()) return {};
  size_t start = text.size() - 1;
  // Step back over up to three continuation bytes to the lead byte of the last sequence.
  for (size_t k = 0; k < 3 && start > 0 &&
                     (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80;
       ++k) {
    --start;
  }
  if (SequenceAt(text, start).bytes == text.size() - start) return text.substr(start);
  return text.substr(text.size() - 1);
}

bool Utf16Less(std::string_view a, std::string_view b) { return ToUtf16(a) < ToUtf16(b); }

}  // namespace quilmark
