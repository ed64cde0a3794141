#include "src/host/xlsx/write/row_xml.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "src/host/xlsx/read/cell_reading.h"
#include "src/host/xlsx/read/expat_parse.h"
#include "src/host/xlsx/package/xml_util.h"

namespace quilmark::xlsx {
namespace {

bool IsMain(const QName& q) { return IsMainNs(q.uri); }

class RowParse : public ExpatParse {
 public:
  RowParse(RowXml& row, uint32_t offset) : ExpatParse("(row)", true), row_(row), offset_(offset) {
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, &Start, &End);
    XML_SetStartNamespaceDeclHandler(parser_, &Namespace);
  }

 private:
  uint32_t Index() const {
    return static_cast<uint32_t>(XML_GetCurrentByteIndex(parser_)) - offset_;
  }
  uint32_t Count() const { return static_cast<uint32_t>(XML_GetCurrentByteCount(parser_)); }

  static void Namespace(void* data, const char* prefix, const char* uri) {
    auto* self = static_cast<RowParse*>(data);
    if (self->depth_ == 1) {
      std::string name = prefix ? std::string("xmlns:") + prefix : std::string("xmlns");
      self->row_.declarations.emplace_back(std::move(name), uri ? uri : "");
    }
  }
  static void Start(void* data, const char* name, const char** attributes) {
    auto* self = static_cast<RowParse*>(data);
    const int depth = ++self->depth_;
    const QName q = Split(name);
    if (depth == 2) {
      self->numbering_.NextRow(nullptr);
      self->row_.qname = Qualified(q);
      for (const char** a = attributes; *a != nullptr; a += 2) {
        self->row_.attributes.emplace_back(Qualified(Split(a[0])), a[1]);
      }
      self->row_.tail_begin = self->Index() + self->Count();
    } else if (depth == 3 && IsMain(q) && q.local == "c") {
      const char* r = Attribute(attributes, "r");
      const std::optional<int32_t> column = self->numbering_.NextCell(r);
      if (!column) return self->Fail("的单元格超出工作表的范围");
      RowCellXml cell;
      cell.begin = self->Index();
      cell.start_tag_end = cell.begin + self->Count();
      cell.column = *column;
      cell.qname_length = static_cast<uint32_t>(Qualified(q).size());
      cell.has_ref = RowNumbering::NamesColumn(r);
      if (!cell.has_ref) {
        for (const char** a = attributes; *a != nullptr; a += 2) {
          if (std::string_view(a[0]) != "r")
            cell.attributes.emplace_back(Qualified(Split(a[0])), a[1]);
        }
      }
      if (const char* s = Attribute(attributes, "s")) cell.style = s;
      self->row_.cells.push_back(std::move(cell));
    } else if (depth == 4 && IsMain(q) && q.local == "f" && !self->row_.cells.empty()) {
      const char* si = Attribute(attributes, "si");
      if (SharedFormulaRole(Attribute(attributes, "t"), Attribute(attributes, "ref"), si) ==
          SharedRole::kMember) {
        RowCellXml& cell = self->row_.cells.back();
        cell.shared_member = true;
        cell.shared_index = si;
        cell.formula_begin = self->Index();
        self->formula_start_length_ = self->Count();
        self->in_member_formula_ = true;
      }
    }
  }
  static void End(void* data, const char* name) {
    auto* self = static_cast<RowParse*>(data);
    const int depth = self->depth_--;
    const QName q = Split(name);
    if (depth == 4 && self->in_member_formula_) {
      const uint32_t count = self->Count();
      RowCellXml& cell = self->row_.cells.back();
      cell.formula_end =
          count == 0 ? cell.formula_begin + self->formula_start_length_ : self->Index() + count;
      self->in_member_formula_ = false;
    } else if (depth == 3 && IsMain(q) && q.local == "c") {
      const uint32_t count = self->Count();
      RowCellXml& cell = self->row_.cells.back();
      cell.end = count == 0 ? cell.start_tag_end : self->Index() + count;
      self->row_.tail_begin = cell.end;
    } else if (depth == 2) {
      const uint32_t count = self->Count();
      self->row_.tail_end = count == 0 ? self->row_.tail_begin : self->Index();
    }
  }

  RowXml& row_;
  uint32_t offset_;
  int depth_ = 0;
  RowNumbering numbering_;
  uint32_t formula_start_length_ = 0;
  bool in_member_formula_ = false;
};

}  // namespace

// The scan of a row that holds nothing but elements, text, and attributes without references or
// namespace declarations. Attribute values are looked at where they lie and copied only where
// the row keeps them.
class PlainRowScan {
 public:
  explicit PlainRowScan(const std::string& prefix)
      : cell_name_(prefix + "c"), formula_name_(prefix + "f") {}

  // false when the text is not what the scan expects.
  bool Scan(std::string_view text, RowXml& row) {
    text_ = text;
    numbering_ = RowNumbering();
    in_cell_ = in_formula_ = false;
    Tag& tag = tag_;
    if (!ReadTag(0, tag) || tag.end_tag) return false;
    row.qname.assign(tag.name);
    row.attributes.resize(tag.attributes.size());
    for (size_t k = 0; k < tag.attributes.size(); ++k) {
      row.attributes[k].first.assign(tag.attributes[k].first);
      Normalize(tag.attributes[k].second, row.attributes[k].second);
    }
    row.tail_begin = row.tail_end = static_cast<uint32_t>(tag.end);
    numbering_.NextRow(nullptr);
    if (tag.empty) return tag.end == text_.size();
    return ScanContent(tag.end, row);
  }

 private:
  struct Tag {
    std::string_view name;
    std::vector<std::pair<std::string_view, std::string_view>> attributes;  // raw values
    size_t end = 0;                                                         // one past the '>'
    bool end_tag = false;
    bool empty = false;  // "<x/>"
  };

  static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
  static bool IsBreak(char c) { return c == '\t' || c == '\n' || c == '\r'; }
  // Names are short: a plain loop beats a call to compare them.
  static bool Same(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t k = 0; k < a.size(); ++k) {
      if (a[k] != b[k]) return false;
    }
    return true;
  }

  // Where `c` next occurs from `at`: a plain loop, as the stretches between marks are short.
  size_t Next(char c, size_t at) const {
    while (at < text_.size() && text_[at] != c) ++at;
    return at < text_.size() ? at : std::string_view::npos;
  }

  // An attribute value as XML reads it, in `value`: line ends and tabs become spaces.
  static void Normalize(std::string_view raw, std::string& value) {
    value.assign(raw);
    if (std::none_of(raw.begin(), raw.end(), IsBreak)) return;
    value.clear();
    for (size_t k = 0; k < raw.size(); ++k) {
      if (raw[k] == '\r' && k + 1 < raw.size() && raw[k + 1] == '\n') continue;
      value.push_back(IsSpace(raw[k]) ? ' ' : raw[k]);
    }
  }
  static std::string Normalized(std::string_view raw) {
    std::string value;
    Normalize(raw, value);
    return value;
  }

  bool ScanContent(size_t at, RowXml& row) {
    Tag& tag = tag_;
    int depth = 1;  // the row is 1, its cells 2, their parts 3
    while ((at = Next('<', at)) != std::string_view::npos) {
      if (!ReadTag(at, tag)) return false;
      if (tag.end_tag) {
        if (--depth == 0) {
          row.tail_end = static_cast<uint32_t>(at);
          return tag.end == text_.size();
        }
        if (depth == 1 && in_cell_) EndCell(row, tag.end);
        if (depth == 2 && in_formula_) EndFormula(row, tag.end);
      } else {
        if (depth == 1 && Same(tag.name, cell_name_)) BeginCell(row, at, tag);
        if (depth == 2 && in_cell_ && Same(tag.name, formula_name_)) BeginFormula(row, at, tag);
        if (!tag.empty) ++depth;
      }
      at = tag.end;
    }
    return false;
  }

  // The tag starting at `at` ('<'). Comments, sections and instructions are left to the parse.
  bool ReadTag(size_t at, Tag& tag) const {
    tag.attributes.clear();
    tag.empty = false;
    size_t i = at + 1;
    tag.end_tag = i < text_.size() && text_[i] == '/';
    if (tag.end_tag) ++i;
    const size_t name_begin = i;
    if (i < text_.size() && (text_[i] == '!' || text_[i] == '?')) return false;
    while (i < text_.size() && !IsSpace(text_[i]) && text_[i] != '/' && text_[i] != '>') ++i;
    tag.name = text_.substr(name_begin, i - name_begin);
    for (;;) {
      while (i < text_.size() && IsSpace(text_[i])) ++i;
      if (i >= text_.size()) return false;
      if (text_[i] == '>' || (text_[i] == '/' && i + 1 < text_.size() && text_[i + 1] == '>')) {
        tag.empty = text_[i] == '/';
        tag.end = i + (tag.empty ? 2 : 1);
        return !tag.name.empty();
      }
      if (tag.end_tag || !ReadAttribute(i, tag)) return false;
    }
  }

  // An attribute at i. A declaration, or a value with a reference, is left to the parse.
  bool ReadAttribute(size_t& i, Tag& tag) const {
    const size_t name_begin = i;
    while (i < text_.size() && text_[i] != '=' && !IsSpace(text_[i])) ++i;
    const std::string_view name = text_.substr(name_begin, i - name_begin);
    if (name.starts_with("xmlns")) return false;
    while (i < text_.size() && IsSpace(text_[i])) ++i;
    if (i >= text_.size() || text_[i] != '=') return false;
    ++i;
    while (i < text_.size() && IsSpace(text_[i])) ++i;
    if (i >= text_.size() || (text_[i] != '"' && text_[i] != '\'')) return false;
    const char quote = text_[i];
    size_t close = i + 1;
    for (; close < text_.size() && text_[close] != quote; ++close) {
      if (text_[close] == '&') return false;
    }
    if (close == text_.size()) return false;
    tag.attributes.emplace_back(name, text_.substr(i + 1, close - i - 1));
    i = close + 1;
    return true;
  }

  // The normalised value of the tag's attribute `name`, kept in `buffer`; nullptr when absent.
  static const char* Find(const Tag& tag, std::string_view name, std::string& buffer) {
    for (const auto& [key, value] : tag.attributes) {
      if (Same(key, name)) {
        Normalize(value, buffer);
        return buffer.c_str();
      }
    }
    return nullptr;
  }

  void BeginCell(RowXml& row, size_t at, Tag& tag) {
    const char* r = Find(tag, "r", r_);
    const std::optional<int32_t> column = numbering_.NextCell(r);
    RowCellXml& cell = row.cells.emplace_back();
    cell.begin = static_cast<uint32_t>(at);
    cell.start_tag_end = static_cast<uint32_t>(tag.end);
    cell.column = column.value_or(0);
    cell.qname_length = static_cast<uint32_t>(tag.name.size());
    cell.has_ref = RowNumbering::NamesColumn(r);
    Find(tag, "s", cell.style);
    if (!cell.has_ref) {
      for (const auto& [name, value] : tag.attributes) {
        if (name != "r") cell.attributes.emplace_back(std::string(name), Normalized(value));
      }
    }
    in_cell_ = !tag.empty;
    if (tag.empty) EndCell(row, tag.end);
  }

  void EndCell(RowXml& row, size_t end) {
    row.cells.back().end = static_cast<uint32_t>(end);
    row.tail_begin = static_cast<uint32_t>(end);
    in_cell_ = false;
  }

  void BeginFormula(RowXml& row, size_t at, const Tag& tag) {
    const char* si = Find(tag, "si", si_);
    if (SharedFormulaRole(Find(tag, "t", t_), Find(tag, "ref", ref_), si) != SharedRole::kMember) {
      return;
    }
    RowCellXml& cell = row.cells.back();
    cell.shared_member = true;
    cell.shared_index = si;
    cell.formula_begin = static_cast<uint32_t>(at);
    in_formula_ = !tag.empty;
    if (tag.empty) EndFormula(row, tag.end);
  }

  void EndFormula(RowXml& row, size_t end) {
    row.cells.back().formula_end = static_cast<uint32_t>(end);
    in_formula_ = false;
  }

  std::string_view text_;
  const std::string cell_name_, formula_name_;
  Tag tag_;
  std::string r_, t_, si_, ref_;  // attribute values looked up
  RowNumbering numbering_;
  bool in_cell_ = false;
  bool in_formula_ = false;
};

namespace {

// Whether the scan can read the rows of this sheet as the parse would: one binding of the main
// namespace, the layout's.
bool ScanFitsSheet(const SheetLayout& layout) {
  int main_bindings = 0;
  for (const auto& [prefix, uri] : layout.namespaces) {
    if (IsMainNs(uri)) main_bindings += prefix == layout.prefix ? 1 : 2;
  }
  return main_bindings == 1;
}

RowXml ReadRowXmlParsed(std::string_view row_text, const SheetLayout& layout) {
  std::string head = "<w";
  for (const auto& [prefix, uri] : layout.namespaces) {
    head += prefix.empty() ? " xmlns=\"" : " xmlns:" + prefix + "=\"";
    AppendEscaped(head, uri);
    head += '"';
  }
  head += '>';
  RowXml row;
  RowParse parse(row, static_cast<uint32_t>(head.size()));
  parse.Feed(head.data(), head.size(), false);
  parse.Feed(row_text.data(), row_text.size(), false);
  parse.Feed("</w>", 4, true);
  return row;
}

}  // namespace

RowXmlReader::RowXmlReader(const SheetLayout& layout)
    : layout_(layout),
      scan_(ScanFitsSheet(layout) ? std::make_unique<PlainRowScan>(
                                        layout.prefix.empty() ? std::string() : layout.prefix + ":")
                                  : nullptr) {}

RowXmlReader::~RowXmlReader() = default;

const RowXml& RowXmlReader::Read(std::string_view row_text, bool plain_scan) {
  row_.cells.clear();
  row_.declarations.clear();
  if (plain_scan && scan_ && scan_->Scan(row_text, row_)) return row_;
  row_ = ReadRowXmlParsed(row_text, layout_);
  return row_;
}

RowXml ReadRowXml(std::string_view row_text, const SheetLayout& layout, bool plain_scan) {
  return RowXmlReader(layout).Read(row_text, plain_scan);
}

}  // namespace quilmark::xlsx
