#include "src/host/ellipsoid_area.h"

#include <gtest/gtest.h>

#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/PolygonArea.hpp>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "src/host/piece_adjust.h"

namespace quilmark {
namespace {

// Survey-sized patches (about 0.2 to 2 ha, vertices 3 to 15 m apart, as digitised boundaries
// are) across the country's latitudes: the survey's trapezoid sums agree with GeographicLib's
// geodesic polygon area to well under the hundredth of a square metre TBMJ is given in.
TEST(EllipsoidArea, AgreesWithTheGeodesicPolygonArea) {
  const GeographicLib::Geodesic geodesic(6378137.0, 1 / 298.257222101);
  const EllipsoidTrapezoids trapezoids(Ellipsoid{});
  std::mt19937 random(35);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (const double latitude : {18.3, 23.0, 30.6, 39.9, 45.8, 53.3}) {
    for (const int vertices : {40, 80, 160}) {
      const double radius = 25.0 + 55.0 * unit(random);  // metres
      const double longitude = 75.0 + 59.0 * unit(random);
      std::vector<double> lons, lats;
      GeographicLib::PolygonArea polygon(geodesic);
      for (int i = 0; i < vertices; ++i) {
        const double angle = 2 * std::numbers::pi * i / vertices;
        const double r = radius * (0.8 + 0.2 * unit(random));
        lats.push_back(latitude + r * std::sin(angle) / 110900.0);
        lons.push_back(longitude + r * std::cos(angle) /
                                       (111320.0 * std::cos(latitude * std::numbers::pi / 180)));
        polygon.AddPoint(lats.back(), lons.back());
      }
      double perimeter = 0, area = 0;
      polygon.Compute(false, true, perimeter, area);
      EXPECT_NEAR(trapezoids.RingArea(lons, lats), std::abs(area), 0.002)
          << "latitude " << latitude << ", " << vertices << " vertices";
    }
  }
}

// A 1' x 1' sheet corner at 30N, orientation and a closing vertex make no difference; a ring
// across 180 degrees stays whole.
TEST(EllipsoidArea, RingsAsGiven) {
  const EllipsoidTrapezoids trapezoids(Ellipsoid{});
  const double d = 1.0 / 60;
  const std::vector<double> lons{114, 114 + d, 114 + d, 114}, lats{30, 30, 30 + d, 30 + d};
  const double area = trapezoids.RingArea(lons, lats);
  EXPECT_NEAR(
      area,
      std::abs(trapezoids.Trapezoid(30 * std::numbers::pi / 180, (30 + d) * std::numbers::pi / 180,
                                    d * std::numbers::pi / 180)),
      1e-6);
  const std::vector<double> closed_lons{114, 114, 114 + d, 114 + d, 114},
      closed_lats{30, 30 + d, 30 + d, 30, 30};
  EXPECT_NEAR(trapezoids.RingArea(closed_lons, closed_lats), area, 1e-6);
  const std::vector<double> dateline{180 - d / 2, -180 + d / 2, -180 + d / 2, 180 - d / 2};
  EXPECT_NEAR(trapezoids.RingArea(dateline, lats), area, 1e-3);
}

TEST(PieceAdjust, SharesAddUpToTheRecordedArea) {
  struct Case {
    std::vector<double> computed;
    double total;
    std::vector<double> adjusted;
  };
  const Case cases[] = {
      {{500.004, 500.004}, 1000.01, {500.01, 500.00}},  // the tie: the earlier takes it
      {{1.0, 2.0, 3.0}, 100.00, {16.67, 33.33, 50.00}},
      {{0.3, 0.3, 0.3}, 1.00, {0.34, 0.33, 0.33}},
      {{0.0, 0.0}, 12.34, {12.34, 0.0}},            // nothing computed: the first takes it all
      {{1.0, 3.0}, 10.0001, {2.500025, 7.500075}},  // not in hundredths: exact shares
  };
  for (const Case& c : cases) {
    std::vector<double> areas = c.computed;
    AdjustPieces(areas, c.total);
    double sum = 0;
    for (size_t i = 0; i < areas.size(); ++i) {
      EXPECT_NEAR(areas[i], c.adjusted[i], 1e-9) << "total " << c.total << " piece " << i;
      sum += areas[i];
    }
    EXPECT_NEAR(sum, c.total, 1e-9);
  }
}

}  // namespace
}  // namespace quilmark
