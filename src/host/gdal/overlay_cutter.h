// Cutting one patch by the overlay: the pieces it has in each overlay feature it meets and the
// part outside every feature, each with its area, adjusted to the patch's recorded area where
// one is kept. One cutter per thread: each has its own GEOS context, search tree and prepared
// geometries over the shared overlay.
#pragma once

#include <geos_c.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "src/host/gdal/geometry_area.h"
#include "src/host/gdal/overlay_geos.h"
#include "src/host/gdal/overlay_layer.h"

namespace quilmark {

// Pieces smaller than this are slivers: kept in the sums, and reported with their area.
inline constexpr double kSliverArea = 1.0;  // m2

// A patch as the cutter takes it.
struct PatchIn {
  int64_t fid = 0;
  std::string wkb;                              // empty: the feature has no geometry
  std::optional<double> total;                  // the recorded area (TBMJ); nullopt: none
  std::vector<std::optional<CellValue>> cells;  // the patch's fields the pieces carry
};

struct PieceOut {
  int overlay = -1;  // the overlay feature's index; -1: outside every feature
  double area = 0.0;
};

// What the cutting met, added up over the patches.
struct OverlayTally {
  int64_t patches = 0;
  int64_t pieces = 0;
  int64_t outside = 0;      // pieces outside every overlay feature
  int64_t repaired = 0;     // invalid patches repaired
  int64_t no_geometry = 0;  // patches without a geometry: one piece, outside
  int64_t unadjusted = 0;   // patches whose recorded area is empty or not above 0
  int64_t slivers = 0;
  double sliver_area = 0.0;
  std::vector<std::string> first_slivers;  // "FID 7 在 FID 3 中的 0.42 平方米", at most 5

  void Add(const OverlayTally& other);
};

class OverlayCutter {
 public:
  // `srs` is the patches' system; areas as `from` gives them (kField: ellipsoidal). `adjust`:
  // the pieces add up to the patch's recorded area. Throws HostError as GeometryArea does.
  OverlayCutter(const OverlayLayer& overlay, const OGRSpatialReference* srs, AreaFrom from,
                bool adjust, const std::string& layer);
  ~OverlayCutter();
  OverlayCutter(const OverlayCutter&) = delete;
  OverlayCutter& operator=(const OverlayCutter&) = delete;

  // The patch's pieces in the overlay's order, the part outside last. Throws HostError naming
  // the patch where its geometry cannot be read, repaired, cut or taken back to latitude and
  // longitude.
  void Cut(const PatchIn& patch, std::vector<PieceOut>& pieces, OverlayTally& tally);

 private:
  const GEOSPreparedGeometry* Prepared(size_t index);
  double Area(const GEOSGeometry& geometry, const PatchIn& patch);
  void CutInto(const GEOSGeometry& patch, const PatchIn& in, std::vector<PieceOut>& pieces);
  void Finish(const PatchIn& patch, std::vector<PieceOut>& pieces, OverlayTally& tally) const;

  const OverlayLayer& overlay_;
  GeosContext geos_;
  GeometryArea area_;
  const bool adjust_;
  std::vector<GeosGeometry> geometries_;
  std::vector<const GEOSPreparedGeometry*> prepared_;  // prepared when first met
  GEOSSTRtree* tree_ = nullptr;
};

}  // namespace quilmark
