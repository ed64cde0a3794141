// Worksheets written in an encoding other than UTF-8 (UTF-16 from a byte order mark, or what the
// XML declaration names) are read converted to UTF-8, both when loading and when saving.
#pragma once

#include <string>
#include <string_view>

namespace quilmark::xlsx {

// The encoding a document starts in, from its first bytes (its byte order mark or its
// declaration); empty for UTF-8 and ASCII.
std::string NonUtf8Encoding(std::string_view head);

// The document converted to UTF-8, its declaration saying so. Throws PackageError, naming
// `part`, for an encoding that cannot be converted or text that is not in it.
std::string ToUtf8(const std::string& text, const std::string& encoding, const std::string& part);

}  // namespace quilmark::xlsx
