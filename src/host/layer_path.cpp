#include "src/host/layer_path.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iterator>
#include <regex>
#include <string>
#include <system_error>

namespace quilmark {
namespace {

using enum LayerFileOffer;
constexpr LayerExtension kLayerExtensions[] = {
    {".shp", kMap},        {".dbf", kNotOffered}, {".gpkg", kMap},           {".csv", kTable},
    {".ods", kTable},      {".xls", kTable},      {".geojson", kNotOffered}, {".json", kNotOffered},
    {".sqlite", kMap},     {".db", kMap},         {".fgb", kNotOffered},     {".tab", kNotOffered},
    {".mif", kNotOffered}, {".kml", kNotOffered}, {".gml", kNotOffered}};

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

}  // namespace

std::span<const LayerExtension> LayerExtensions() { return kLayerExtensions; }

bool IsConnectionString(std::string_view path) { return Lower(path.substr(0, 3)) == "pg:"; }

std::string HidePassword(std::string_view source) {
  if (!IsConnectionString(source)) return std::string(source);
  static const std::regex kPassword(R"((password\s*=\s*)('[^']*'|\S+))", std::regex::icase);
  return std::regex_replace(std::string(source), kPassword, "$1***");
}

bool IsLayerPath(std::string_view path) {
  if (IsConnectionString(path)) return true;
  const std::filesystem::path file{std::u8string(path.begin(), path.end())};
  std::error_code error;
  if (std::filesystem::is_directory(file, error)) return true;
  const std::u8string ext8 = file.extension().u8string();
  const std::string ext = Lower(std::string(ext8.begin(), ext8.end()));
  // A name ending in .gdb that is not (yet) a folder is still meant as a geodatabase.
  if (ext == ".gdb") return true;
  return std::any_of(std::begin(kLayerExtensions), std::end(kLayerExtensions),
                     [&](const LayerExtension& layer) { return layer.extension == ext; });
}

}  // namespace quilmark
