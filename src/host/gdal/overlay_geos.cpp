#include "src/host/gdal/overlay_geos.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace quilmark {

GeosContext::GeosContext() : handle_(GEOS_init_r()) {
  GEOSContext_setErrorMessageHandler_r(handle_, KeepMessage, this);
}

GeosContext::~GeosContext() { GEOS_finish_r(handle_); }

void GeosContext::KeepMessage(const char* message, void* self) {
  static_cast<GeosContext*>(self)->last_error_ = message != nullptr ? message : "";
}

GeosGeometry FromWkb(const GeosContext& geos, std::string_view wkb) {
  const GEOSContextHandle_t context = geos.handle();
  return GeosGeometry(GEOSGeomFromWKB_buf_r(
                          context, reinterpret_cast<const unsigned char*>(wkb.data()), wkb.size()),
                      GeosDeleter{context});
}

std::string ToWkb(const GeosContext& geos, const GEOSGeometry& geometry) {
  size_t size = 0;
  unsigned char* bytes = GEOSGeomToWKB_buf_r(geos.handle(), &geometry, &size);
  if (bytes == nullptr) return {};
  std::string wkb(reinterpret_cast<const char*>(bytes), size);
  GEOSFree_r(geos.handle(), bytes);
  return wkb;
}

GeosGeometry Valid(const GeosContext& geos, GeosGeometry geometry, bool& repaired) {
  const GEOSContextHandle_t context = geos.handle();
  repaired = false;
  if (!geometry) return geometry;
  const char valid = GEOSisValid_r(context, geometry.get());
  if (valid == 1) return geometry;
  if (valid != 0) return GeosGeometry(nullptr, GeosDeleter{context});
  repaired = true;
  return GeosGeometry(GEOSMakeValid_r(context, geometry.get()), GeosDeleter{context});
}

GeosGeometry Intersection(const GeosContext& geos, const GEOSGeometry& a, const GEOSGeometry& b) {
  const GEOSContextHandle_t context = geos.handle();
  GEOSGeometry* exact = GEOSIntersection_r(context, &a, &b);
  if (exact != nullptr) return GeosGeometry(exact, GeosDeleter{context});
  return GeosGeometry(GEOSIntersectionPrec_r(context, &a, &b, 1e-4), GeosDeleter{context});
}

std::vector<size_t> QueryTree(const GeosContext& geos, GEOSSTRtree& tree,
                              const GEOSGeometry& geometry) {
  std::vector<size_t> found;
  GEOSSTRtree_query_r(
      geos.handle(), &tree, &geometry,
      [](void* item, void* list) {
        static_cast<std::vector<size_t>*>(list)->push_back(reinterpret_cast<uintptr_t>(item));
      },
      &found);
  std::sort(found.begin(), found.end());
  return found;
}

namespace {

// A ring's vertices into x and y, then its area.
std::optional<double> RingArea(GEOSContextHandle_t context, const GEOSGeometry& ring,
                               GeometryArea& area, std::vector<double>& xy, std::vector<double>& x,
                               std::vector<double>& y) {
  const GEOSCoordSequence* sequence = GEOSGeom_getCoordSeq_r(context, &ring);
  unsigned int size = 0;
  if (sequence == nullptr || GEOSCoordSeq_getSize_r(context, sequence, &size) == 0) return 0.0;
  xy.resize(2 * static_cast<size_t>(size));
  GEOSCoordSeq_copyToBuffer_r(context, sequence, xy.data(), 0, 0);
  x.resize(size);
  y.resize(size);
  for (size_t i = 0; i < size; ++i) {
    x[i] = xy[2 * i];
    y[i] = xy[2 * i + 1];
  }
  return area.Ring(x, y);
}

std::optional<double> PolygonArea(GEOSContextHandle_t context, const GEOSGeometry& polygon,
                                  GeometryArea& area) {
  if (!area.ellipsoidal()) {
    double planar = 0.0;
    GEOSArea_r(context, &polygon, &planar);
    return planar;
  }
  thread_local std::vector<double> xy, x, y;  // kept for the next polygon on this thread
  std::optional<double> sum =
      RingArea(context, *GEOSGetExteriorRing_r(context, &polygon), area, xy, x, y);
  const int holes = GEOSGetNumInteriorRings_r(context, &polygon);
  for (int i = 0; sum && i < holes; ++i) {
    const std::optional<double> hole =
        RingArea(context, *GEOSGetInteriorRingN_r(context, &polygon, i), area, xy, x, y);
    if (!hole) return std::nullopt;
    *sum -= *hole;
  }
  return sum;
}

}  // namespace

std::optional<double> PolygonalArea(const GeosContext& geos, const GEOSGeometry& geometry,
                                    GeometryArea& area) {
  const GEOSContextHandle_t context = geos.handle();
  switch (GEOSGeomTypeId_r(context, &geometry)) {
    case GEOS_POLYGON:
      return PolygonArea(context, geometry, area);
    case GEOS_MULTIPOLYGON:
    case GEOS_GEOMETRYCOLLECTION: {
      double sum = 0.0;
      const int parts = GEOSGetNumGeometries_r(context, &geometry);
      for (int i = 0; i < parts; ++i) {
        const std::optional<double> part =
            PolygonalArea(geos, *GEOSGetGeometryN_r(context, &geometry, i), area);
        if (!part) return std::nullopt;
        sum += *part;
      }
      return sum;
    }
    default:
      return 0.0;
  }
}

}  // namespace quilmark
