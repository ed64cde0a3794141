#include "src/host/xlsx/row_xml.h"

#include <optional>

#include "src/host/xlsx/cell_reading.h"
#include "src/host/xlsx/expat_parse.h"
#include "src/host/xlsx/xml_util.h"

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

RowXml ReadRowXml(std::string_view row_text, const SheetLayout& layout) {
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

}  // namespace quilmark::xlsx
