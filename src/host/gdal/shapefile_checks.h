// What Quilmark checks on a shapefile before GDAL opens it: that its .dbf is there and whole, and
// which code page its texts are in when the file does not say.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace quilmark {

// The .dbf that holds the attributes of a .shp or .dbf path; nullopt for other paths. Throws
// HostError when a .shp has no .dbf beside it, or the .dbf is shorter than its header promises
// or its header is not a .dbf header.
std::optional<std::filesystem::path> CheckedDbf(const std::filesystem::path& path);

// The encoding to read the .dbf's texts in when neither a .cpg file nor the .dbf's language
// driver byte names one: "CP936". nullopt when the file says it itself.
std::optional<std::string> FallbackDbfEncoding(const std::filesystem::path& dbf);

}  // namespace quilmark
