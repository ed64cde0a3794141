#include "src/host/xlsx/read/row_scan.h"

#include <string_view>

#include "src/host/xlsx/read/cell_reading.h"
#include "src/host/xlsx/read/sheet_model.h"
#include "src/host/xlsx/read/tag_scan.h"

namespace quilmark::xlsx {
namespace {

using tag_scan::Equal;

// Deeper than this inside a run's properties or a phonetic run is not a plain sheet.
constexpr int kMaxDepth = 32;

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
  // The text at `at`, which lies in the scanned text, for changing it in place.
  char* Writable(const char* at) const { return text_ + (at - text_); }

  // The value of the tag's attribute `wanted`, normalised as XML does (each line end, tab and
  // line feed a space) and NUL-terminated in place; nullptr when the tag has none.
  const char* Value(ScannedTag& tag, std::string_view wanted) const {
    for (int i = 0; i < tag.count; ++i) {
      TagAttribute& a = tag.attributes[i];
      if (!Equal(a.Name(), wanted)) continue;
      char* const value = Writable(a.value);
      if (a.spaced) {
        char* out = value;
        for (const char* in = a.value; in < a.value_end; ++in) {
          if (*in == '\r' && in + 1 < a.value_end && in[1] == '\n') ++in;
          *out++ = tag_scan::Has(*in, tag_scan::kSpace) ? ' ' : *in;
        }
        a.value_end = out;
        a.spaced = false;
      }
      *Writable(a.value_end) = '\0';
      return value;
    }
    return nullptr;
  }

  // The byte `k` places on, NUL beyond the end of the text: the scanner reads nothing past it.
  char Peek(size_t k = 0) const { return k < static_cast<size_t>(end_ - at_) ? at_[k] : '\0'; }
  void SkipSpace() { at_ = tag_scan::SkipSpace(at_, end_); }

  // Moves the cursor to `next` if the tag scanner read something there.
  bool MoveTo(const char* next) {
    if (next == nullptr) return false;
    at_ = next;
    return true;
  }
  bool StartTag(ScannedTag& tag) { return MoveTo(tag_scan::StartTag(at_, end_, tag)); }
  bool EndTag(std::string_view name) { return MoveTo(tag_scan::EndTag(at_, end_, name)); }

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
  bool Text(const ScannedTag& tag, std::string_view* text) {
    if (tag.empty) {
      if (text != nullptr) *text = {};
      return true;
    }
    char* const from = Writable(at_);
    bool carriage_return;
    if (!ToMarkup(carriage_return)) return false;
    char* const lt = Writable(at_);
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
    ScannedTag tag;
    if (!StartTag(tag) || !Equal(tag.name, names_.row)) return false;
    row.r = Value(tag, "r");
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
    ScannedTag tag;
    if (!StartTag(tag) || !Equal(tag.name, names_.cell)) return false;
    CellToken cell;
    cell.r = Value(tag, "r");
    cell.t = Value(tag, "t");
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
    ScannedTag tag;
    if (!StartTag(tag)) return false;
    if (Equal(tag.name, names_.value)) {
      if (cell.has_value) return false;
      cell.has_value = true;
      return Text(tag, &cell.value);
    }
    if (Equal(tag.name, names_.formula)) {
      if (cell.flags & kHasFormula) return false;
      cell.flags |= kHasFormula;
      const char* ref = Value(tag, "ref");
      const char* si = Value(tag, "si");
      if (SharedFormulaRole(Value(tag, "t"), ref, si) != SharedRole::kDefinition) {
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
      ScannedTag tag;
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
      ScannedTag tag;
      if (!StartTag(tag)) return false;
      if (Equal(tag.name, names_.text)) {
        if (!AppendText(tag)) return false;
      } else if (!Equal(tag.name, names_.run_properties) || !Skip(tag, false, 0)) {
        return false;
      }
    }
  }

  bool AppendText(const ScannedTag& tag) {
    std::string_view text;
    if (!Text(tag, &text)) return false;
    out_.inline_text += text;
    return true;
  }

  // Passes over an element's content, checking only that it is well formed. A text element
  // inside it is refused unless `texts_ignored` (in a phonetic run): the streaming parse would
  // take its text as the cell's.
  bool Skip(const ScannedTag& tag, bool texts_ignored, int depth) {
    if (tag.empty) return true;
    if (depth > kMaxDepth) return false;
    for (;;) {
      bool carriage_return;
      if (!ToMarkup(carriage_return)) return false;
      if (AtEndTag()) return EndTag(tag.name);
      ScannedTag child;
      if (!StartTag(child) || (Equal(child.name, names_.text) && !texts_ignored) ||
          !Skip(child, texts_ignored, depth + 1)) {
        return false;
      }
    }
  }

  const RowScanner::Names& names_;
  char* const text_;
  const char* at_;
  const char* const end_;
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
