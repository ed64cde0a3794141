// The tag scanner both fast readers of rows use (the chunked reader's row scan and the writer's
// re-reading of a row): a cursor over XML markup that reads one start or end tag at a time, its
// qualified name and its attributes. A name is read by one rule for both, so that neither takes
// a name the other refuses: an ASCII name, optionally with one prefix ("x:row"), made of letters,
// digits and "_.-", each part starting with a letter or "_". XML allows many more characters in
// names; a tag using them is refused here and left to the streaming parse, which decides.
//
// The scanner checks the form of a tag, not what it means: whether an element is expected,
// namespace declarations and text between tags are for its callers. It never reads past the end
// of its text. Inline, as the row scan calls it for every tag of a million-row sheet.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quilmark::xlsx {

namespace tag_scan {

// kValueStop marks what ends or needs a look in an attribute value: its quotes, "<" (which XML
// forbids there), "&" (a reference, left to the parse) and the white space XML turns into spaces.
enum : uint8_t { kNameChar = 1, kNameStart = 2, kSpace = 4, kValueStop = 8 };

constexpr std::array<uint8_t, 256> kCharClass = [] {
  std::array<uint8_t, 256> table{};
  for (int c = 0; c < 256; ++c) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    if (letter) table[c] |= kNameStart | kNameChar;
    if ((c >= '0' && c <= '9') || c == '-' || c == '.') table[c] |= kNameChar;
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') table[c] |= kSpace;
    if (c == '"' || c == '\'' || c == '<' || c == '&' || c == '\t' || c == '\n' || c == '\r') {
      table[c] |= kValueStop;
    }
  }
  return table;
}();

inline bool Has(char c, uint8_t kind) {
  return (kCharClass[static_cast<unsigned char>(c)] & kind) != 0;
}

// Names are short: comparing them in place is faster than calling memcmp.
inline bool Equal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace tag_scan

// More attributes than this on one element is not a plain sheet: the tag is refused.
constexpr int kMaxTagAttributes = 32;

// Left uninitialised in a tag until read (a tag has room for many).
struct TagAttribute {
  std::string_view name;
  const char* value;
  const char* value_end;  // the closing quote
  bool spaced;            // the value holds a tab or a line end
};

// A tag as read: its name, attributes, and whether it is an end tag or closes itself.
struct ScannedTag {
  std::string_view name;
  bool end_tag = false;
  bool empty = false;
  int count = 0;
  TagAttribute attributes[kMaxTagAttributes];
};

class TagScanner {
 public:
  TagScanner(const char* begin, const char* end) : at_(begin), end_(end) {}

  const char* At() const { return at_; }
  const char* End() const { return end_; }
  void Seek(const char* at) { at_ = at; }
  bool AtEnd() const { return at_ == end_; }

  // The byte `k` places on, NUL beyond the end of the text.
  char Peek(size_t k = 0) const { return k < static_cast<size_t>(end_ - at_) ? at_[k] : '\0'; }

  bool SkipSpace() {
    const char* const from = at_;
    while (at_ < end_ && tag_scan::Has(*at_, tag_scan::kSpace)) ++at_;
    return at_ != from;
  }

  // The qualified name at the cursor, moved past; empty (the cursor somewhere in it) when no
  // name by the rule above starts there, or one runs on into a second ":" or a byte above ASCII.
  std::string_view Name() {
    const char* const from = at_;
    if (!NamePart()) return {};
    if (Peek() == ':') {
      ++at_;
      if (!NamePart()) return {};
    }
    const char next = Peek();
    if (next == ':' || static_cast<unsigned char>(next) >= 0x80) return {};
    return {from, static_cast<size_t>(at_ - from)};
  }

  // Reads the start tag at the cursor's "<" and moves past it; false when it is not one.
  bool StartTag(ScannedTag& tag) {
    ++at_;
    tag.end_tag = false;
    tag.name = Name();
    if (tag.name.empty()) return false;
    tag.count = 0;
    for (;;) {
      const bool spaced = SkipSpace();
      const char c = Peek();
      if (c == '>' || (c == '/' && Peek(1) == '>')) {
        tag.empty = c == '/';
        at_ += tag.empty ? 2 : 1;
        return true;
      }
      if (!spaced || tag.count == kMaxTagAttributes || !NextAttribute(tag)) return false;
    }
  }

  // Reads the end tag "</name>" (white space allowed before ">") at the cursor.
  bool EndTag(std::string_view name) {
    if (Peek(1) != '/' || static_cast<size_t>(end_ - at_) < name.size() + 3 ||
        !tag_scan::Equal({at_ + 2, name.size()}, name)) {
      return false;
    }
    at_ += 2 + name.size();
    SkipSpace();
    if (Peek() != '>') return false;
    ++at_;
    return true;
  }

  // Reads the start or end tag at the cursor's "<", whatever its name.
  bool AnyTag(ScannedTag& tag) {
    if (Peek(1) != '/') return StartTag(tag);
    at_ += 2;
    tag.end_tag = true;
    tag.empty = false;
    tag.count = 0;
    tag.name = Name();
    SkipSpace();
    if (tag.name.empty() || Peek() != '>') return false;
    ++at_;
    return true;
  }

 private:
  // An unprefixed part of a name.
  bool NamePart() {
    if (!tag_scan::Has(Peek(), tag_scan::kNameStart)) return false;
    while (++at_ < end_ && tag_scan::Has(*at_, tag_scan::kNameChar)) {
    }
    return true;
  }

  // name = "value" or 'value'; refused if the name was given before in the tag.
  bool NextAttribute(ScannedTag& tag) {
    TagAttribute& a = tag.attributes[tag.count];
    a.name = Name();
    if (a.name.empty()) return false;
    SkipSpace();
    if (Peek() != '=') return false;
    ++at_;
    SkipSpace();
    const char quote = Peek();
    if (quote != '"' && quote != '\'') return false;
    a.value = ++at_;
    a.spaced = false;
    for (;; ++at_) {
      while (at_ < end_ && !tag_scan::Has(*at_, tag_scan::kValueStop)) ++at_;
      if (at_ == end_ || *at_ == '<' || *at_ == '&') return false;
      if (*at_ == quote) break;
      a.spaced |= tag_scan::Has(*at_, tag_scan::kSpace);
    }
    a.value_end = at_++;
    for (int i = 0; i < tag.count; ++i) {
      if (tag_scan::Equal(tag.attributes[i].name, a.name)) return false;  // given twice
    }
    ++tag.count;
    return true;
  }

  const char* at_;
  const char* end_;
};

}  // namespace quilmark::xlsx
