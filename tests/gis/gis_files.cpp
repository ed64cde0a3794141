#include "tests/gis/gis_files.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>

namespace quilmark::testing {
namespace {

namespace fs = std::filesystem;

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// Clears the .dbf's language driver byte, as writers that know nothing of code pages leave it.
void ClearLanguageDriver(const fs::path& dbf) {
  std::fstream file(dbf, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(29);
  file.put('\0');
}

}  // namespace

bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

GisFiles::GisFiles() {
  folder_ = fs::temp_directory_path() / ("quilmark-gis-" + std::to_string(::getpid()) + "-" +
                                         std::to_string(reinterpret_cast<uintptr_t>(this)));
  fs::create_directories(folder_);
}

GisFiles::~GisFiles() {
  std::error_code error;
  fs::remove_all(folder_, error);
}

std::string GisFiles::Csv() {
  const char* data = std::getenv("QUILMARK_TEST_DATA");
  return std::string(data != nullptr ? data : QUILMARK_SOURCE_TEST_DATA) + "/gis/patches.csv";
}

std::string GisFiles::Make(LayerKind kind, const std::string& from) {
  if (kind == LayerKind::kCsv) return from;
  const std::string stem = fs::path(from).stem().string();
  const fs::path csvt = fs::path(from).replace_extension(".csvt");
  if (kind == LayerKind::kCsvGbk) {
    const fs::path target = folder_ / (stem + "-gbk.csv");
    if (!fs::exists(target) &&
        !Shell("iconv -f UTF-8 -t GBK " + Quoted(from) + " > " + Quoted(target) +
               (fs::exists(csvt) ? " && cp " + Quoted(csvt) + " " +
                                       Quoted(fs::path(target).replace_extension(".csvt"))
                                 : ""))) {
      return {};
    }
    return target.string();
  }
  struct Recipe {
    const char* name;  // the folder and extension around the stem
    const char* format;
    const char* options;
  };
  static const Recipe kRecipes[] = {
      {},
      {".gpkg", "GPKG", ""},
      {".gdb", "OpenFileGDB", ""},
      {"gbk/.shp", "ESRI Shapefile", "-lco ENCODING=CP936"},
      {"utf8/.shp", "ESRI Shapefile", "-lco ENCODING=UTF-8"},
      {},
      {"gbk-cpg/.shp", "ESRI Shapefile", "-lco ENCODING=CP936"}};
  const Recipe& recipe = kRecipes[static_cast<int>(kind)];
  std::string name = recipe.name;
  name.insert(name.find('.'), stem);
  const fs::path target = folder_ / name;
  if (fs::exists(target)) return target.string();
  fs::create_directories(target.parent_path());
  const std::string command = std::string("ogr2ogr -q -f '") + recipe.format + "' " +
                              recipe.options + " -a_srs EPSG:4547 -nln " + stem +
                              " -nlt POLYGON -oo KEEP_GEOM_COLUMNS=NO " + Quoted(target) + " " +
                              Quoted(from);
  if (!Shell(command)) return {};
  if (kind == LayerKind::kShapefileGbkNoCpg) {
    fs::remove(fs::path(target).replace_extension(".cpg"));
    ClearLanguageDriver(fs::path(target).replace_extension(".dbf"));
  }
  return target.string();
}

}  // namespace quilmark::testing
