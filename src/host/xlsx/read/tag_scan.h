// The tag scanner both fast readers of rows use (the chunked reader's row scan and the writer's
// re-reading of a row): it reads one start or end tag of XML markup at a time, its qualified name
// and its attributes. A name is read by one rule for both, so that neither takes
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

// More attributes than this on one element is not a plain sheet: the tag is refused.
constexpr int kMaxTagAttributes = 32;

// Left uninitialised in a tag until read: a tag has room for many, and the row scan declares a
// tag for every element, so nothing here may have a constructor (a string_view would have one).
struct TagAttribute {
  const char* name_begin;
  size_t name_length;
  const char* value;
  const char* value_end;  // the closing quote
  bool spaced;            // the value holds a tab or a line end

  std::string_view Name() const { return {name_begin, name_length}; }
};

// A tag as read: its name, attributes, and whether it is an end tag or closes itself.
struct ScannedTag {
  std::string_view name;
  bool end_tag = false;
  bool empty = false;
  int count = 0;
  TagAttribute attributes[kMaxTagAttributes];
};

namespace tag_scan {

// kValueStop marks what ends or needs a look in an attribute value: its quotes, "<" (which XML
// forbids there), "&" (a reference, left to the parse) and the white space XML turns into spaces.
// kRunOn marks what may not follow a name read: a second ":", or a byte of a character above
// ASCII that could continue it.
enum : uint8_t { kNameChar = 1, kNameStart = 2, kSpace = 4, kValueStop = 8, kRunOn = 16 };

constexpr std::array<uint8_t, 256> kCharClass = [] {
  std::array<uint8_t, 256> table{};
  for (int c = 0; c < 256; ++c) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    if (letter) table[c] |= kNameStart | kNameChar;
    if ((c >= '0' && c <= '9') || c == '-' || c == '.') table[c] |= kNameChar;
    if (c == ':' || c >= 0x80) table[c] |= kRunOn;
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

// Each function reads from `p` and returns where it stopped, never reading at or past `end`;
// those that read a tag or a name return nullptr when there is none by the rules above. The
// cursor is passed by value so that a caller's own cursor can stay in a register.

inline const char* SkipSpace(const char* p, const char* end) {
  while (p < end && Has(*p, kSpace)) ++p;
  return p;
}

// The end of the unprefixed part of a name at `p`: `p` itself when none starts there.
inline const char* NamePart(const char* p, const char* end) {
  if (p == end || !Has(*p, kNameStart)) return p;
  while (++p < end && Has(*p, kNameChar)) {
  }
  return p;
}

// The end of the qualified name at `p`; nullptr when none starts there, or when it runs on into
// a second ":" or a byte above ASCII.
inline const char* Name(const char* p, const char* end) {
  const char* q = NamePart(p, end);
  if (q == p) return nullptr;
  if (q < end && *q == ':') {
    const char* const local = q + 1;
    q = NamePart(local, end);
    if (q == local) return nullptr;
  }
  if (q < end && Has(*q, kRunOn)) return nullptr;
  return q;
}

// name = "value" or 'value' at `p`, added to the tag; refused if the tag has it already.
inline const char* Attribute(const char* p, const char* end, ScannedTag& tag) {
  const char* const name_end = Name(p, end);
  if (name_end == nullptr) return nullptr;
  TagAttribute& a = tag.attributes[tag.count];
  a.name_begin = p;
  a.name_length = static_cast<size_t>(name_end - p);
  p = SkipSpace(name_end, end);
  if (p == end || *p != '=') return nullptr;
  p = SkipSpace(p + 1, end);
  if (p == end || (*p != '"' && *p != '\'')) return nullptr;
  const char quote = *p;
  a.value = ++p;
  bool spaced = false;
  for (;; ++p) {
    while (p < end && !Has(*p, kValueStop)) ++p;
    if (p == end || *p == '<' || *p == '&') return nullptr;
    if (*p == quote) break;
    spaced |= Has(*p, kSpace);
  }
  a.value_end = p;
  a.spaced = spaced;
  for (int i = 0; i < tag.count; ++i) {
    if (Equal(tag.attributes[i].Name(), a.Name())) return nullptr;  // given twice
  }
  ++tag.count;
  return p + 1;
}

// The start tag at `p` ("<"); returns one past its ">".
inline const char* StartTag(const char* p, const char* end, ScannedTag& tag) {
  const char* const name_end = Name(++p, end);
  if (name_end == nullptr) return nullptr;
  tag.name = {p, static_cast<size_t>(name_end - p)};
  tag.end_tag = false;
  tag.count = 0;
  p = name_end;
  for (;;) {
    const char* const after_space = SkipSpace(p, end);
    if (after_space == end) return nullptr;
    const char c = *after_space;
    if (c == '>' || (c == '/' && after_space + 1 < end && after_space[1] == '>')) {
      tag.empty = c == '/';
      return after_space + (tag.empty ? 2 : 1);
    }
    if (after_space == p || tag.count == kMaxTagAttributes) return nullptr;
    p = Attribute(after_space, end, tag);
    if (p == nullptr) return nullptr;
  }
}

// The end tag "</name>" at `p`, white space allowed before ">"; returns one past the ">".
inline const char* EndTag(const char* p, const char* end, std::string_view name) {
  if (static_cast<size_t>(end - p) < name.size() + 3 || p[1] != '/' ||
      !Equal({p + 2, name.size()}, name)) {
    return nullptr;
  }
  p = SkipSpace(p + 2 + name.size(), end);
  return p < end && *p == '>' ? p + 1 : nullptr;
}

// The start or end tag at `p` ("<"), whatever its name.
inline const char* AnyTag(const char* p, const char* end, ScannedTag& tag) {
  if (end - p < 2 || p[1] != '/') return StartTag(p, end, tag);
  p += 2;
  const char* const name_end = Name(p, end);
  if (name_end == nullptr) return nullptr;
  tag.name = {p, static_cast<size_t>(name_end - p)};
  tag.end_tag = true;
  tag.empty = false;
  tag.count = 0;
  p = SkipSpace(name_end, end);
  return p < end && *p == '>' ? p + 1 : nullptr;
}

}  // namespace tag_scan

}  // namespace quilmark::xlsx
