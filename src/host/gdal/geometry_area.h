// The area of a feature's geometry in square metres: planar in the layer's projected coordinate
// system, or on the ellipsoid of its geographic system as the land survey computes it (the
// vertices taken back to latitude and longitude with PROJ, then the trapezoid sums of
// ellipsoid_area.h). Not thread-safe: each thread keeps its own.
#pragma once

#include <ogr_geometry.h>
#include <ogr_spatialref.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "src/host/ellipsoid_area.h"

namespace quilmark {

class GeometryArea {
 public:
  // Throws HostError naming the layer when the area cannot be had as asked: a planar area of
  // coordinates in degrees, or an ellipsoidal one of a layer whose coordinate system is unknown
  // or cannot be taken back to latitude and longitude.
  GeometryArea(const OGRSpatialReference* srs, AreaFrom from, const std::string& layer);
  ~GeometryArea();

  // A polygon's or multipolygon's area (curves are taken as their linear approximation); 0 for
  // geometries without area. nullopt where PROJ could not take a vertex back.
  std::optional<double> Of(const OGRGeometry& geometry);

  // One ring given by its vertices in the layer's coordinates; the coordinates are overwritten.
  std::optional<double> Ring(std::vector<double>& x, std::vector<double>& y);

  bool ellipsoidal() const { return transform_ != nullptr; }

 private:
  std::optional<double> Polygon(const OGRPolygon& polygon);
  std::optional<double> Ring(const OGRLinearRing& ring);

  std::unique_ptr<OGRCoordinateTransformation> transform_;  // to latitude and longitude
  std::optional<EllipsoidTrapezoids> trapezoids_;
  std::vector<double> x_, y_;
};

}  // namespace quilmark
