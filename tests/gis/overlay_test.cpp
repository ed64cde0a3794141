#include <gtest/gtest.h>
#include <ogr_spatialref.h>

#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/PolygonArea.hpp>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "src/host/gdal/ellipsoid_check.h"
#include "src/host/gdal/overlay_rows.h"
#include "src/host/sheet_host.h"
#include "tests/gis/gis_files.h"

namespace quilmark {
namespace {

using testing::GisFiles;
using testing::Shell;

// Patches: a 6 x 4 grid of 100 m squares in CGCS2000's 3-degree zone at 114E (EPSG:4547), their
// edges digitised every 10 m; planning zones: A over x 0-250, B over x 250-450, nothing east of
// that. Column 3 of the grid is halved by the A/B edge, column 5 by B's east edge; column 6 lies
// outside. The expected areas come from GeographicLib's geodesic area of the same rectangles, not
// from the survey's formula.
constexpr double kX0 = 500000.0, kY0 = 3400000.0;

class SurveyRectangles {
 public:
  SurveyRectangles() : geodesic_(6378137.0, 1 / 298.257222101) {
    OGRSpatialReference gk, geographic;
    gk.importFromEPSG(4547);
    geographic.importFromEPSG(4490);
    gk.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    geographic.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    back_.reset(OGRCreateCoordinateTransformation(&gk, &geographic));
  }

  // The rectangle's boundary every 10 m, counter-clockwise, in metres east and north of the origin.
  static std::vector<std::pair<double, double>> Boundary(double x1, double y1, double x2,
                                                         double y2) {
    std::vector<std::pair<double, double>> points;
    auto edge = [&](double ax, double ay, double bx, double by) {
      const int steps = static_cast<int>(std::round(std::hypot(bx - ax, by - ay) / 10.0));
      for (int i = 0; i < steps; ++i) {
        points.emplace_back(ax + (bx - ax) * i / steps, ay + (by - ay) * i / steps);
      }
    };
    edge(x1, y1, x2, y1);
    edge(x2, y1, x2, y2);
    edge(x2, y2, x1, y2);
    edge(x1, y2, x1, y1);
    return points;
  }

  double GeodesicArea(double x1, double y1, double x2, double y2) const {
    GeographicLib::PolygonArea polygon(geodesic_);
    for (auto [x, y] : Boundary(x1, y1, x2, y2)) {
      double lon = kX0 + x, lat = kY0 + y;
      back_->Transform(1, &lon, &lat);
      polygon.AddPoint(lat, lon);
    }
    double perimeter = 0, area = 0;
    polygon.Compute(false, true, perimeter, area);
    return std::abs(area);
  }

  static std::string Wkt(double x1, double y1, double x2, double y2) {
    std::string wkt = "POLYGON ((";
    auto points = Boundary(x1, y1, x2, y2);
    points.push_back(points.front());
    for (size_t i = 0; i < points.size(); ++i) {
      char text[64];
      std::snprintf(text, sizeof text, "%s%.3f %.3f", i ? "," : "", kX0 + points[i].first,
                    kY0 + points[i].second);
      wkt += text;
    }
    return wkt + "))";
  }

 private:
  GeographicLib::Geodesic geodesic_;
  std::unique_ptr<OGRCoordinateTransformation> back_;
};

struct Zone {
  const char* name;
  double x1, x2;
};

class OverlayLayers : public ::testing::Test {
 protected:
  // Writes the CSV and makes it a layer of `format` ("GPKG", "ESRI Shapefile") in `srs`.
  std::string Layer(const std::string& name, const std::string& csv, const char* format,
                    const char* extension, const char* srs = "EPSG:4547") {
    const std::string from = (files_.folder() / (name + ".csv")).string();
    std::ofstream(from) << csv;
    const std::string to = (files_.folder() / (name + extension)).string();
    const std::string systems = std::string(srs) == "EPSG:4547"
                                    ? " -a_srs EPSG:4547"
                                    : std::string(" -s_srs EPSG:4547 -t_srs ") + srs;
    EXPECT_TRUE(Shell("ogr2ogr -f '" + std::string(format) + "'" + systems +
                      " -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO " + to + " " + from +
                      " -nln " + name + " 2>/dev/null"));
    return to;
  }

  // The grid's patches, TBMJ each one's geodesic area to the hundredth (one off by `off`).
  std::string PatchesCsv(double off = 0.0) {
    std::string csv = "WKT,DLBM,ZLDWDM,TBMJ\n";
    for (int column = 0; column < 6; ++column) {
      for (int row = 0; row < 4; ++row) {
        const double x = column * 100.0, y = row * 100.0;
        double tbmj = std::round(rectangles_.GeodesicArea(x, y, x + 100, y + 100) * 100) / 100;
        if (column == 0 && row == 0) tbmj += off;
        char line[64];
        std::snprintf(line, sizeof line, ",%s,%s,%.2f\n", row % 2 ? "0101" : "0301",
                      column < 3 ? "441900101" : "441900102", tbmj);
        csv += "\"" + SurveyRectangles::Wkt(x, y, x + 100, y + 100) + "\"" + line;
      }
    }
    return csv;
  }

  static std::string ZonesCsv(const std::vector<Zone>& zones) {
    std::string csv = "WKT,YDYH\n";
    for (const Zone& zone : zones) {
      csv += "\"" + SurveyRectangles::Wkt(zone.x1, -50, zone.x2, 450) + "\"," + zone.name + "\n";
    }
    return csv;
  }

  // Area per planning zone and class of the pieces, with the overlay's words.
  std::map<std::string, double> Sums(const std::string& patches, const std::string& zones,
                                     std::vector<std::string>* words = nullptr) {
    LayerRequest request;
    request.source = patches;
    request.zone_field = "ydyh";  // the overlay's field, whatever its case
    request.class_field = "DLBM";
    request.area_field = "TBMJ";
    OverlayReport report;
    auto overlay = ReadOverlayFor(request, ParseOverlayChoice(zones + ":YDYH"), report);
    OpenedLayer opened = OpenOverlayRows(request, overlay, report);
    std::map<std::string, double> sums;
    SourceRow row;
    while (opened.rows->Next(row)) {
      sums[std::get<std::string>(*row.zone) + "/" + std::get<std::string>(*row.class_)] +=
          std::get<double>(*row.area);
    }
    opened.rows.reset();
    if (words != nullptr) *words = report.Words();
    return sums;
  }

  // What the pieces should hold: each patch's TBMJ shared by the geodesic areas of its parts.
  std::map<std::string, double> Expected(const std::vector<Zone>& zones) {
    std::map<std::string, double> sums;
    for (int column = 0; column < 6; ++column) {
      for (int row = 0; row < 4; ++row) {
        const double x = column * 100.0, y = row * 100.0;
        const double whole = rectangles_.GeodesicArea(x, y, x + 100, y + 100);
        const double tbmj = std::round(whole * 100) / 100;
        const std::string type = row % 2 ? "0101" : "0301";
        double left = whole;
        for (const Zone& zone : zones) {
          const double x1 = std::max(x, zone.x1), x2 = std::min(x + 100, zone.x2);
          if (x2 <= x1) continue;
          const double part = rectangles_.GeodesicArea(x1, y, x2, y + 100);
          sums[std::string(zone.name) + "/" + type] += tbmj * part / whole;
          left -= part;
        }
        if (left > 1e-3) sums[std::string(kOutsideOverlay) + "/" + type] += tbmj * left / whole;
      }
    }
    return sums;
  }

  static void ExpectNear(const std::map<std::string, double>& got,
                         const std::map<std::string, double>& expected, double tolerance) {
    ASSERT_EQ(got.size(), expected.size());
    for (const auto& [key, area] : expected) {
      ASSERT_TRUE(got.count(key)) << key;
      EXPECT_NEAR(got.at(key), area, tolerance) << key;
    }
  }

  GisFiles files_;
  SurveyRectangles rectangles_;
  const std::vector<Zone> zones_{{"A", 0, 250}, {"B", 250, 450}};
};

// The pieces' areas, adjusted to TBMJ, sum per planning zone and class to the independent
// shares (within a hundredth per halved patch), add up to the layer's TBMJ exactly, and are the
// same from a GeoPackage and a shapefile.
TEST_F(OverlayLayers, PiecesShareTheSurveyAreas) {
  const std::string csv = PatchesCsv();
  const auto gpkg = Sums(Layer("patches", csv, "GPKG", ".gpkg"),
                         Layer("zones", ZonesCsv(zones_), "GPKG", ".gpkg"));
  ExpectNear(gpkg, Expected(zones_), 0.04);
  double total = 0, tbmj = 0;
  for (const auto& [key, area] : gpkg) total += area;
  for (const auto& [key, area] : Expected(zones_)) tbmj += area;
  EXPECT_NEAR(total, tbmj, 1e-6);
  const auto shp = Sums(Layer("patches", csv, "ESRI Shapefile", ".shp"),
                        Layer("zones", ZonesCsv(zones_), "ESRI Shapefile", ".shp"));
  EXPECT_EQ(shp, gpkg);
}

// Zones in geographic CGCS2000 are taken into the patches' system with a word; zones that
// overlap are refused, naming the pair.
TEST_F(OverlayLayers, ReprojectsOrRefuses) {
  const std::string patches = Layer("patches", PatchesCsv(), "GPKG", ".gpkg");
  std::vector<std::string> words;
  const auto sums =
      Sums(patches, Layer("zones", ZonesCsv(zones_), "GPKG", ".gpkg", "EPSG:4490"), &words);
  ExpectNear(sums, Expected(zones_), 0.05);
  ASSERT_GE(words.size(), 2u);
  EXPECT_NE(words[1].find("已换算"), std::string::npos) << words[1];

  const std::string overlapping =
      Layer("overlapping", ZonesCsv({{"A", 0, 250}, {"B", 200, 450}}), "GPKG", ".gpkg");
  try {
    Sums(patches, overlapping);
    FAIL() << "overlapping zones were taken";
  } catch (const HostError& error) {
    EXPECT_NE(std::string(error.what()).find("FID 1 与 FID 2 重叠"), std::string::npos)
        << error.what();
  }
}

// The check alone: TBMJ made by the survey's rule agrees with the computed ellipsoidal area;
// one patch off by 5 hundredths is listed by its feature id.
TEST_F(OverlayLayers, CheckListsThePatchesOff) {
  LayerRequest request;
  request.zone_field = "ZLDWDM";
  request.area_field = "TBMJ";
  request.source = Layer("agree", PatchesCsv(), "GPKG", ".gpkg");
  const EllipsoidCheck agree = CheckEllipsoidAreas(request);
  EXPECT_EQ(agree.patches, 24);
  EXPECT_EQ(agree.off, 0) << agree.largest;
  request.source = Layer("off", PatchesCsv(0.05), "GPKG", ".gpkg");
  const EllipsoidCheck off = CheckEllipsoidAreas(request);
  ASSERT_EQ(off.off, 1);
  EXPECT_EQ(off.first[0].label, "FID 1");
  EXPECT_NEAR(off.first[0].field - off.first[0].computed, 0.05, 0.006);
}

// The field list after the last colon, unless that colon belongs to the source.
TEST(OverlayChoice, FieldsAfterTheColon) {
  const struct {
    const char* text;
    const char* source;
    std::vector<std::string> fields;
  } cases[] = {
      {"规划.gpkg:YDYH, GHFQ", "规划.gpkg", {"YDYH", "GHFQ"}},
      {"红线.shp", "红线.shp", {}},
      {"C:/data/规划.gpkg", "C:/data/规划.gpkg", {}},
      {"C:/data/规划.gpkg:YDYH", "C:/data/规划.gpkg", {"YDYH"}},
      {"PG:dbname=gis host=db", "PG:dbname=gis host=db", {}},
      {"PG:dbname=gis:YDYH", "PG:dbname=gis", {"YDYH"}},
  };
  for (const auto& c : cases) {
    const OverlayChoice choice = ParseOverlayChoice(c.text);
    EXPECT_EQ(choice.source, c.source) << c.text;
    EXPECT_EQ(choice.fields, c.fields) << c.text;
  }
}

}  // namespace
}  // namespace quilmark
