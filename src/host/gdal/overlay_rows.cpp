#include "src/host/gdal/overlay_rows.h"

#include <ogrsf_frmts.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "src/host/ascii_text.h"
#include "src/host/gdal/dataset_open.h"
#include "src/host/gdal/layer_cells.h"
#include "src/host/gdal/layer_fields.h"
#include "src/host/gdal/overlay_cutter.h"

namespace quilmark {
namespace {

constexpr size_t kBatch = 256;  // patches cut by one worker at a time

// Where a piece's cell comes from: the overlay feature's carried field, or the patch's.
struct Slot {
  bool overlay = false;
  size_t index = 0;  // into OverlayFeature::cells, or into PatchIn::cells
};

// The patch layer's fields the pieces carry, and the slots of the run's cells.
struct PieceFields {
  std::vector<int> patch_fields;  // layer indices, in PatchIn::cells order
  std::vector<bool> patch_codes;  // read as codes (zone, class)
  int total = kNoField;           // the recorded area
  std::optional<Slot> zone, class_, deduction;
  std::vector<Slot> extras;
};

Slot ChooseSlot(const OverlayLayer& overlay, const OGRFeatureDefn& fields, const std::string& name,
                std::string_view role, const std::string& layer, bool code, PieceFields& chosen) {
  for (size_t i = 0; i < overlay.fields.size(); ++i) {
    if (EQUAL(overlay.fields[i].c_str(), std::string(TrimBlanks(name)).c_str())) return {true, i};
  }
  chosen.patch_fields.push_back(ChooseField(fields, name, role, layer));
  chosen.patch_codes.push_back(code);
  return {false, chosen.patch_fields.size() - 1};
}

PieceFields ChoosePieceFields(const LayerRequest& request, const OverlayLayer& overlay,
                              OGRLayer& layer) {
  const OGRFeatureDefn& fields = *layer.GetLayerDefn();
  const std::string name = layer.GetName();
  PieceFields chosen;
  chosen.zone = ChooseSlot(overlay, fields, request.zone_field, "区域", name, true, chosen);
  if (request.class_field) {
    chosen.class_ = ChooseSlot(overlay, fields, *request.class_field, "类别", name, true, chosen);
  }
  if (request.deduction_field) {
    chosen.deduction =
        ChooseSlot(overlay, fields, *request.deduction_field, "扣除系数", name, false, chosen);
  }
  for (const std::string& extra : request.extra_fields) {
    chosen.extras.push_back(ChooseSlot(overlay, fields, extra, extra, name, false, chosen));
  }
  if (request.area_field && request.area_from == AreaFrom::kField) {
    chosen.total = ChooseField(fields, *request.area_field, "面积", name);
  }
  return chosen;
}

// A batch of patches and, once cut, their pieces.
struct Job {
  std::vector<PatchIn> patches;
  std::vector<std::vector<PieceOut>> pieces;
  OverlayTally tally;
  enum class State { kWaiting, kCutting, kDone } state = State::kWaiting;
  std::exception_ptr error;
};

class OverlayRows : public RowSource {
 public:
  OverlayRows(GDALDatasetUniquePtr dataset, OGRLayer& layer, const LayerRequest& request,
              std::shared_ptr<const OverlayLayer> overlay, PieceFields fields,
              OverlayReport& report, bool inside_only)
      : dataset_(std::move(dataset)),
        layer_(layer),
        overlay_(std::move(overlay)),
        fields_(std::move(fields)),
        report_(report),
        inside_only_(inside_only) {
    for (int index : fields_.patch_fields) {
      types_.push_back(layer.GetLayerDefn()->GetFieldDefn(index)->GetType());
    }
    const size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const AreaFrom from = request.area_from;
    const bool adjust = fields_.total != kNoField;
    for (size_t i = 0; i < std::min<size_t>(cores, 8); ++i) {
      workers_.emplace_back([this, from, adjust] { Work(from, adjust); });
    }
  }

  ~OverlayRows() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& worker : workers_) worker.join();
  }

  bool Next(SourceRow& row) override {
    while (true) {
      while (!current_ || patch_ >= current_->patches.size()) {
        if (!TakeJob()) return false;
      }
      const PatchIn& patch = current_->patches[patch_];
      const PieceOut& piece = current_->pieces[patch_][piece_];
      if (++piece_ >= current_->pieces[patch_].size()) {
        piece_ = 0;
        ++patch_;
      }
      if (inside_only_ && piece.overlay < 0) continue;
      Fill(patch, piece, row);
      return true;
    }
  }

  // A message names the piece taken last (a deduction coefficient out of range stops the run
  // there) by its patch; pieces are not remembered, so memory stays flat.
  std::string RowLabel(int64_t number) const override {
    const std::string piece = "第 " + std::to_string(number) + " 块";
    if (number != count_) return piece;
    return "FID " + std::to_string(last_fid_) + " (" + piece + ")";
  }

 private:
  void Work(AreaFrom from, bool adjust);
  bool ReadBatch(Job& job);
  bool TakeJob();
  void Fill(const PatchIn& patch, const PieceOut& piece, SourceRow& row);
  void FillCell(const Slot& slot, const PatchIn& patch, const PieceOut& piece,
                std::optional<CellValue>& cell) const;

  GDALDatasetUniquePtr dataset_;
  OGRLayer& layer_;
  std::shared_ptr<const OverlayLayer> overlay_;
  const PieceFields fields_;
  OverlayReport& report_;
  const bool inside_only_;
  std::vector<OGRFieldType> types_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<Job>> jobs_;  // in the patches' order
  bool stopping_ = false;
  bool read_all_ = false;
  std::vector<std::thread> workers_;

  std::unique_ptr<Job> current_;
  size_t patch_ = 0, piece_ = 0;
  int64_t count_ = 0;     // pieces taken
  int64_t last_fid_ = 0;  // the patch of the piece taken last
};

// Each worker cuts with its own GEOS context and prepared overlay; the first waiting batch is
// the one it takes, so the batches are cut in about the order they are read.
void OverlayRows::Work(AreaFrom from, bool adjust) {
  std::unique_ptr<OverlayCutter> cutter;
  std::exception_ptr failed;
  try {
    cutter = std::make_unique<OverlayCutter>(*overlay_, layer_.GetSpatialRef(), from, adjust,
                                             layer_.GetName());
  } catch (...) {
    failed = std::current_exception();
  }
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    Job* job = nullptr;
    changed_.wait(lock, [&] {
      if (stopping_) return true;  // the run has stopped taking pieces: no more cutting
      for (const auto& waiting : jobs_) {
        if (waiting->state == Job::State::kWaiting) {
          job = waiting.get();
          return true;
        }
      }
      return false;
    });
    if (stopping_) return;
    job->state = Job::State::kCutting;
    lock.unlock();
    try {
      if (failed) std::rethrow_exception(failed);
      job->pieces.resize(job->patches.size());
      for (size_t i = 0; i < job->patches.size(); ++i) {
        cutter->Cut(job->patches[i], job->pieces[i], job->tally);
      }
    } catch (...) {
      job->error = std::current_exception();
    }
    lock.lock();
    job->state = Job::State::kDone;
    changed_.notify_all();
  }
}

// Reads up to a batch of patches; false once the layer has no more.
bool OverlayRows::ReadBatch(Job& job) {
  while (job.patches.size() < kBatch) {
    CPLErrorReset();
    OGRFeatureUniquePtr feature(layer_.GetNextFeature());
    if (!feature) {
      if (CPLGetLastErrorType() >= CE_Failure) {
        ThrowLayerError("读图斑时出错: " + LastGdalError("数据源中断"));
      }
      return false;
    }
    PatchIn patch;
    patch.fid = feature->GetFID();
    const OGRGeometry* geometry = feature->GetGeometryRef();
    if (geometry != nullptr && !geometry->IsEmpty()) {
      std::unique_ptr<OGRGeometry> linear(
          geometry->hasCurveGeometry() ? geometry->getLinearGeometry() : nullptr);
      const OGRGeometry& flat = linear ? *linear : *geometry;
      patch.wkb.resize(flat.WkbSize());
      flat.exportToWkb(wkbNDR, reinterpret_cast<unsigned char*>(patch.wkb.data()), wkbVariantIso);
    }
    if (fields_.total != kNoField && feature->IsFieldSetAndNotNull(fields_.total)) {
      patch.total = feature->GetFieldAsDouble(fields_.total);
    }
    patch.cells.resize(fields_.patch_fields.size());
    for (size_t i = 0; i < fields_.patch_fields.size(); ++i) {
      if (fields_.patch_codes[i]) {
        ReadFeatureCode(*feature, fields_.patch_fields[i], types_[i], patch.cells[i]);
      } else {
        ReadFeatureField(*feature, fields_.patch_fields[i], types_[i], patch.cells[i]);
      }
    }
    job.patches.push_back(std::move(patch));
  }
  return true;
}

// Keeps the workers a few batches ahead, then takes the oldest batch once it is cut.
bool OverlayRows::TakeJob() {
  const size_t ahead = 2 * workers_.size() + 2;
  while (!read_all_ && jobs_.size() < ahead) {
    auto job = std::make_unique<Job>();
    read_all_ = !ReadBatch(*job);
    if (job->patches.empty()) break;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      jobs_.push_back(std::move(job));
    }
    changed_.notify_all();
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (jobs_.empty()) return false;
  changed_.wait(lock, [this] { return jobs_.front()->state == Job::State::kDone; });
  current_ = std::move(jobs_.front());
  jobs_.pop_front();
  lock.unlock();
  if (current_->error) std::rethrow_exception(current_->error);
  report_.tally().Add(current_->tally);
  patch_ = 0;
  piece_ = 0;
  return true;
}

void OverlayRows::FillCell(const Slot& slot, const PatchIn& patch, const PieceOut& piece,
                           std::optional<CellValue>& cell) const {
  if (!slot.overlay) {
    cell = patch.cells[slot.index];
  } else if (piece.overlay < 0) {
    SetText(cell, kOutsideOverlay);
  } else {
    cell = overlay_->features[static_cast<size_t>(piece.overlay)].cells[slot.index];
  }
}

void OverlayRows::Fill(const PatchIn& patch, const PieceOut& piece, SourceRow& row) {
  last_fid_ = patch.fid;
  row.number = ++count_;
  row.patches = 1;
  row.ridge.reset();
  FillCell(*fields_.zone, patch, piece, row.zone);
  if (fields_.class_) {
    FillCell(*fields_.class_, patch, piece, row.class_);
    row.cross_class = row.class_;
  }
  if (fields_.deduction) FillCell(*fields_.deduction, patch, piece, row.deduction);
  row.fields.resize(fields_.extras.size());
  for (size_t i = 0; i < fields_.extras.size(); ++i) {
    FillCell(fields_.extras[i], patch, piece, row.fields[i]);
  }
  row.area.emplace(piece.area);
}

// Only the fields the pieces carry and the recorded area are read, with the geometry.
void IgnoreOtherFields(OGRLayer& layer, const PieceFields& chosen) {
  const OGRFeatureDefn& fields = *layer.GetLayerDefn();
  std::vector<const char*> ignored;
  for (int i = 0; i < fields.GetFieldCount(); ++i) {
    const auto& used = chosen.patch_fields;
    if (i != chosen.total && std::find(used.begin(), used.end(), i) == used.end()) {
      ignored.push_back(fields.GetFieldDefn(i)->GetNameRef());
    }
  }
  ignored.push_back("OGR_STYLE");
  ignored.push_back(nullptr);
  layer.SetIgnoredFields(ignored.data());
}

// Every source is cut by the overlay read for the first: each must be in the same system.
void CheckSameSystem(OGRLayer& layer, const OverlayLayer& overlay) {
  const OGRSpatialReference* own = layer.GetSpatialRef();
  const OGRSpatialReference* first = overlay.patches_srs.get();
  const bool same = own == nullptr || first == nullptr ? own == first : SameSystem(*own, *first);
  if (!same) {
    ThrowLayerError(std::string("图层 ") + layer.GetName() +
                    " 的坐标系与第一个数据源的不同; 叠加时各数据源须在同一坐标系中");
  }
}

std::string Square(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

}  // namespace

OverlayReport::OverlayReport() : tally_(std::make_unique<OverlayTally>()) {}
OverlayReport::~OverlayReport() = default;

std::vector<std::string> OverlayReport::Words() const {
  const OverlayTally& t = *tally_;
  std::vector<std::string> words{
      "叠加: 图层 " + overlay_name + " 的 " + std::to_string(overlay_features) + " 个要素与 " +
      std::to_string(t.patches) + " 个图斑相交, 得到 " + std::to_string(t.pieces) + " 块 (其中 " +
      std::to_string(t.outside) + " 块在叠加范围外, " +
      (inside_only ? std::string("未计入汇总")
                   : "叠加图层的字段记为 " + std::string(kOutsideOverlay)) +
      ")"};
  if (!reprojected.empty()) words.push_back(reprojected);
  if (overlay_repaired > 0) {
    words.push_back("叠加图层中 " + std::to_string(overlay_repaired) +
                    " 个无效的几何图形已修复 (MakeValid) 后参与叠加");
  }
  if (overlay_without_area > 0) {
    words.push_back("叠加图层中 " + std::to_string(overlay_without_area) +
                    " 个要素没有面状几何图形, 未参与叠加");
  }
  if (t.repaired > 0) {
    words.push_back("图斑中 " + std::to_string(t.repaired) +
                    " 个无效的几何图形已修复 (MakeValid) 后参与叠加");
  }
  if (t.no_geometry > 0) {
    words.push_back(std::to_string(t.no_geometry) + " 个图斑没有几何图形, 整块计为叠加范围外");
  }
  if (t.slivers > 0) {
    std::string first;
    for (const std::string& sliver : t.first_slivers) first += (first.empty() ? "" : ", ") + sliver;
    words.push_back(std::to_string(t.slivers) + " 块面积小于 1 平方米的碎片 (合计 " +
                    Square(t.sliver_area) + " 平方米) 已计入汇总: " + first +
                    (t.slivers > static_cast<int64_t>(t.first_slivers.size()) ? ", …" : ""));
  }
  if (t.unadjusted > 0) {
    words.push_back(std::to_string(t.unadjusted) +
                    " 个图斑的面积字段为空或不大于 0: 它们的各块按计算的面积计, 未平差");
  }
  return words;
}

std::shared_ptr<const OverlayLayer> ReadOverlayFor(const LayerRequest& patches,
                                                   const OverlayChoice& choice,
                                                   OverlayReport& report) {
  GDALDatasetUniquePtr dataset = OpenDataset(patches.source);
  OGRLayer& layer = ChooseLayer(*dataset, patches.source, patches.layer);
  GeometryArea area(layer.GetSpatialRef(),
                    patches.area_from == AreaFrom::kPlane ? AreaFrom::kPlane : AreaFrom::kEllipsoid,
                    layer.GetName());
  auto overlay = std::make_shared<OverlayLayer>(ReadOverlay(choice, layer.GetSpatialRef(), area));
  report.overlay_name = overlay->name;
  report.overlay_features = static_cast<int64_t>(overlay->features.size());
  report.overlay_repaired = overlay->repaired;
  report.overlay_without_area = overlay->without_area;
  report.reprojected = overlay->reprojected;
  return overlay;
}

OpenedLayer OpenOverlayRows(const LayerRequest& patches,
                            std::shared_ptr<const OverlayLayer> overlay, OverlayReport& report,
                            bool inside_only) {
  GDALDatasetUniquePtr dataset = OpenDataset(patches.source);
  OGRLayer& layer = ChooseLayer(*dataset, patches.source, patches.layer);
  CheckSameSystem(layer, *overlay);
  PieceFields fields = ChoosePieceFields(patches, *overlay, layer);
  IgnoreOtherFields(layer, fields);
  if (!patches.where.empty() && layer.SetAttributeFilter(patches.where.c_str()) != OGRERR_NONE) {
    ThrowLayerError("筛选条件 \"" + patches.where + "\" 无效: " + LastGdalError("无法解析"));
  }
  OpenedLayer opened{layer.GetName(), patches.zone_field, false, nullptr};
  // Counted only where the layer knows without reading: a patch layer is often large.
  opened.empty = patches.where.empty() && layer.TestCapability(OLCFastFeatureCount) &&
                 layer.GetFeatureCount(FALSE) == 0;
  opened.rows =
      std::make_unique<OverlayRows>(std::move(dataset), layer, patches, std::move(overlay),
                                    std::move(fields), report, inside_only);
  return opened;
}

}  // namespace quilmark
