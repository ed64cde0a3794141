// The attribute filter of a layer run (--where). Most sources evaluate it themselves: SQLite for a
// GeoPackage, the server for PostGIS, OGR's own evaluator for a shapefile, a CSV or a
// geodatabase. OGR's evaluator sees only the fields that are read, so the fields the filter names
// must never be among those the run skips. A source whose texts are not UTF-8 (a CSV saved as GBK)
// would compare its raw bytes with the filter's UTF-8 literals; its filter is evaluated here
// instead, on the decoded texts, with the field names read as text too.
#pragma once

#include <ogrsf_frmts.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quilmark {

class LayerFilter {
 public:
  // `where` empty: no filter, every feature passes. `decoded` says the filter is evaluated here,
  // on texts decoded to UTF-8; it then throws HostError when OGR cannot compile the filter.
  // Otherwise a filter OGR cannot compile is left to the source (its own SQL dialect), and every
  // field counts as read by it.
  // `shown` is the filter as messages quote it, where `where` was written again from it.
  LayerFilter(OGRLayer& layer, std::string where, bool decoded, std::string shown = "");
  ~LayerFilter();
  LayerFilter(const LayerFilter&) = delete;
  LayerFilter& operator=(const LayerFilter&) = delete;

  // Whether the filter reads the attribute field of that index.
  bool Reads(int field) const;
  // Whether it reads anything besides attribute fields and the FID: the geometry (OGR_GEOM_AREA,
  // OGR_GEOMETRY) or the style.
  bool ReadsSpecialFields() const { return reads_special_; }

  // Hands the filter to the layer where the source evaluates it; false when the source refuses
  // it (GDAL's last error says why). Resets reading.
  bool Install(OGRLayer& layer);

  // Throws HostError saying in plain words why the filter is not valid (a name that is no field,
  // with the fields listed; a syntax error), GDAL's own text after it.
  [[noreturn]] void ThrowInvalid(const OGRFeatureDefn& fields) const;

  // The next feature the filter passes; nullptr after the last (or on a read error, which GDAL's
  // last error then holds).
  OGRFeatureUniquePtr Next(OGRLayer& layer);

 private:
  struct Compiled;

  bool Accepts(OGRFeature& feature);

  const std::string where_;
  const std::string shown_;
  const bool decoded_;
  std::string compile_error_;  // what OGR's own evaluator said of the filter, where it refused it
  std::unique_ptr<Compiled> compiled_;  // where the filter is evaluated here
  std::vector<int> read_fields_;        // by index, sorted; all fields when not compiled
  std::vector<int> decoded_texts_;      // the string fields decoded before evaluating
  bool reads_special_ = false;
};

}  // namespace quilmark
