// The area of a patch on the ellipsoid, as the land survey computes it: the boundary's vertices
// in latitude and longitude, each edge closing a trapezoid on the ellipsoid with a meridian, the
// trapezoids summed (the series in e^2 up to e^8 that the survey's technical rules give).
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace quilmark {

// Where a layer run takes each patch's area from: its area field, its geometry's planar area in
// the layer's projected system, or its geometry's ellipsoidal area.
enum class AreaFrom { kField, kPlane, kEllipsoid };

// "field", "plane" or "ellipsoid"; nullopt for anything else.
std::optional<AreaFrom> AreaFromName(std::string_view name);

// An ellipsoid by its semi-major axis in metres and inverse flattening.
struct Ellipsoid {
  double semi_major = 6378137.0;
  double inverse_flattening = 298.257222101;  // CGCS2000
};

// The survey's trapezoid series for one ellipsoid: the constants are worked out once.
class EllipsoidTrapezoids {
 public:
  explicit EllipsoidTrapezoids(const Ellipsoid& ellipsoid);

  // The area in square metres enclosed by the ring of vertices (longitude, latitude in degrees;
  // the last vertex may repeat the first or not), whatever its orientation. 0 for fewer than
  // three vertices. The two spans have the same length.
  double RingArea(std::span<const double> longitudes, std::span<const double> latitudes) const;

  // The trapezoid between the parallels `lat1` and `lat2` (radians) spanning `dlon` radians of
  // longitude, signed like (lat2 - lat1) * dlon.
  double Trapezoid(double lat1, double lat2, double dlon) const;

 private:
  double b2_;                 // the semi-minor axis squared
  double a_, b_, c_, d_, e_;  // the series' constants A to E
};

}  // namespace quilmark
