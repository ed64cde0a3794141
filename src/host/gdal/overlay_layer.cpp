#include "src/host/gdal/overlay_layer.h"

#include <ogrsf_frmts.h>

#include <cstdint>
#include <cstdio>
#include <memory>

#include "src/host/ascii_text.h"
#include "src/host/gdal/dataset_open.h"
#include "src/host/gdal/geometry_area.h"
#include "src/host/gdal/layer_cells.h"
#include "src/host/gdal/layer_fields.h"
#include "src/host/gdal/overlay_geos.h"

namespace quilmark {

OverlayChoice ParseOverlayChoice(std::string_view text) {
  OverlayChoice choice{std::string(TrimBlanks(text)), {}, {}};
  const size_t colon = choice.source.rfind(':');
  if (colon == std::string::npos || colon < 2) return choice;  // none, or a drive letter
  const std::string list = choice.source.substr(colon + 1);
  if (list.empty() || list.find_first_of("/\\=") != std::string::npos) return choice;
  const std::string before = choice.source.substr(0, colon);
  if (before.size() == 2 && (before[0] == 'P' || before[0] == 'p')) return choice;  // "PG:"
  choice.source = before;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t comma = std::min(list.find(',', start), list.size());
    const std::string_view field = TrimBlanks(std::string_view(list).substr(start, comma - start));
    if (!field.empty()) choice.fields.emplace_back(field);
    start = comma + 1;
  }
  return choice;
}

bool SameSystem(const OGRSpatialReference& a, const OGRSpatialReference& b) {
  const char* const options[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES",
                                 "CRITERION=EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS", nullptr};
  return a.IsSame(&b, options);
}

namespace {

std::string Square(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

// The transformation into the patches' system; nullptr where both are the same. Exactly one
// unknown system cannot be matched with the other.
std::unique_ptr<OGRCoordinateTransformation> IntoPatches(OGRLayer& layer,
                                                         const OGRSpatialReference* target,
                                                         std::string& word) {
  const OGRSpatialReference* own = layer.GetSpatialRef();
  const std::string name = layer.GetName();
  if ((own == nullptr) != (target == nullptr)) {
    ThrowLayerError("叠加图层 " + name + " 与图斑图层中有一个没有坐标系 (例如 shapefile 缺少 " +
                    ".prj 文件), 无法确定两者的坐标能否直接叠加; 请给它补上坐标系后再试");
  }
  if (own == nullptr || SameSystem(*own, *target)) return nullptr;
  OGRSpatialReference from(*own), to(*target);
  from.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  to.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  std::unique_ptr<OGRCoordinateTransformation> transform(
      OGRCreateCoordinateTransformation(&from, &to));
  if (!transform) {
    ThrowLayerError("叠加图层 " + name + " 的坐标系 " + own->GetName() + " 无法换算到图斑图层的 " +
                    target->GetName() + " (" + LastGdalError("PROJ 拒绝了换算") + ")");
  }
  word = "叠加图层 " + name + " 的坐标系 " + own->GetName() + " 与图斑图层的 " + target->GetName() +
         " 不同, 已换算到图斑图层的坐标系后叠加";
  return transform;
}

// The feature's polygon as valid WKB in the patches' system; empty where it has none.
std::string FeatureWkb(OGRFeature& feature, OGRCoordinateTransformation* transform,
                       const GeosContext& geos, bool& repaired) {
  repaired = false;
  const OGRGeometry* own = feature.GetGeometryRef();
  if (own == nullptr || own->IsEmpty()) return {};
  std::unique_ptr<OGRGeometry> geometry(own->hasCurveGeometry() ? own->getLinearGeometry()
                                                                : own->clone());
  if (transform != nullptr && geometry->transform(transform) != OGRERR_NONE) {
    ThrowLayerError("叠加图层的要素 FID " + std::to_string(feature.GetFID()) +
                    " 的坐标无法换算到图斑图层的坐标系");
  }
  std::string wkb(geometry->WkbSize(), '\0');
  geometry->exportToWkb(wkbNDR, reinterpret_cast<unsigned char*>(wkb.data()), wkbVariantIso);
  GeosGeometry valid = Valid(geos, FromWkb(geos, wkb), repaired);
  if (!valid) {
    ThrowLayerError("叠加图层的要素 FID " + std::to_string(feature.GetFID()) +
                    " 的几何图形无法读取或修复 (" + geos.last_error() + ")");
  }
  return repaired ? ToWkb(geos, *valid) : wkb;
}

void ReadFeatures(OGRLayer& layer, const std::vector<int>& fields, OGRCoordinateTransformation* ct,
                  const GeosContext& geos, OverlayLayer& overlay) {
  std::vector<OGRFieldType> types;
  for (int index : fields) types.push_back(layer.GetLayerDefn()->GetFieldDefn(index)->GetType());
  layer.ResetReading();
  for (OGRFeatureUniquePtr feature(layer.GetNextFeature()); feature;
       feature.reset(layer.GetNextFeature())) {
    bool repaired = false;
    OverlayFeature read{feature->GetFID(), FeatureWkb(*feature, ct, geos, repaired), {}};
    if (read.wkb.empty()) {
      ++overlay.without_area;
      continue;
    }
    overlay.repaired += repaired ? 1 : 0;
    read.cells.resize(fields.size());
    for (size_t i = 0; i < fields.size(); ++i) {
      ReadFeatureCode(*feature, fields[i], types[i], read.cells[i]);
    }
    overlay.features.push_back(std::move(read));
  }
}

// Two overlay features that overlap would each carry the patch's part under both: it would be
// counted twice. Shared edges, and overlaps of less than 0.01 m2 left by digitising, do not count.
void RefuseOverlaps(const OverlayLayer& overlay, GeometryArea& area) {
  GeosContext geos;
  const GEOSContextHandle_t context = geos.handle();
  std::vector<GeosGeometry> geometries;
  GEOSSTRtree* index = GEOSSTRtree_create_r(context, 10);
  for (size_t i = 0; i < overlay.features.size(); ++i) {
    geometries.push_back(FromWkb(geos, overlay.features[i].wkb));
    GEOSSTRtree_insert_r(context, index, geometries[i].get(), reinterpret_cast<void*>(i));
  }
  int64_t overlaps = 0;
  std::string first;
  for (size_t i = 0; i < geometries.size(); ++i) {
    const GEOSPreparedGeometry* prepared = GEOSPrepare_r(context, geometries[i].get());
    for (size_t j : QueryTree(geos, *index, *geometries[i])) {
      if (j <= i || GEOSPreparedIntersects_r(context, prepared, geometries[j].get()) != 1 ||
          GEOSPreparedTouches_r(context, prepared, geometries[j].get()) == 1) {
        continue;
      }
      GeosGeometry common = Intersection(geos, *geometries[i], *geometries[j]);
      const std::optional<double> shared = common ? PolygonalArea(geos, *common, area) : 0.0;
      if (!shared || *shared <= 0.01) continue;
      if (++overlaps <= 5) {
        first += (overlaps > 1 ? ", FID " : "FID ") + std::to_string(overlay.features[i].fid) +
                 " 与 FID " + std::to_string(overlay.features[j].fid) + " 重叠 " + Square(*shared) +
                 " 平方米";
      }
    }
    GEOSPreparedGeom_destroy_r(context, prepared);
  }
  GEOSSTRtree_destroy_r(context, index);
  if (overlaps == 0) return;
  ThrowLayerError("叠加图层 " + overlay.name + " 中有 " + std::to_string(overlaps) +
                  " 处要素互相重叠 (" + first + (overlaps > 5 ? ", …" : "") +
                  "); 重叠部分里的图斑会被算两次。请先消除重叠 (例如在 GIS 中检查拓扑) 后再试");
}

}  // namespace

OverlayLayer ReadOverlay(const OverlayChoice& choice, const OGRSpatialReference* target,
                         GeometryArea& area) {
  GDALDatasetUniquePtr dataset = OpenDataset(choice.source);
  OGRLayer& layer = ChooseLayer(*dataset, choice.source, choice.layer);
  OverlayLayer overlay;
  overlay.name = layer.GetName();
  std::vector<int> fields;
  for (const std::string& field : choice.fields) {
    fields.push_back(ChooseField(*layer.GetLayerDefn(), field, field, overlay.name));
    overlay.fields.emplace_back(layer.GetLayerDefn()->GetFieldDefn(fields.back())->GetNameRef());
  }
  std::unique_ptr<OGRCoordinateTransformation> transform =
      IntoPatches(layer, target, overlay.reprojected);
  if (target != nullptr) overlay.patches_srs = std::make_shared<OGRSpatialReference>(*target);
  GeosContext geos;
  ReadFeatures(layer, fields, transform.get(), geos, overlay);
  if (overlay.features.empty()) {
    ThrowLayerError("叠加图层 " + overlay.name + " (" + SourceForMessage(choice.source) +
                    ") 中没有任何面状要素, 无法叠加; 请检查叠加图层是否选对");
  }
  RefuseOverlaps(overlay, area);
  return overlay;
}

}  // namespace quilmark
