#include "src/host/xlsx/read/xml_encoding.h"

#include <iconv.h>

#include <cctype>

#include "src/host/xlsx/package/package_error.h"

namespace quilmark::xlsx {

std::string NonUtf8Encoding(std::string_view head) {
  if (head.starts_with("\xFF\xFE") || (head.size() >= 2 && head[0] == '<' && head[1] == '\0')) {
    return "UTF-16LE";
  }
  if (head.starts_with("\xFE\xFF") || (head.size() >= 2 && head[0] == '\0' && head[1] == '<')) {
    return "UTF-16BE";
  }
  if (!head.starts_with("<?xml")) return {};
  const std::string_view declaration = head.substr(0, head.find("?>"));
  const size_t at = declaration.find("encoding");
  if (at == std::string_view::npos) return {};
  const size_t quote = declaration.find_first_of("\"'", at);
  if (quote == std::string_view::npos) return {};
  const size_t close = declaration.find(declaration[quote], quote + 1);
  std::string name(declaration.substr(quote + 1, close - quote - 1));
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (name == "UTF-8" || name == "UTF8" || name == "US-ASCII" || name == "ASCII") return {};
  return name;
}

std::string ToUtf8(const std::string& text, const std::string& encoding, const std::string& part) {
  iconv_t cd = iconv_open("UTF-8", encoding.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    throw PackageError("部件 " + part + " 使用了不支持的字符编码 " + encoding);
  }
  std::string out(text.size() * 2 + 16, '\0');
  char* in = const_cast<char*>(text.data());
  size_t in_left = text.size();
  if (encoding == "UTF-16LE" && text.starts_with("\xFF\xFE")) in += 2, in_left -= 2;
  if (encoding == "UTF-16BE" && text.starts_with("\xFE\xFF")) in += 2, in_left -= 2;
  char* to = out.data();
  size_t to_left = out.size();
  const size_t result = iconv(cd, &in, &in_left, &to, &to_left);
  iconv_close(cd);
  if (result == static_cast<size_t>(-1)) {
    throw PackageError("部件 " + part + " 的字符编码 (" + encoding + ") 有误");
  }
  out.resize(out.size() - to_left);
  if (out.starts_with("<?xml")) {
    const size_t end = out.find("?>");
    if (end != std::string::npos) {
      out.replace(0, end + 2, R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)");
    }
  }
  return out;
}

}  // namespace quilmark::xlsx
