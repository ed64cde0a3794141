#include "src/host/gdal/ellipsoid_check.h"

#include <ogrsf_frmts.h>

#include <cmath>

#include "src/host/gdal/dataset_open.h"
#include "src/host/gdal/geometry_area.h"
#include "src/host/gdal/layer_fields.h"

namespace quilmark {
namespace {

void Compare(const std::string& label, double field, double computed, double tolerance,
             size_t listed, EllipsoidCheck& check) {
  ++check.patches;
  const double difference = std::abs(field - computed);
  if (difference > check.largest) check.largest = difference;
  if (difference <= tolerance) return;
  ++check.off;
  if (check.first.size() < listed) check.first.push_back({label, field, computed});
}

}  // namespace

// Feature by feature, only the area field and the geometry read.
EllipsoidCheck CheckEllipsoidAreas(const LayerRequest& request, double tolerance, size_t listed) {
  if (!request.area_field) ThrowLayerError("没有指定要核对的面积字段 (命令行: --area-column)");
  GDALDatasetUniquePtr dataset = OpenDataset(request.source);
  OGRLayer& layer = ChooseLayer(*dataset, request.source, request.layer);
  const OGRFeatureDefn& fields = *layer.GetLayerDefn();
  const int field = ChooseField(fields, *request.area_field, "面积", layer.GetName());
  GeometryArea area(layer.GetSpatialRef(), AreaFrom::kEllipsoid, layer.GetName());
  if (!request.where.empty() && layer.SetAttributeFilter(request.where.c_str()) != OGRERR_NONE) {
    ThrowLayerError("筛选条件 \"" + request.where + "\" 无效: " + LastGdalError("无法解析"));
  }
  EllipsoidCheck check;
  CPLErrorReset();
  for (OGRFeatureUniquePtr feature(layer.GetNextFeature()); feature;
       feature.reset(layer.GetNextFeature())) {
    const std::string label = "FID " + std::to_string(feature->GetFID());
    const OGRGeometry* geometry = feature->GetGeometryRef();
    const std::optional<double> computed = geometry != nullptr ? area.Of(*geometry) : 0.0;
    if (!computed) {
      ThrowLayerError(label + " 的坐标无法换算为经纬度 (" + LastGdalError("超出坐标系的范围") +
                      "), 无法计算它的椭球面积");
    }
    Compare(label, feature->GetFieldAsDouble(field), *computed, tolerance, listed, check);
  }
  if (CPLGetLastErrorType() >= CE_Failure) {
    ThrowLayerError("读到第 " + std::to_string(check.patches + 1) +
                    " 个要素时出错: " + LastGdalError("数据源中断"));
  }
  return check;
}

}  // namespace quilmark
