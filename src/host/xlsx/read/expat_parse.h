// The common frame of an expat parse of a workbook part: creation, refusal of document type and
// entity declarations, and turning a stop or a syntax error into a PackageError naming the part.
#pragma once

#include <expat.h>

#include <exception>
#include <string>
#include <string_view>

namespace quilmark::xlsx {

// An element or attribute name as expat reports it with namespace triplets.
struct QName {
  std::string_view uri;
  std::string_view local;
  std::string_view prefix;
};
// From "uri\x01local\x01prefix", "uri\x01local" or just "local".
QName Split(const char* name);
// "prefix:local", or "local".
std::string Qualified(const QName& q);
// The value of an unqualified attribute, or nullptr.
const char* Attribute(const char** attributes, const char* local);

// With `namespaces`, names come as triplets (Split); without, as written ("x:row"), which is much
// faster for the large parts: there the prefix of the main namespace is learnt from the root
// element (LearnMainPrefix).
class ExpatParse {
 public:
  ExpatParse(std::string part, bool namespaces);
  virtual ~ExpatParse();
  ExpatParse(const ExpatParse&) = delete;
  ExpatParse& operator=(const ExpatParse&) = delete;

  // Stops the parse with a reason, which follows the part's name in the error.
  void Fail(std::string reason);

  // Returns false when a handler suspended the parse (the rest of `data` is left unread).
  // Throws PackageError, or what a handler run through Guarded threw.
  bool Feed(const char* data, size_t length, bool last);

 protected:
  // Runs a handler's work so that nothing it throws unwinds through expat, whose own allocations
  // would then leak: the parse stops, and Feed throws it once expat has returned.
  template <typename Work>
  void Guarded(const Work& work) noexcept {
    try {
      work();
    } catch (...) {
      if (!caught_) caught_ = std::current_exception();
      XML_StopParser(parser_, XML_FALSE);
    }
  }

  // A fresh parser without namespace processing in place of the current one.
  void ReplaceParser();
  [[noreturn]] void ThrowError();

  // From the root element's attributes: the prefix bound to the main namespace ("" for the
  // default namespace, and when none is bound, so that unqualified names count as main).
  void LearnMainPrefix(const char** attributes);
  // The local name of an element of the main namespace. Without a prefix it is the name itself:
  // a prefixed name of another namespace then matches none of the names looked for.
  std::string_view MainLocal(const char* name) const;

  XML_Parser parser_;
  std::string part_;
  std::string failure_;
  std::string main_prefix_;
  bool root_seen_ = false;

 private:
  std::exception_ptr caught_;  // what a guarded handler threw
  void RefuseDeclarations();
};

}  // namespace quilmark::xlsx
