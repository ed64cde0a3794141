#include "src/host/xlsx/read/expat_parse.h"

#include <cstring>
#include <new>
#include <utility>

#include "src/host/xlsx/package/package_error.h"
#include "src/host/xlsx/package/xml_util.h"

namespace quilmark::xlsx {
namespace {

constexpr char kNsSeparator = '\x01';

}  // namespace

QName Split(const char* name) {
  const std::string_view all(name);
  const size_t first = all.find(kNsSeparator);
  if (first == std::string_view::npos) return {{}, all, {}};
  QName q;
  q.uri = all.substr(0, first);
  const size_t second = all.find(kNsSeparator, first + 1);
  if (second == std::string_view::npos) {
    q.local = all.substr(first + 1);
  } else {
    q.local = all.substr(first + 1, second - first - 1);
    q.prefix = all.substr(second + 1);
  }
  return q;
}

std::string Qualified(const QName& q) {
  if (q.prefix.empty()) return std::string(q.local);
  return std::string(q.prefix) + ":" + std::string(q.local);
}

const char* Attribute(const char** attributes, const char* local) {
  for (const char** a = attributes; *a != nullptr; a += 2) {
    if (std::strcmp(local, a[0]) == 0) return a[1];
  }
  return nullptr;
}

ExpatParse::ExpatParse(std::string part, bool namespaces) : part_(std::move(part)) {
  parser_ = namespaces ? XML_ParserCreateNS(nullptr, kNsSeparator) : XML_ParserCreate(nullptr);
  if (parser_ == nullptr) throw std::bad_alloc();
  if (namespaces) XML_SetReturnNSTriplet(parser_, 1);
  RefuseDeclarations();
}

ExpatParse::~ExpatParse() { XML_ParserFree(parser_); }

void ExpatParse::Fail(std::string reason) {
  if (failure_.empty()) failure_ = std::move(reason);
  XML_StopParser(parser_, XML_FALSE);
}

bool ExpatParse::Feed(const char* data, size_t length, bool last) {
  const XML_Status status = XML_Parse(parser_, data, static_cast<int>(length), last ? 1 : 0);
  if (caught_) std::rethrow_exception(std::exchange(caught_, nullptr));
  if (status == XML_STATUS_SUSPENDED) return false;
  if (status != XML_STATUS_OK) ThrowError();
  return true;
}

void ExpatParse::ReplaceParser() {
  XML_Parser parser = XML_ParserCreate(nullptr);
  if (parser == nullptr) throw std::bad_alloc();
  XML_ParserFree(parser_);
  parser_ = parser;
  RefuseDeclarations();
}

void ExpatParse::RefuseDeclarations() {
  XML_SetStartDoctypeDeclHandler(
      parser_, [](void* self, const char*, const char*, const char*, int) {
        static_cast<ExpatParse*>(self)->Fail("含有文档类型声明 (DTD), 出于安全考虑拒绝读取");
      });
  XML_SetEntityDeclHandler(parser_, [](void* self, const char*, int, const char*, int, const char*,
                                       const char*, const char*, const char*) {
    static_cast<ExpatParse*>(self)->Fail("含有实体声明, 出于安全考虑拒绝读取");
  });
}

void ExpatParse::ThrowError() {
  if (!failure_.empty()) throw PackageError("部件 " + part_ + " " + failure_);
  throw PackageError("部件 " + part_ + " 不是格式正确的 XML (第 " +
                     std::to_string(XML_GetCurrentLineNumber(parser_)) +
                     " 行: " + XML_ErrorString(XML_GetErrorCode(parser_)) + ")");
}

void ExpatParse::LearnMainPrefix(const char** attributes) {
  for (const char** a = attributes; *a != nullptr; a += 2) {
    const std::string_view name(a[0]);
    if (!IsMainNs(a[1])) continue;
    if (name == "xmlns") {
      main_prefix_.clear();
      return;
    }
    if (name.starts_with("xmlns:")) main_prefix_ = std::string(name.substr(6));
  }
}

std::string_view ExpatParse::MainLocal(const char* name) const {
  if (main_prefix_.empty()) return std::string_view(name);
  if (std::strncmp(name, main_prefix_.data(), main_prefix_.size()) == 0 &&
      name[main_prefix_.size()] == ':') {
    return std::string_view(name + main_prefix_.size() + 1);
  }
  return {};
}

}  // namespace quilmark::xlsx
