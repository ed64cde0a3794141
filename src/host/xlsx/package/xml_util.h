// Small XML helpers shared by the reader and the writer of workbook parts.
#pragma once

#include <cstddef>
#include <pugixml.hpp>
#include <string>
#include <string_view>

namespace quilmark::xlsx {

// The main namespaces of worksheet XML: transitional and strict.
inline constexpr std::string_view kMainNs =
    "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline constexpr std::string_view kStrictMainNs = "http://purl.oclc.org/ooxml/spreadsheetml/main";

inline bool IsMainNs(std::string_view uri) { return uri == kMainNs || uri == kStrictMainNs; }

// "x:sheet" gives "sheet".
std::string_view LocalName(std::string_view qualified);
// "x:sheet" gives "x:"; "sheet" gives "".
std::string PrefixOf(std::string_view qualified);

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// Parses a small part with pugixml. Throws PackageError naming the part when it is not well
// formed or holds a document type declaration (refused: entity expansion is a known attack).
// `extra_options` adds pugixml parse options (keeping white-space-only text, for one).
void ParseSmallXml(pugi::xml_document& doc, const std::string& text, std::string_view part,
                   unsigned extra_options = 0);

// Writes a small document back without indentation, keeping its declaration; the text is UTF-8
// and the declaration says so.
std::string SerializeSmallXml(const pugi::xml_document& doc);

// Whether the bytes are UTF-8 text of characters that XML allows (no control character but tab,
// line feed and carriage return, no surrogate, no U+FFFE or U+FFFF), as any XML parser requires.
bool IsXmlText(const char* text, size_t length);

// Turns "_x000D_" escapes of a stored text back into their characters; "_x005F_" is "_".
std::string DecodeEscapes(std::string_view text);

// Appends text as XML character data or attribute content: markup characters as entities,
// control characters that XML cannot carry as "_xHHHH_" escapes, a literal "_xHHHH_" protected
// as "_x005F_xHHHH_", and invalid UTF-8 bytes replaced by U+FFFD.
void AppendEscaped(std::string& out, std::string_view text);

}  // namespace quilmark::xlsx
