// GEOS for the overlay, through its thread-safe C interface: a context per thread, geometries
// owned by handles that know their context, and the areas of polygonal results by the rules of
// geometry_area.h.
#pragma once

#include <geos_c.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "src/host/gdal/geometry_area.h"

namespace quilmark {

// One thread's GEOS. GEOS's message of the last failure is kept for the error that follows.
class GeosContext {
 public:
  GeosContext();
  ~GeosContext();
  GeosContext(const GeosContext&) = delete;
  GeosContext& operator=(const GeosContext&) = delete;

  GEOSContextHandle_t handle() const { return handle_; }
  const std::string& last_error() const { return last_error_; }

 private:
  static void KeepMessage(const char* message, void* self);

  GEOSContextHandle_t handle_;
  std::string last_error_;
};

struct GeosDeleter {
  GEOSContextHandle_t context = nullptr;
  void operator()(GEOSGeometry* geometry) const { GEOSGeom_destroy_r(context, geometry); }
};
using GeosGeometry = std::unique_ptr<GEOSGeometry, GeosDeleter>;

// The geometry read from WKB; empty where GEOS cannot read it.
GeosGeometry FromWkb(const GeosContext& geos, std::string_view wkb);
std::string ToWkb(const GeosContext& geos, const GEOSGeometry& geometry);

// A valid geometry as it is; an invalid one repaired (GEOS MakeValid), `repaired` set. Empty
// where GEOS cannot tell or cannot repair it.
GeosGeometry Valid(const GeosContext& geos, GeosGeometry geometry, bool& repaired);

// The intersection, on a grid of 0.1 mm where GEOS fails on the exact one (a robustness failure
// on nearly coincident edges); empty where both fail.
GeosGeometry Intersection(const GeosContext& geos, const GEOSGeometry& a, const GEOSGeometry& b);

// The indices (inserted as the items) of the tree's geometries whose envelopes meet the
// geometry's, in ascending order.
std::vector<size_t> QueryTree(const GeosContext& geos, GEOSSTRtree& tree,
                              const GEOSGeometry& geometry);

// The area of the polygons in the geometry (lines and points have none), planar or ellipsoidal
// as `area` computes. nullopt where a vertex cannot be taken back to latitude and longitude.
std::optional<double> PolygonalArea(const GeosContext& geos, const GEOSGeometry& geometry,
                                    GeometryArea& area);

}  // namespace quilmark
