#include "src/host/gdal/layer_path.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <string>
#include <system_error>

namespace quilmark {
namespace {

constexpr std::array<std::string_view, 14> kLayerExtensions = {
    ".shp",  ".dbf",    ".gpkg", ".csv", ".ods", ".xls", ".geojson",
    ".json", ".sqlite", ".fgb",  ".tab", ".mif", ".kml", ".gml"};

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

}  // namespace

bool IsConnectionString(std::string_view path) { return Lower(path.substr(0, 3)) == "pg:"; }

bool IsLayerPath(std::string_view path) {
  if (IsConnectionString(path)) return true;
  const std::filesystem::path file{std::u8string(path.begin(), path.end())};
  std::error_code error;
  if (std::filesystem::is_directory(file, error)) return true;
  const std::u8string ext8 = file.extension().u8string();
  const std::string ext = Lower(std::string(ext8.begin(), ext8.end()));
  // A name ending in .gdb that is not (yet) a folder is still meant as a geodatabase.
  if (ext == ".gdb") return true;
  return std::find(kLayerExtensions.begin(), kLayerExtensions.end(), ext) != kLayerExtensions.end();
}

}  // namespace quilmark
