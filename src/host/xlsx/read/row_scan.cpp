#include "src/host/xlsx/read/row_scan.h"

#include <array>
#include <cstring>

#include "src/host/xlsx/read/cell_reading.h"
#include "src/host/xlsx/read/sheet_model.h"

namespace quilmark::xlsx {
namespace {

// Name characters as any XML parser takes them: ASCII letters, digits and "_:.-", not starting
// with a digit, '.' or '-'. A name with other characters (XML allows many above ASCII) is left
// to the streaming parse, which decides. kValueStop marks what ends or needs a look in an
// attribute value: its quotes, "<" (which XML forbids there) and the white space XML turns into
// spaces.
enum : uint8_t { kNameChar = 1, kNameStart = 2, kSpace = 4, kValueStop = 8 };

constexpr std::array<uint8_t, 256> kCharClass = [] {
  std::array<uint8_t, 256> table{};
  for (int c = 0; c < 256; ++c) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
    if (letter) table[c] |= kNameStart | kNameChar;
    if ((c >= '0' && c <= '9') || c == '-' || c == '.') table[c] |= kNameChar;
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') table[c] |= kSpace;
    if (c == '"' || c == '\'' || c == '<' || c == '\t' || c == '\n' || c == '\r') {
      table[c] |= kValueStop;
    }
  }
  return table;
}();

bool Has(char c, uint8_t kind) { return (kCharClass[static_cast<unsigned char>(c)] & kind) != 0; }

// Names are short: comparing them in place is faster than calling memcmp.
bool Equal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

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
  bool spaced;      // the value holds a tab or a line end
};

// A start tag as read: its name, attributes and whether it closes itself.
struct Tag {
  std::string_view name;
  bool empty = false;
  int count = 0;
  Attribute attributes[kMaxAttributes];

  // The value of the attribute `wanted`, normalised as XML does (each line end, tab and line
  // feed a space) and NUL-terminated in place; nullptr when the tag has none.
  const char* Value(std::string_view wanted) {
    for (int i = 0; i < count; ++i) {
      Attribute& a = attributes[i];
      if (!Equal({a.name, a.name_length}, wanted)) continue;
      if (a.spaced) {
        char* out = a.value;
        for (const char* in = a.value; in < a.value_end; ++in) {
          if (*in == '\r' && in + 1 < a.value_end && in[1] == '\n') ++in;
          *out++ = Has(*in, kSpace) ? ' ' : *in;
        }
        a.value_end = out;
        a.spaced = false;
      }
      *a.value_end = '\0';
      return a.value;
    }
    return nullptr;
  }
};

// A text with its line ends normalised in place ("\r\n" and a lone "\r" become "\n").
std::string_view Normalised(char* begin, char* end) {
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
      if (Peek() != '<' || !Row()) return false;
    }
  }

 private:
  // The byte `k` places on, NUL beyond the end of the text: the scanner reads nothing past it.
  char Peek(size_t k = 0) const { return k < static_cast<size_t>(end_ - at_) ? at_[k] : '\0'; }

  bool SkipSpace() {
    const char* const from = at_;
    while (at_ < end_ && Has(*at_, kSpace)) ++at_;
    return at_ != from;
  }

  std::string_view Name() {
    const char* const from = at_;
    if (!Has(Peek(), kNameStart)) return {};
    while (++at_ < end_ && Has(*at_, kNameChar)) {
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
      const char c = Peek();
      if (c == '>' || (c == '/' && Peek(1) == '>')) {
        tag.empty = c == '/';
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
    if (Peek() != '=') return false;
    ++at_;
    SkipSpace();
    const char quote = Peek();
    if (quote != '"' && quote != '\'') return false;
    a.value = ++at_;
    a.spaced = false;
    for (;; ++at_) {
      while (at_ < end_ && !Has(*at_, kValueStop)) ++at_;
      if (at_ == end_ || *at_ == '<') return false;
      if (*at_ == quote) break;
      a.spaced |= Has(*at_, kSpace);
    }
    a.value_end = at_++;
    for (int i = 0; i < tag.count; ++i) {
      const Attribute& other = tag.attributes[i];
      if (Equal({other.name, other.name_length}, name)) return false;  // given twice
    }
    ++tag.count;
    return true;
  }

  // Reads the end tag "</name>" (white space allowed before ">") at the cursor.
  bool EndTag(std::string_view name) {
    if (Peek(1) != '/' || static_cast<size_t>(end_ - at_) < name.size() + 3 ||
        !Equal({at_ + 2, name.size()}, name)) {
      return false;
    }
    at_ += 2 + name.size();
    SkipSpace();
    if (Peek() != '>') return false;
    ++at_;
    return true;
  }

  // Moves to the "<" of the next child or end tag; false when text comes first.
  bool NextMarkup() {
    SkipSpace();
    return Peek() == '<';
  }
  bool AtEndTag() const { return Peek(1) == '/'; }

  // Moves to the next "<"; false when there is none. Notes whether a "\r" came first.
  bool ToMarkup(bool& carriage_return) {
    carriage_return = false;
    for (; at_ < end_; ++at_) {
      if (*at_ == '<') return true;
      carriage_return |= *at_ == '\r';
    }
    return false;
  }

  // The text of an element that holds nothing but text, up to its end tag; `text` may be null.
  bool Text(const Tag& tag, std::string_view* text) {
    if (tag.empty) {
      if (text != nullptr) *text = {};
      return true;
    }
    char* const from = at_;
    bool carriage_return;
    if (!ToMarkup(carriage_return)) return false;
    char* const lt = at_;
    if (!EndTag(tag.name)) return false;
    if (text != nullptr) {
      *text = carriage_return ? Normalised(from, lt)
                              : std::string_view(from, static_cast<size_t>(lt - from));
    }
    return true;
  }

  uint64_t Offset() const { return base_ + static_cast<uint64_t>(at_ - text_); }

  bool Row() {
    RowToken row;
    row.begin = Offset();
    Tag tag;
    if (!StartTag(tag) || !Equal(tag.name, names_.row)) return false;
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
    if (!StartTag(tag) || !Equal(tag.name, names_.cell)) return false;
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
    if (Equal(tag.name, names_.value)) {
      if (cell.has_value) return false;
      cell.has_value = true;
      return Text(tag, &cell.value);
    }
    if (Equal(tag.name, names_.formula)) {
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
    if (!Equal(tag.name, names_.inline_string) || cell.has_inline) return false;
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
      if (Equal(tag.name, names_.text)) {
        if (!AppendText(tag)) return false;
      } else if (Equal(tag.name, names_.run)) {
        if (!tag.empty && !Run()) return false;
      } else if (Equal(tag.name, names_.phonetic)) {
        if (!Skip(tag, true, 0)) return false;
      } else if (!Equal(tag.name, names_.phonetic_properties) || !Skip(tag, false, 0)) {
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
      if (Equal(tag.name, names_.text)) {
        if (!AppendText(tag)) return false;
      } else if (!Equal(tag.name, names_.run_properties) || !Skip(tag, false, 0)) {
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
      bool carriage_return;
      if (!ToMarkup(carriage_return)) return false;
      if (AtEndTag()) return EndTag(tag.name);
      Tag child;
      if (!StartTag(child) || (Equal(child.name, names_.text) && !texts_ignored) ||
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
