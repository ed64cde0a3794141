// The custom document properties of a workbook (its custom properties part): read by name, and
// text properties set for the next save, keeping every property other programs put there.
#pragma once

#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>

namespace quilmark::xlsx {

// Where a package without custom properties gets them, and how they are typed and related.
inline constexpr std::string_view kCustomPropertiesPart = "docProps/custom.xml";
inline constexpr std::string_view kCustomPropertiesType =
    "application/vnd.openxmlformats-officedocument.custom-properties+xml";
inline constexpr std::string_view kCustomPropertiesRelationship =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/custom-properties";

// Whether a relationship type names the custom properties part (transitional or strict).
bool IsCustomPropertiesRelationship(std::string_view type);

class CustomProperties {
 public:
  // Starts from the part's text; without text, from no properties. Throws PackageError naming
  // `part` when the text is not a custom properties part.
  void Load(const std::string& text, std::string_view part);

  // The property's value as text, whatever its type; names compare ignoring ASCII case, as
  // spreadsheet programs compare them. nullopt when there is none.
  std::optional<std::string> Get(std::string_view name) const;
  // Makes the property a text property holding `value`, adding it when absent.
  void Set(std::string_view name, const std::string& value);

  bool changed() const { return changed_; }
  // The part's text with the properties set.
  std::string Serialize() const;

 private:
  pugi::xml_node Find(std::string_view name) const;
  // The qualified name of a value type element ("vt:lpwstr"), declaring its namespace if needed.
  std::string ValueTypeName(std::string_view local);

  pugi::xml_document doc_;
  bool changed_ = false;
};

}  // namespace quilmark::xlsx
