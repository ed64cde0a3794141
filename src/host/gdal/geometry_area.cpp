#include "src/host/gdal/geometry_area.h"

#include <cmath>

#include "src/host/gdal/dataset_open.h"

namespace quilmark {

namespace {

// The layer's geographic system, in longitude-latitude order whatever its authority says.
std::unique_ptr<OGRCoordinateTransformation> ToGeographic(const OGRSpatialReference& srs,
                                                          const std::string& layer) {
  OGRSpatialReference source(srs);
  source.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  std::unique_ptr<OGRSpatialReference> geographic(source.CloneGeogCS());
  if (!geographic) {
    ThrowLayerError("图层 " + layer + " 的坐标系 " + srs.GetName() +
                    " 没有对应的经纬度坐标系, 无法计算椭球面积");
  }
  geographic->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  std::unique_ptr<OGRCoordinateTransformation> transform(
      OGRCreateCoordinateTransformation(&source, geographic.get()));
  if (!transform) {
    ThrowLayerError("图层 " + layer + " 的坐标无法换算为经纬度 (" +
                    LastGdalError("PROJ 拒绝了坐标系 " + std::string(srs.GetName())) +
                    "), 无法计算椭球面积");
  }
  return transform;
}

}  // namespace

GeometryArea::GeometryArea(const OGRSpatialReference* srs, AreaFrom from,
                           const std::string& layer) {
  if (from == AreaFrom::kEllipsoid) {
    if (srs == nullptr) {
      ThrowLayerError("图层 " + layer +
                      " 没有坐标系 (例如 shapefile 缺少 .prj 文件), 无法计算椭球面积; 请补上"
                      "坐标系 (如 CGCS2000 3 度带高斯-克吕格投影) 后再试");
    }
    transform_ = ToGeographic(*srs, layer);
    OGRErr error = OGRERR_NONE;
    const double semi_major = srs->GetSemiMajor(&error);
    const double inverse_flattening = srs->GetInvFlattening(&error);
    trapezoids_.emplace(Ellipsoid{semi_major, inverse_flattening});
  } else if (srs != nullptr && srs->IsGeographic()) {
    ThrowLayerError("图层 " + layer + " 的坐标是经纬度 (地理坐标系 " + srs->GetName() +
                    "), 按度计算的平面面积没有意义; 请用椭球面积 (命令行: --area-from "
                    "ellipsoid), 或先投影到平面坐标系, 或指定面积字段 (命令行: --area-column "
                    "字段名或序号)");
  }
}

GeometryArea::~GeometryArea() = default;

std::optional<double> GeometryArea::Of(const OGRGeometry& geometry) {
  if (!transform_) {
    return OGR_G_Area(OGRGeometry::ToHandle(const_cast<OGRGeometry*>(&geometry)));
  }
  switch (wkbFlatten(geometry.getGeometryType())) {
    case wkbPolygon:
      return Polygon(*geometry.toPolygon());
    case wkbMultiPolygon:
    case wkbGeometryCollection: {
      double sum = 0.0;
      for (const OGRGeometry* part : *geometry.toGeometryCollection()) {
        const std::optional<double> area = Of(*part);
        if (!area) return std::nullopt;
        sum += *area;
      }
      return sum;
    }
    default:
      if (geometry.hasCurveGeometry()) {
        std::unique_ptr<OGRGeometry> linear(geometry.getLinearGeometry());
        if (linear) return Of(*linear);
      }
      return 0.0;  // points and lines have no area
  }
}

// The outer ring less its holes, each taken whatever its orientation.
std::optional<double> GeometryArea::Polygon(const OGRPolygon& polygon) {
  double area = 0.0;
  bool outer = true;
  for (const OGRLinearRing* ring : polygon) {
    const std::optional<double> part = Ring(*ring);
    if (!part) return std::nullopt;
    area += outer ? *part : -*part;
    outer = false;
  }
  return area;
}

std::optional<double> GeometryArea::Ring(const OGRLinearRing& ring) {
  const int n = ring.getNumPoints();
  x_.resize(static_cast<size_t>(n));
  y_.resize(static_cast<size_t>(n));
  ring.getPoints(x_.data(), sizeof(double), y_.data(), sizeof(double));
  return Ring(x_, y_);
}

std::optional<double> GeometryArea::Ring(std::vector<double>& x, std::vector<double>& y) {
  if (!transform_) {
    double twice = 0.0;  // the shoelace sum, from the first vertex to keep the digits
    for (size_t i = 1; i + 1 < x.size(); ++i) {
      twice += (x[i] - x[0]) * (y[i + 1] - y[0]) - (x[i + 1] - x[0]) * (y[i] - y[0]);
    }
    return std::abs(twice) / 2.0;
  }
  if (x.size() < 3) return 0.0;
  if (!transform_->Transform(x.size(), x.data(), y.data())) return std::nullopt;
  return trapezoids_->RingArea(x, y);
}

}  // namespace quilmark
