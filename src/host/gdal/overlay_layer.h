// The layer an overlay lays over the patches (planning zones, a project's red lines, township
// boundaries): read whole once, each feature repaired where invalid and taken into the patches'
// coordinate system, with the fields its pieces carry. Memory grows with this layer only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "src/host/cell_value.h"

class OGRSpatialReference;

namespace quilmark {

class GeometryArea;

// "规划.gpkg:YDYH,GHFQ": the source and the fields its pieces carry. A colon followed by text
// that could be no field list (a path, a "PG:" connection's settings) belongs to the source.
struct OverlayChoice {
  std::string source;
  std::string layer;  // empty: the source's only layer
  std::vector<std::string> fields;
};
OverlayChoice ParseOverlayChoice(std::string_view text);

// Whether two coordinate systems are the same for the overlay: the same definition, whatever
// order of axes a driver reads them in.
bool SameSystem(const OGRSpatialReference& a, const OGRSpatialReference& b);

struct OverlayFeature {
  int64_t fid = 0;
  std::string wkb;                              // in the patches' coordinate system, valid
  std::vector<std::optional<CellValue>> cells;  // the carried fields, in the choice's order
};

struct OverlayLayer {
  std::string name;
  std::vector<std::string> fields;  // the carried fields as the layer spells them
  std::vector<OverlayFeature> features;
  int64_t repaired = 0;      // invalid features repaired (MakeValid)
  int64_t without_area = 0;  // features without a polygon, left out
  std::string reprojected;   // where the coordinates were taken into the patches' system: the word
  std::shared_ptr<const OGRSpatialReference> patches_srs;  // nullptr: unknown
};

// Reads the overlay into the patches' coordinate system `target` (nullptr: unknown), computing
// areas as `area` does. Throws HostError whose text starts "无法读取图层: " where the source
// cannot be read, has no polygon, a field does not exist, exactly one of the two coordinate systems
// is unknown (the layers cannot be known to fit), a geometry cannot be repaired or reprojected, or
// features overlap by more than 0.01 m2 (a piece would count twice: the message names the first
// pairs).
OverlayLayer ReadOverlay(const OverlayChoice& choice, const OGRSpatialReference* target,
                         GeometryArea& area);

}  // namespace quilmark
