#include "src/host/layer_path.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>

#include "src/host/conninfo_words.h"

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
  const std::optional<ConninfoWords> split = SplitConninfo(source.substr(3));
  if (!split) {
    // A string libpq would refuse: nothing from the first secret on is shown.
    const std::string lower = Lower(source);
    const size_t secret = std::min(lower.find("password"), lower.find("://"));
    if (secret == std::string::npos) return std::string(source);
    return std::string(source.substr(0, secret)) + "***";
  }
  std::string shown(source.substr(0, 3));
  if (!split->uri.empty()) shown += UriWithoutPassword(split->uri);
  for (const ConninfoWord& word : split->words) {
    if (shown.size() > 3) shown += ' ';
    shown += word.key + "=" + (IsSecretKey(word.key) ? "***" : QuotedConninfoValue(word.value));
  }
  return shown;
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
