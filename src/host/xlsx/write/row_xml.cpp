#include "src/host/xlsx/write/row_xml.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "src/host/xlsx/package/xml_util.h"
#include "src/host/xlsx/read/cell_reading.h"
#include "src/host/xlsx/read/expat_parse.h"
#include "src/host/xlsx/read/tag_scan.h"

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
    ScannedTag& tag = tag_;
    if (!ReadTag(0, tag) || tag.end_tag) return false;
    row.qname.assign(tag.name);
    row.attributes.resize(static_cast<size_t>(tag.count));
    for (int k = 0; k < tag.count; ++k) {
      row.attributes[k].first.assign(tag.attributes[k].Name());
      Normalize(Raw(tag.attributes[k]), row.attributes[k].second);
    }
    row.tail_begin = row.tail_end = static_cast<uint32_t>(tag_end_);
    numbering_.NextRow(nullptr);
    if (tag.empty) return tag_end_ == text_.size();
    return ScanContent(tag_end_, row);
  }

 private:
  static bool IsSpace(char c) { return tag_scan::Has(c, tag_scan::kSpace); }
  static bool IsBreak(char c) { return c == '\t' || c == '\n' || c == '\r'; }
  static std::string_view Raw(const TagAttribute& a) {
    return {a.value, static_cast<size_t>(a.value_end - a.value)};
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
    ScannedTag& tag = tag_;
    int depth = 1;  // the row is 1, its cells 2, their parts 3
    while ((at = Next('<', at)) != std::string_view::npos) {
      if (!ReadTag(at, tag)) return false;
      if (tag.end_tag) {
        if (--depth == 0) {
          row.tail_end = static_cast<uint32_t>(at);
          return tag_end_ == text_.size();
        }
        if (depth == 1 && in_cell_) EndCell(row, tag_end_);
        if (depth == 2 && in_formula_) EndFormula(row, tag_end_);
      } else {
        if (depth == 1 && tag_scan::Equal(tag.name, cell_name_)) BeginCell(row, at, tag);
        if (depth == 2 && in_cell_ && tag_scan::Equal(tag.name, formula_name_)) {
          BeginFormula(row, at, tag);
        }
        if (!tag.empty) ++depth;
      }
      at = tag_end_;
    }
    return false;
  }

  // The tag starting at `at` ('<'), its end in tag_end_. Comments, sections, instructions,
  // namespace declarations and values with references are left to the parse.
  bool ReadTag(size_t at, ScannedTag& tag) {
    const char* const end = tag_scan::AnyTag(text_.data() + at, text_.data() + text_.size(), tag);
    if (end == nullptr) return false;
    for (int k = 0; k < tag.count; ++k) {
      if (tag.attributes[k].Name().starts_with("xmlns")) return false;
    }
    tag_end_ = static_cast<size_t>(end - text_.data());
    return true;
  }

  // The normalised value of the tag's attribute `name`, kept in `buffer`; nullptr when absent.
  static const char* Find(const ScannedTag& tag, std::string_view name, std::string& buffer) {
    for (int k = 0; k < tag.count; ++k) {
      if (tag_scan::Equal(tag.attributes[k].Name(), name)) {
        Normalize(Raw(tag.attributes[k]), buffer);
        return buffer.c_str();
      }
    }
    return nullptr;
  }

  void BeginCell(RowXml& row, size_t at, const ScannedTag& tag) {
    const char* r = Find(tag, "r", r_);
    const std::optional<int32_t> column = numbering_.NextCell(r);
    RowCellXml& cell = row.cells.emplace_back();
    cell.begin = static_cast<uint32_t>(at);
    cell.start_tag_end = static_cast<uint32_t>(tag_end_);
    cell.column = column.value_or(0);
    cell.qname_length = static_cast<uint32_t>(tag.name.size());
    cell.has_ref = RowNumbering::NamesColumn(r);
    Find(tag, "s", cell.style);
    if (!cell.has_ref) {
      for (int k = 0; k < tag.count; ++k) {
        const TagAttribute& a = tag.attributes[k];
        if (a.Name() != "r") {
          cell.attributes.emplace_back(std::string(a.Name()), Normalized(Raw(a)));
        }
      }
    }
    in_cell_ = !tag.empty;
    if (tag.empty) EndCell(row, tag_end_);
  }

  void EndCell(RowXml& row, size_t end) {
    row.cells.back().end = static_cast<uint32_t>(end);
    row.tail_begin = static_cast<uint32_t>(end);
    in_cell_ = false;
  }

  void BeginFormula(RowXml& row, size_t at, const ScannedTag& tag) {
    const char* si = Find(tag, "si", si_);
    if (SharedFormulaRole(Find(tag, "t", t_), Find(tag, "ref", ref_), si) != SharedRole::kMember) {
      return;
    }
    RowCellXml& cell = row.cells.back();
    cell.shared_member = true;
    cell.shared_index = si;
    cell.formula_begin = static_cast<uint32_t>(at);
    in_formula_ = !tag.empty;
    if (tag.empty) EndFormula(row, tag_end_);
  }

  void EndFormula(RowXml& row, size_t end) {
    row.cells.back().formula_end = static_cast<uint32_t>(end);
    in_formula_ = false;
  }

  std::string_view text_;
  size_t tag_end_ = 0;  // one past the '>' of the tag last read
  const std::string cell_name_, formula_name_;
  ScannedTag tag_;
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
