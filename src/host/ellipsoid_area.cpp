#include "src/host/ellipsoid_area.h"

#include <cmath>
#include <numbers>

namespace quilmark {

std::optional<AreaFrom> AreaFromName(std::string_view name) {
  if (name == "field") return AreaFrom::kField;
  if (name == "plane") return AreaFrom::kPlane;
  if (name == "ellipsoid") return AreaFrom::kEllipsoid;
  return std::nullopt;
}

EllipsoidTrapezoids::EllipsoidTrapezoids(const Ellipsoid& ellipsoid) {
  const double f = 1.0 / ellipsoid.inverse_flattening;
  const double semi_minor = ellipsoid.semi_major * (1.0 - f);
  b2_ = semi_minor * semi_minor;
  const double e2 = f * (2.0 - f);  // (a^2 - b^2) / a^2
  const double e4 = e2 * e2, e6 = e4 * e2, e8 = e6 * e2;
  a_ = 1.0 + 3.0 / 6.0 * e2 + 30.0 / 80.0 * e4 + 35.0 / 112.0 * e6 + 630.0 / 2304.0 * e8;
  b_ = 1.0 / 6.0 * e2 + 15.0 / 80.0 * e4 + 21.0 / 112.0 * e6 + 420.0 / 2304.0 * e8;
  c_ = 3.0 / 80.0 * e4 + 7.0 / 112.0 * e6 + 180.0 / 2304.0 * e8;
  d_ = 1.0 / 112.0 * e6 + 45.0 / 2304.0 * e8;
  e_ = 5.0 / 2304.0 * e8;
}

// S = 2 b^2 dL [A sin(dB/2) cos Bm - B sin(3dB/2) cos 3Bm + C sin(5dB/2) cos 5Bm
//               - D sin(7dB/2) cos 7Bm + E sin(9dB/2) cos 9Bm]
// The half-angle form keeps the digits of a narrow trapezoid that a difference of sines loses.
double EllipsoidTrapezoids::Trapezoid(double lat1, double lat2, double dlon) const {
  const double half = (lat2 - lat1) / 2.0;
  const double mean = (lat1 + lat2) / 2.0;
  const double series = a_ * std::sin(half) * std::cos(mean) -
                        b_ * std::sin(3.0 * half) * std::cos(3.0 * mean) +
                        c_ * std::sin(5.0 * half) * std::cos(5.0 * mean) -
                        d_ * std::sin(7.0 * half) * std::cos(7.0 * mean) +
                        e_ * std::sin(9.0 * half) * std::cos(9.0 * mean);
  return 2.0 * b2_ * dlon * series;
}

// Each edge with the meridian of the ring's first vertex bounds a trapezoid whose width is the
// edge's mean longitude from that meridian; the signed trapezoids add up to the ring's area.
// Longitudes are taken from the first vertex so that a ring across 180 degrees stays whole.
double EllipsoidTrapezoids::RingArea(std::span<const double> longitudes,
                                     std::span<const double> latitudes) const {
  const size_t n = longitudes.size();
  if (n < 3) return 0.0;
  constexpr double kRadians = std::numbers::pi / 180.0;
  auto offset = [&](size_t i) {
    double d = longitudes[i] - longitudes[0];
    if (d > 180.0) d -= 360.0;
    if (d < -180.0) d += 360.0;
    return d * kRadians;
  };
  double sum = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const size_t j = i + 1 == n ? 0 : i + 1;
    const double dlon = (offset(i) + offset(j)) / 2.0;
    sum += Trapezoid(latitudes[i] * kRadians, latitudes[j] * kRadians, dlon);
  }
  return std::abs(sum);
}

}  // namespace quilmark
