#include "src/host/gdal/overlay_cutter.h"

#include <algorithm>
#include <cstdio>

#include "src/host/gdal/dataset_open.h"
#include "src/host/piece_adjust.h"

namespace quilmark {
namespace {

// Below this a computed piece is the rounding of two nearly equal areas, not land.
constexpr double kNoiseArea = 1e-6;  // m2

std::string PatchText(const PatchIn& patch) { return "图斑 FID " + std::to_string(patch.fid); }

}  // namespace

void OverlayTally::Add(const OverlayTally& other) {
  patches += other.patches;
  pieces += other.pieces;
  outside += other.outside;
  repaired += other.repaired;
  no_geometry += other.no_geometry;
  unadjusted += other.unadjusted;
  slivers += other.slivers;
  sliver_area += other.sliver_area;
  for (const std::string& sliver : other.first_slivers) {
    if (first_slivers.size() < 5) first_slivers.push_back(sliver);
  }
}

OverlayCutter::OverlayCutter(const OverlayLayer& overlay, const OGRSpatialReference* srs,
                             AreaFrom from, bool adjust, const std::string& layer)
    : overlay_(overlay),
      area_(srs, from == AreaFrom::kPlane ? AreaFrom::kPlane : AreaFrom::kEllipsoid, layer),
      adjust_(adjust) {
  const GEOSContextHandle_t context = geos_.handle();
  tree_ = GEOSSTRtree_create_r(context, 10);
  for (size_t i = 0; i < overlay.features.size(); ++i) {
    geometries_.push_back(FromWkb(geos_, overlay.features[i].wkb));
    GEOSSTRtree_insert_r(context, tree_, geometries_[i].get(), reinterpret_cast<void*>(i));
  }
  prepared_.assign(geometries_.size(), nullptr);
}

OverlayCutter::~OverlayCutter() {
  const GEOSContextHandle_t context = geos_.handle();
  for (const GEOSPreparedGeometry* prepared : prepared_) {
    if (prepared != nullptr) GEOSPreparedGeom_destroy_r(context, prepared);
  }
  GEOSSTRtree_destroy_r(context, tree_);
}

const GEOSPreparedGeometry* OverlayCutter::Prepared(size_t index) {
  if (prepared_[index] == nullptr) {
    prepared_[index] = GEOSPrepare_r(geos_.handle(), geometries_[index].get());
  }
  return prepared_[index];
}

double OverlayCutter::Area(const GEOSGeometry& geometry, const PatchIn& patch) {
  const std::optional<double> area = PolygonalArea(geos_, geometry, area_);
  if (!area) {
    ThrowLayerError(PatchText(patch) + " 的坐标无法换算为经纬度 (" +
                    LastGdalError("超出坐标系的范围") + "), 无法计算它的椭球面积");
  }
  return *area;
}

// A patch wholly inside one feature is one piece without cutting, whose area is the recorded one
// where the pieces are adjusted to it (no need to compute it); else each feature it meets gives
// the common part, and what is left of the patch's area lies outside them all (the overlay's
// features do not overlap: ReadOverlay refuses that).
void OverlayCutter::CutInto(const GEOSGeometry& patch, const PatchIn& in,
                            std::vector<PieceOut>& pieces) {
  const GEOSContextHandle_t context = geos_.handle();
  const std::vector<size_t> candidates = QueryTree(geos_, *tree_, patch);  // the overlay's order
  for (size_t index : candidates) {
    if (GEOSPreparedContains_r(context, Prepared(index), &patch) == 1) {
      const bool recorded = adjust_ && in.total && *in.total > 0.0;
      pieces.assign(1, {static_cast<int>(index), recorded ? *in.total : Area(patch, in)});
      return;
    }
  }
  const double whole = Area(patch, in);
  double inside = 0.0;
  for (size_t index : candidates) {
    if (GEOSPreparedIntersects_r(context, Prepared(index), &patch) != 1) continue;
    GeosGeometry common = Intersection(geos_, *geometries_[index], patch);
    if (!common) {
      ThrowLayerError(PatchText(in) + " 与叠加图层的要素 FID " +
                      std::to_string(overlay_.features[index].fid) + " 无法求交 (" +
                      geos_.last_error() + ")");
    }
    const double area = Area(*common, in);
    if (area <= kNoiseArea) continue;
    pieces.push_back({static_cast<int>(index), area});
    inside += area;
  }
  if (whole - inside > kNoiseArea || pieces.empty()) {
    pieces.push_back({-1, std::max(whole - inside, 0.0)});
  }
}

void OverlayCutter::Cut(const PatchIn& patch, std::vector<PieceOut>& pieces, OverlayTally& tally) {
  pieces.clear();
  ++tally.patches;
  GeosGeometry geometry = patch.wkb.empty() ? GeosGeometry(nullptr, GeosDeleter{geos_.handle()})
                                            : FromWkb(geos_, patch.wkb);
  if (!geometry) {
    if (!patch.wkb.empty()) {
      ThrowLayerError(PatchText(patch) + " 的几何图形无法读取 (" + geos_.last_error() + ")");
    }
    ++tally.no_geometry;
    pieces.push_back({-1, 0.0});
  } else {
    bool repaired = false;
    geometry = Valid(geos_, std::move(geometry), repaired);
    if (!geometry) {
      ThrowLayerError(PatchText(patch) + " 的几何图形无效且无法修复 (" + geos_.last_error() + ")");
    }
    tally.repaired += repaired ? 1 : 0;
    CutInto(*geometry, patch, pieces);
  }
  Finish(patch, pieces, tally);
}

// Slivers said, then the pieces adjusted to the recorded area.
void OverlayCutter::Finish(const PatchIn& patch, std::vector<PieceOut>& pieces,
                           OverlayTally& tally) const {
  tally.pieces += static_cast<int64_t>(pieces.size());
  for (const PieceOut& piece : pieces) {
    tally.outside += piece.overlay < 0 ? 1 : 0;
    if (pieces.size() < 2 || piece.area >= kSliverArea) continue;
    ++tally.slivers;
    tally.sliver_area += piece.area;
    if (tally.first_slivers.size() < 5) {
      char area[64];
      std::snprintf(area, sizeof area, "%.4f", piece.area);
      tally.first_slivers.push_back(
          "FID " + std::to_string(patch.fid) +
          (piece.overlay < 0
               ? std::string(" 在叠加范围外的 ")
               : " 在 FID " + std::to_string(overlay_.features[piece.overlay].fid) + " 中的 ") +
          area + " 平方米");
    }
  }
  if (!adjust_) return;
  if (!patch.total || !(*patch.total > 0.0)) {
    ++tally.unadjusted;
    return;
  }
  std::vector<double> areas;
  for (const PieceOut& piece : pieces) areas.push_back(piece.area);
  AdjustPieces(areas, *patch.total);
  for (size_t i = 0; i < pieces.size(); ++i) pieces[i].area = areas[i];
}

}  // namespace quilmark
