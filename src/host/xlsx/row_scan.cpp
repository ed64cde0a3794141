#include "src/host/xlsx/row_scan.h"

#include <array>
#include <cstring>

#include "src/host/xlsx/cell_reading.h"
#include "src/host/xlsx/sheet_model.h"

namespace quilmark::xlsx {
namespace {

// Name characters as any XML parser takes them: ASCII letters, digits and "_:.-", not starting
// with a digit, '.' or '-'. A name with other characters (XML allows many above ASCII) is left
// to the streaming parse, which decides.
enum : uint8_t { kNameChar = 1, kNameStart = 2, kSpace = 4 };

constexpr std::array<uint8_t, 256> kCharClass = [] {
  std::array<uint8_t, 256> table{};
  for (int c = 0; c < 256; ++c) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
    if (letter) table[c] |= kNameStart | kNameChar;
    if ((c >= '0' && c <= '9') || c == '-' || c == '.') table[c] |= kNameChar;
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') table[c] |= kSpace;
  }
  return table;
}();

bool Has(char c, uint8_t kind) { return (kCharClass[static_cast<unsigned char>(c)] & kind) != 0; }

// Deeper than this inside a run's properties or a phonetic run is not a plain sheet.
constexpr int kMaxDepth = 32;
// Likewise more attributes on one element.
constexpr int kMaxAttributes = 32;

// Left uninitialised in a tag until read (a tag has room for many).
struct Attribute {
  const char* name;
  size_t name_length;
  char* value;
  char* value_end;  // the closing quote

  bool Named(std::string_view wanted) const {
    return name_length == wanted.size() && std::memcmp(name, wanted.data(), wanted.size()) == 0;
  }
};

// A start tag as read: its name, attributes and whether it closes itself.
struct Tag {
  std::string_view name;
  bool empty = false;
  int count = 0;
  Attribute attributes[kMaxAttributes];

  // The value of the attribute `name`, normalised as XML does (each line end, tab and line feed
  // a space) and NUL-terminated in place; nullptr when the tag has none.
  const char* Value(std::string_view wanted) {
    for (int i = 0; i < count; ++i) {
      Attribute& a = attributes[i];
      if (!a.Named(wanted)) continue;
      char* out = a.value;
      for (const char* in = a.value; in < a.value_end; ++in) {
        if (*in == '\r' && in + 1 < a.value_end && in[1] == '\n') ++in;
        *out++ = Has(*in, kSpace) ? ' ' : *in;
      }
      *out = '\0';
      a.value_end = out;
      return a.value;
    }
    return nullptr;
  }
};

// A text with its line ends normalised in place ("\r\n" and a lone "\r" become "\n").
std::string_view Normalised(char* begin, char* end) {
  if (std::memchr(begin, '\r', static_cast<size_t>(end - begin)) == nullptr) {
    return {begin, static_cast<size_t>(end - begin)};
  }
  char* out = begin;
  for (const char* in = begin; in < end; ++in) {
    if (*in == '\r') {
      if (in + 1 < end && in[1] == '\n') ++in;
      *out++ = '\n';
    } else {
      *out++ = *in;
    }
  }
  return {begin, static_cast<size_t>(out - begin)};
}

// One scan of a text: a cursor and the tokens so far.
class Pass {
 public:
  Pass(const RowScanner::Names& names, char* text, size_t length, uint64_t base, ScannedRows& out)
      : names_(names), text_(text), at_(text), end_(text + length), base_(base), out_(out) {}

  bool Rows() {
    for (;;) {
      SkipSpace();
      if (at_ == end_) return true;
      if (*at_ != '<' || !Row()) return false;
    }
  }

 private:
  bool SkipSpace() {
    const char* const from = at_;
    while (Has(*at_, kSpace)) ++at_;
    return at_ != from;
  }

  std::string_view Name() {
    const char* const from = at_;
    if (!Has(*at_, kNameStart)) return {};
    while (Has(*++at_, kNameChar)) {
    }
    return {from, static_cast<size_t>(at_ - from)};
  }

  // Reads the start tag at the cursor's "<".
  bool StartTag(Tag& tag) {
    ++at_;
    tag.name = Name();
    if (tag.name.empty()) return false;
    tag.count = 0;
    for (;;) {
      const bool spaced = SkipSpace();
      if (*at_ == '>' || (*at_ == '/' && at_[1] == '>')) {
        tag.empty = *at_ == '/';
        at_ += tag.empty ? 2 : 1;
        return true;
      }
      if (!spaced || tag.count == kMaxAttributes || !NextAttribute(tag)) return false;
    }
  }

  bool NextAttribute(Tag& tag) {
    Attribute& a = tag.attributes[tag.count];
    const std::string_view name = Name();
    if (name.empty()) return false;
    a.name = name.data();
    a.name_length = name.size();
    SkipSpace();
    if (*at_++ != '=') return false;
    SkipSpace();
    const char quote = *at_;
    if (quote != '"' && quote != '\'') return false;
    a.value = ++at_;
    a.value_end = static_cast<char*>(std::memchr(at_, quote, static_cast<size_t>(end_ - at_)));
    if (a.value_end == nullptr) return false;
    const size_t length = static_cast<size_t>(a.value_end - a.value);
    if (std::memchr(a.value, '<', length) != nullptr) return false;
    at_ = a.value_end + 1;
    for (int i = 0; i < tag.count; ++i) {
      if (tag.attributes[i].Named(name)) return false;  // given twice
    }
    ++tag.count;
    return true;
  }

  // Reads the end tag "</name>" (white space allowed before ">") at the cursor.
  bool EndTag(std::string_view name) {
    if (at_[1] != '/' || static_cast<size_t>(end_ - at_) < name.size() + 3 ||
        std::memcmp(at_ + 2, name.data(), name.size()) != 0) {
      return false;
    }
    at_ += 2 + name.size();
    SkipSpace();
    return *at_++ == '>';
  }

  // Moves to the "<" of the next child or end tag; false when text comes first.
  bool NextMarkup() {
    SkipSpace();
    return *at_ == '<';
  }
  bool AtEndTag() const { return at_[1] == '/'; }

  // The text of an element that holds nothing but text, up to its end tag; `text` may be null.
  bool Text(const Tag& tag, std::string_view* text) {
    if (tag.empty) {
      if (text != nullptr) *text = {};
      return true;
    }
    char* const from = at_;
    char* const lt = static_cast<char*>(std::memchr(at_, '<', static_cast<size_t>(end_ - at_)));
    if (lt == nullptr) return false;
    at_ = lt;
    if (!EndTag(tag.name)) return false;
    if (text != nullptr) *text = Normalised(from, lt);
    return true;
  }

  uint64_t Offset() const { return base_ + static_cast<uint64_t>(at_ - text_); }

  bool Row() {
    RowToken row;
    row.begin = Offset();
    Tag tag;
    if (!StartTag(tag) || tag.name != names_.row) return false;
    row.r = tag.Value("r");
    row.first_cell = static_cast<uint32_t>(out_.cells.size());
    if (!tag.empty) {
      for (;;) {
        if (!NextMarkup()) return false;
        if (AtEndTag()) {
          if (!EndTag(names_.row)) return false;
          break;
        }
        if (!Cell()) return false;
      }
    }
    row.end = Offset();
    row.cell_count = static_cast<uint32_t>(out_.cells.size()) - row.first_cell;
    out_.rows.push_back(row);
    return true;
  }

  bool Cell() {
    Tag tag;
    if (!StartTag(tag) || tag.name != names_.cell) return false;
    CellToken cell;
    cell.r = tag.Value("r");
    cell.t = tag.Value("t");
    if (!tag.empty) {
      for (;;) {
        if (!NextMarkup()) return false;
        if (AtEndTag()) {
          if (!EndTag(names_.cell)) return false;
          break;
        }
        if (!CellPart(cell)) return false;
      }
    }
    out_.cells.push_back(cell);
    return true;
  }

  // A <v>, <f> or <is> child of a cell, each at most once.
  bool CellPart(CellToken& cell) {
    Tag tag;
    if (!StartTag(tag)) return false;
    if (tag.name == names_.value) {
      if (cell.has_value) return false;
      cell.has_value = true;
      return Text(tag, &cell.value);
    }
    if (tag.name == names_.formula) {
      if (cell.flags & kHasFormula) return false;
      cell.flags |= kHasFormula;
      const char* ref = tag.Value("ref");
      const char* si = tag.Value("si");
      if (SharedFormulaRole(tag.Value("t"), ref, si) != SharedRole::kDefinition) {
        return Text(tag, nullptr);
      }
      // The cell that defines a shared formula: kept so that its group survives a write.
      cell.flags |= kSharedMaster;
      cell.si = si;
      cell.ref = ref;
      return Text(tag, &cell.formula);
    }
    if (tag.name != names_.inline_string || cell.has_inline) return false;
    cell.has_inline = true;
    cell.inline_begin = static_cast<uint32_t>(out_.inline_text.size());
    if (!tag.empty && !InlineString()) return false;
    cell.inline_length = static_cast<uint32_t>(out_.inline_text.size()) - cell.inline_begin;
    return true;
  }

  // The plain text of an <is>: its texts and its runs' texts, phonetic runs left out.
  bool InlineString() {
    for (;;) {
      if (!NextMarkup()) return false;
      if (AtEndTag()) return EndTag(names_.inline_string);
      Tag tag;
      if (!StartTag(tag)) return false;
      if (tag.name == names_.text) {
        if (!AppendText(tag)) return false;
      } else if (tag.name == names_.run) {
        if (!tag.empty && !Run()) return false;
      } else if (tag.name == names_.phonetic) {
        if (!Skip(tag, true, 0)) return false;
      } else if (tag.name != names_.phonetic_properties || !Skip(tag, false, 0)) {
        return false;
      }
    }
  }

  bool Run() {
    for (;;) {
      if (!NextMarkup()) return false;
      if (AtEndTag()) return EndTag(names_.run);
      Tag tag;
      if (!StartTag(tag)) return false;
      if (tag.name == names_.text) {
        if (!AppendText(tag)) return false;
      } else if (tag.name != names_.run_properties || !Skip(tag, false, 0)) {
        return false;
      }
    }
  }

  bool AppendText(const Tag& tag) {
    std::string_view text;
    if (!Text(tag, &text)) return false;
    out_.inline_text += text;
    return true;
  }

  // Passes over an element's content, checking only that it is well formed. A text element
  // inside it is refused unless `texts_ignored` (in a phonetic run): the streaming parse would
  // take its text as the cell's.
  bool Skip(const Tag& tag, bool texts_ignored, int depth) {
    if (tag.empty) return true;
    if (depth > kMaxDepth) return false;
    for (;;) {
      at_ = static_cast<char*>(std::memchr(at_, '<', static_cast<size_t>(end_ - at_)));
      if (at_ == nullptr) return false;
      if (AtEndTag()) return EndTag(tag.name);
      Tag child;
      if (!StartTag(child) || (child.name == names_.text && !texts_ignored) ||
          !Skip(child, texts_ignored, depth + 1)) {
        return false;
      }
    }
  }

  const RowScanner::Names& names_;
  char* const text_;
  char* at_;
  char* const end_;
  const uint64_t base_;
  ScannedRows& out_;
};

}  // namespace

void ScannedRows::Clear() {
  rows.clear();
  cells.clear();
  inline_text.clear();
}

RowScanner::RowScanner(std::string_view prefix) {
  const std::string p = prefix.empty() ? std::string() : std::string(prefix) + ":";
  names_ = {p + "row", p + "c", p + "v",   p + "f",   p + "is",
            p + "t",   p + "r", p + "rPr", p + "rPh", p + "phoneticPr"};
}

bool RowScanner::Scan(char* text, size_t length, uint64_t base, ScannedRows& out) const {
  out.Clear();
  return Pass(names_, text, length, base, out).Rows();
}

}  // namespace quilmark::xlsx
