#include "src/host/xlsx/package/package_parts.h"

#include <algorithm>
#include <pugixml.hpp>

#include "src/host/xlsx/package/package.h"
#include "src/host/xlsx/package/xml_util.h"

namespace quilmark::xlsx {
namespace {

constexpr std::string_view kTypesPart = "[Content_Types].xml";
constexpr std::string_view kRelationshipsNs =
    "http://schemas.openxmlformats.org/package/2006/relationships";

bool IsOverrideOf(const pugi::xml_node node, std::string_view part) {
  const std::string_view name = node.attribute("PartName").value();
  return LocalName(node.name()) == "Override" && name.starts_with('/') &&
         EqualsIgnoringAsciiCase(name.substr(1), part);
}

// Removes the children for which `drop` holds.
template <typename Drop>
void RemoveChildren(pugi::xml_node parent, Drop drop) {
  for (pugi::xml_node node = parent.first_child(); node;) {
    const pugi::xml_node next = node.next_sibling();
    if (drop(node)) parent.remove_child(node);
    node = next;
  }
}

}  // namespace

std::string WithOverride(const std::string& types, std::string_view part,
                         std::string_view content_type) {
  pugi::xml_document doc;
  ParseSmallXml(doc, types, kTypesPart);
  pugi::xml_node root = doc.document_element();
  for (const pugi::xml_node node : root.children()) {
    if (IsOverrideOf(node, part)) return types;
  }
  pugi::xml_node node = root.append_child((PrefixOf(root.name()) + "Override").c_str());
  node.append_attribute("PartName") = ("/" + std::string(part)).c_str();
  node.append_attribute("ContentType") = std::string(content_type).c_str();
  return SerializeSmallXml(doc);
}

std::string WithoutOverride(const std::string& types, std::string_view part) {
  pugi::xml_document doc;
  ParseSmallXml(doc, types, kTypesPart);
  RemoveChildren(doc.document_element(),
                 [&](const pugi::xml_node node) { return IsOverrideOf(node, part); });
  return SerializeSmallXml(doc);
}

std::string OverrideType(const std::string& types, std::string_view part) {
  pugi::xml_document doc;
  ParseSmallXml(doc, types, kTypesPart);
  for (const pugi::xml_node node : doc.document_element().children()) {
    if (IsOverrideOf(node, part)) return node.attribute("ContentType").value();
  }
  return {};
}

std::string WithOverrideType(const std::string& types, std::string_view part,
                             std::string_view content_type) {
  const std::string with = WithOverride(types, part, content_type);
  pugi::xml_document doc;
  ParseSmallXml(doc, with, kTypesPart);
  for (pugi::xml_node node : doc.document_element().children()) {
    if (IsOverrideOf(node, part)) {
      pugi::xml_attribute type = node.attribute("ContentType");
      if (!type) type = node.append_attribute("ContentType");
      type = std::string(content_type).c_str();
    }
  }
  return SerializeSmallXml(doc);
}

std::string WithRelationship(const std::string& rels, std::string_view rels_part,
                             std::string_view type, std::string_view target) {
  pugi::xml_document doc;
  if (rels.empty()) {
    doc.append_child("Relationships").append_attribute("xmlns") =
        std::string(kRelationshipsNs).c_str();
  } else {
    ParseSmallXml(doc, rels, rels_part);
  }
  pugi::xml_node root = doc.document_element();
  const std::string_view kind = type.substr(type.rfind('/') + 1);
  for (const pugi::xml_node node : root.children()) {
    if (TypeIs(node.attribute("Type").value(), kind)) return rels;
  }
  // Identifiers need only be unique within the part.
  int free_id = 1;
  for (bool taken = true; taken;) {
    taken = false;
    for (const pugi::xml_node node : root.children()) {
      taken = taken || node.attribute("Id").value() == "rId" + std::to_string(free_id);
    }
    if (taken) ++free_id;
  }
  pugi::xml_node node = root.append_child((PrefixOf(root.name()) + "Relationship").c_str());
  node.append_attribute("Id") = ("rId" + std::to_string(free_id)).c_str();
  node.append_attribute("Type") = std::string(type).c_str();
  node.append_attribute("Target") = std::string(target).c_str();
  return SerializeSmallXml(doc);
}

std::string WithoutRelationships(const std::string& rels, std::string_view rels_part,
                                 std::string_view kind) {
  pugi::xml_document doc;
  ParseSmallXml(doc, rels, rels_part);
  RemoveChildren(doc.document_element(), [&](const pugi::xml_node node) {
    return TypeIs(node.attribute("Type").value(), kind);
  });
  return SerializeSmallXml(doc);
}

}  // namespace quilmark::xlsx
