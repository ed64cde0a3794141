// Layers of every kind the GIS tests read, written by GDAL's own ogr2ogr from the shipped
// tests/data/gis/patches.csv into a temporary folder.
#pragma once

#include <filesystem>
#include <string>

namespace quilmark::testing {

enum class LayerKind {
  kCsv,
  kGeoPackage,
  kFileGdb,
  kShapefileGbkNoCpg,
  kShapefileUtf8Cpg,
  kCsvGbk,  // the shipped CSV saved as GBK, as Chinese spreadsheet software saves it
  kShapefileGbkCpg,
};

inline constexpr LayerKind kEveryLayerKind[] = {LayerKind::kCsv,
                                                LayerKind::kGeoPackage,
                                                LayerKind::kFileGdb,
                                                LayerKind::kShapefileGbkNoCpg,
                                                LayerKind::kShapefileUtf8Cpg,
                                                LayerKind::kCsvGbk,
                                                LayerKind::kShapefileGbkCpg};

class GisFiles {
 public:
  GisFiles();
  ~GisFiles();

  // The patches, or the CSV layer `from` (with its .csvt), as a layer of that kind named after
  // it, written once per folder, in a projected system.
  std::string Make(LayerKind kind, const std::string& from = Csv());
  // The shipped CSV.
  static std::string Csv();
  const std::filesystem::path& folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
};

// Runs a shell command; false when it fails.
bool Shell(const std::string& command);

}  // namespace quilmark::testing
