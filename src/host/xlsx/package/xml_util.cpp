#include "src/host/xlsx/package/xml_util.h"

#include <cstdint>
#include <cstring>
#include <sstream>

#include "src/host/xlsx/package/package_error.h"

namespace quilmark::xlsx {
namespace {

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  return (c & ~0x20) - 'A' + 10;
}

// Whether text[i...] is "_xHHHH_".
bool IsEscapeAt(std::string_view text, size_t i) {
  return i + 7 <= text.size() && text[i] == '_' && text[i + 1] == 'x' && IsHex(text[i + 2]) &&
         IsHex(text[i + 3]) && IsHex(text[i + 4]) && IsHex(text[i + 5]) && text[i + 6] == '_';
}

void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// The length of the valid UTF-8 sequence at text[i...], 0 when it is not valid.
size_t Utf8SequenceLength(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  size_t length;
  uint32_t code;
  if (c < 0x80) return 1;
  if ((c & 0xE0) == 0xC0) {
    length = 2;
    code = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    length = 3;
    code = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    length = 4;
    code = c & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  const bool overlong = (length == 2 && code < 0x80) || (length == 3 && code < 0x800) ||
                        (length == 4 && code < 0x10000);
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  // U+FFFE and U+FFFF are not XML characters either.
  if (overlong || surrogate || code > 0x10FFFF || code == 0xFFFE || code == 0xFFFF) return 0;
  return length;
}

}  // namespace

std::string_view LocalName(std::string_view qualified) {
  const size_t colon = qualified.find(':');
  return colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
}

std::string PrefixOf(std::string_view qualified) {
  const size_t colon = qualified.find(':');
  return colon == std::string_view::npos ? std::string()
                                         : std::string(qualified.substr(0, colon + 1));
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

void ParseSmallXml(pugi::xml_document& doc, const std::string& text, std::string_view part,
                   unsigned extra_options) {
  const unsigned options =
      pugi::parse_default | pugi::parse_declaration | pugi::parse_doctype | extra_options;
  const pugi::xml_parse_result result = doc.load_buffer(text.data(), text.size(), options);
  if (!result) {
    throw PackageError("部件 " + std::string(part) + " 不是格式正确的 XML (" +
                       result.description() + ", 位置 " + std::to_string(result.offset) + ")");
  }
  for (const pugi::xml_node node : doc.children()) {
    if (node.type() == pugi::node_doctype) {
      throw PackageError("部件 " + std::string(part) +
                         " 含有文档类型声明 (DTD), 出于安全考虑拒绝读取");
    }
  }
  if (!doc.document_element()) throw PackageError("部件 " + std::string(part) + " 是空的");
}

std::string SerializeSmallXml(const pugi::xml_document& doc) {
  std::ostringstream out;
  doc.save(out, "", pugi::format_raw, pugi::encoding_utf8);
  std::string text = out.str();
  // The text is UTF-8 whatever the part was read in: a kept declaration that names another
  // encoding (a part written as UTF-16) would make readers decode it wrongly.
  if (text.starts_with("<?xml")) {
    const size_t end = text.find("?>");
    const size_t at = text.find("encoding=", 0);
    if (end != std::string::npos && at != std::string::npos && at < end && at + 10 < end) {
      const char quote = text[at + 9];
      const size_t close = text.find(quote, at + 10);
      if (close != std::string::npos && close < end)
        text.replace(at + 10, close - at - 10, "UTF-8");
    }
  }
  return text;
}

namespace {

// The length of the allowed character at p (before end), 0 when there is none.
size_t XmlCharLength(const unsigned char* p, const unsigned char* end) {
  const unsigned char c = p[0];
  if (c < 0x80) return c >= 0x20 || c == '\t' || c == '\n' || c == '\r' ? 1 : 0;
  const auto in = [&](size_t k, unsigned char low, unsigned char high) {
    return p + k < end && p[k] >= low && p[k] <= high;
  };
  if (c >= 0xC2 && c <= 0xDF) return in(1, 0x80, 0xBF) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    const unsigned char low = c == 0xE0 ? 0xA0 : 0x80;
    const unsigned char high = c == 0xED ? 0x9F : 0xBF;  // no surrogates
    if (!in(1, low, high) || !in(2, 0x80, 0xBF)) return 0;
    return c == 0xEF && p[1] == 0xBF && p[2] >= 0xBE ? 0 : 3;  // U+FFFE, U+FFFF
  }
  if (c >= 0xF0 && c <= 0xF4) {
    const unsigned char low = c == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = c == 0xF4 ? 0x8F : 0xBF;
    return in(1, low, high) && in(2, 0x80, 0xBF) && in(3, 0x80, 0xBF) ? 4 : 0;
  }
  return 0;
}

}  // namespace

bool IsXmlText(const char* text, size_t length) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* const end = p + length;
  constexpr uint64_t kSpaces = 0x2020202020202020;
  constexpr uint64_t kHighBits = 0x8080808080808080;
  while (p < end) {
    // Eight printable ASCII bytes at a time: no byte below 0x20 (which would borrow) or above 0x7F.
    if (end - p >= 8) {
      uint64_t word;
      std::memcpy(&word, p, 8);
      if (((word | (word - kSpaces)) & kHighBits) == 0) {
        p += 8;
        continue;
      }
    }
    const size_t n = XmlCharLength(p, end);
    if (n == 0) return false;
    p += n;
  }
  return true;
}

std::string DecodeEscapes(std::string_view text) {
  if (text.find("_x") == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (IsEscapeAt(text, i)) {
      uint32_t code = 0;
      for (size_t k = 2; k < 6; ++k) code = code * 16 + HexValue(text[i + k]);
      AppendUtf8(out, code);
      i += 7;
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

void AppendEscaped(std::string& out, std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    switch (c) {
      case '&':
        out += "&amp;";
        ++i;
        continue;
      case '<':
        out += "&lt;";
        ++i;
        continue;
      case '>':
        out += "&gt;";
        ++i;
        continue;
      case '"':
        out += "&quot;";
        ++i;
        continue;
      default:
        break;
    }
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 && c != '\t' && c != '\n') {
      static const char kHex[] = "0123456789ABCDEF";
      out += "_x00";
      out.push_back(kHex[u >> 4]);
      out.push_back(kHex[u & 15]);
      out.push_back('_');
      ++i;
      continue;
    }
    if (IsEscapeAt(text, i)) {
      out += "_x005F_";
      ++i;
      continue;
    }
    const size_t length = Utf8SequenceLength(text, i);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    out.append(text.substr(i, length));
    i += length;
  }
}

}  // namespace quilmark::xlsx
