#include "src/host/xlsx/write/number_formats.h"

#include <algorithm>
#include <pugixml.hpp>

#include "src/host/xlsx/package/xml_util.h"

namespace quilmark::xlsx {
namespace {

// Custom number formats take ids from 164 up; the ones below are built in.
constexpr uint32_t kFirstCustomFormat = 164;

pugi::xml_node Child(pugi::xml_node parent, std::string_view local) {
  for (pugi::xml_node node : parent.children()) {
    if (LocalName(node.name()) == local) return node;
  }
  return {};
}

uint32_t ChildCount(pugi::xml_node parent, std::string_view local) {
  uint32_t count = 0;
  for (pugi::xml_node node : parent.children()) count += LocalName(node.name()) == local ? 1 : 0;
  return count;
}

void SetCount(pugi::xml_node node, uint32_t count) {
  pugi::xml_attribute attribute = node.attribute("count");
  if (!attribute) attribute = node.append_attribute("count");
  attribute.set_value(count);
}

}  // namespace

std::string DecimalsFormatCode(int decimals) {
  return decimals <= 0 ? "0" : "0." + std::string(static_cast<size_t>(decimals), '0');
}

std::optional<std::string> WithDecimalStyles(const std::string& text, std::string_view part,
                                             const std::set<int>& decimals,
                                             std::map<int, uint32_t>& styles) {
  pugi::xml_document doc;
  ParseSmallXml(doc, text, part);
  pugi::xml_node root = doc.document_element();
  pugi::xml_node xfs = Child(root, "cellXfs");
  if (LocalName(root.name()) != "styleSheet" || !xfs || ChildCount(xfs, "xf") == 0) {
    return std::nullopt;
  }
  const std::string prefix = PrefixOf(root.name());
  pugi::xml_node formats = Child(root, "numFmts");
  // The schema's order: numFmts first in the style sheet.
  if (!formats) formats = root.prepend_child((prefix + "numFmts").c_str());
  uint32_t next_id = kFirstCustomFormat;
  for (pugi::xml_node format : formats.children()) {
    next_id = std::max(next_id, format.attribute("numFmtId").as_uint() + 1);
  }
  uint32_t index = ChildCount(xfs, "xf");
  for (int places : decimals) {
    pugi::xml_node format = formats.append_child((prefix + "numFmt").c_str());
    format.append_attribute("numFmtId").set_value(next_id);
    format.append_attribute("formatCode").set_value(DecimalsFormatCode(places).c_str());
    pugi::xml_node xf = xfs.append_child((prefix + "xf").c_str());
    xf.append_attribute("numFmtId").set_value(next_id);
    for (const char* zero : {"fontId", "fillId", "borderId", "xfId"}) {
      xf.append_attribute(zero).set_value(0);
    }
    xf.append_attribute("applyNumberFormat").set_value(1);
    styles[places] = index++;
    ++next_id;
  }
  SetCount(formats, ChildCount(formats, "numFmt"));
  SetCount(xfs, index);
  return SerializeSmallXml(doc);
}

}  // namespace quilmark::xlsx
