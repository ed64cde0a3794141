#include "src/host/xlsx/package/custom_properties.h"

#include <algorithm>

#include "src/host/xlsx/package/package.h"
#include "src/host/xlsx/package/xml_util.h"

namespace quilmark::xlsx {
namespace {

constexpr std::string_view kPropertiesNs =
    "http://schemas.openxmlformats.org/officeDocument/2006/custom-properties";
constexpr std::string_view kValueTypesNs =
    "http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes";
// The format identifier every custom property carries.
constexpr char kPropertyFormat[] = "{D5CDD505-2E9C-101B-9397-08002B2CF9AE}";

}  // namespace

bool IsCustomPropertiesRelationship(std::string_view type) {
  return TypeIs(type, "custom-properties") || TypeIs(type, "customProperties");
}

void CustomProperties::Load(const std::string& text, std::string_view part) {
  doc_.reset();
  changed_ = false;
  if (text.empty()) {
    pugi::xml_node declaration = doc_.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    declaration.append_attribute("standalone") = "yes";
    pugi::xml_node root = doc_.append_child("Properties");
    root.append_attribute("xmlns") = std::string(kPropertiesNs).c_str();
    root.append_attribute("xmlns:vt") = std::string(kValueTypesNs).c_str();
    return;
  }
  ParseSmallXml(doc_, text, part, pugi::parse_ws_pcdata);
  if (LocalName(doc_.document_element().name()) != "Properties") {
    throw PackageError("部件 " + std::string(part) + " 不是自定义属性部件");
  }
}

pugi::xml_node CustomProperties::Find(std::string_view name) const {
  for (const pugi::xml_node node : doc_.document_element().children()) {
    if (LocalName(node.name()) == "property" &&
        EqualsIgnoringAsciiCase(node.attribute("name").value(), name)) {
      return node;
    }
  }
  return {};
}

std::optional<std::string> CustomProperties::Get(std::string_view name) const {
  const pugi::xml_node property = Find(name);
  if (!property) return std::nullopt;
  for (const pugi::xml_node value : property.children()) {
    if (value.type() == pugi::node_element) return std::string(value.child_value());
  }
  return std::string();
}

std::string CustomProperties::ValueTypeName(std::string_view local) {
  pugi::xml_node root = doc_.document_element();
  for (const pugi::xml_attribute attribute : root.attributes()) {
    const std::string_view name = attribute.name();
    if (attribute.value() == kValueTypesNs && name.starts_with("xmlns:")) {
      return std::string(name.substr(6)) + ":" + std::string(local);
    }
  }
  root.append_attribute("xmlns:vt") = std::string(kValueTypesNs).c_str();
  return "vt:" + std::string(local);
}

void CustomProperties::Set(std::string_view name, const std::string& value) {
  changed_ = true;
  pugi::xml_node property = Find(name);
  if (property) {
    while (property.first_child()) property.remove_child(property.first_child());
  } else {
    pugi::xml_node root = doc_.document_element();
    int pid = 1;  // identifiers start at 2
    for (const pugi::xml_node node : root.children()) {
      pid = std::max(pid, node.attribute("pid").as_int(0));
    }
    property = root.append_child((PrefixOf(root.name()) + "property").c_str());
    property.append_attribute("fmtid") = kPropertyFormat;
    property.append_attribute("pid") = pid + 1;
    property.append_attribute("name") = std::string(name).c_str();
  }
  property.append_child(ValueTypeName("lpwstr").c_str()).text() = value.c_str();
}

std::string CustomProperties::Serialize() const { return SerializeSmallXml(doc_); }

}  // namespace quilmark::xlsx
