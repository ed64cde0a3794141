// The pieces of an overlay as a RowSource: every patch of a survey layer cut by the features of
// an overlay layer (planning zones, red lines), each piece carrying the overlay's chosen fields
// and the patch's fields under their own names, with its ellipsoidal (or planar) area, adjusted
// so that a patch's pieces add up to its recorded area (TBMJ) where the request names that
// field. The part of a patch outside every overlay feature is a piece of its own whose overlay
// fields read 范围外, or is left out where the run asks only for the inside. Patches stream: they
// are read in batches on the caller's thread and cut on worker threads (one per core), and the
// pieces come in the patches' order; memory grows with the overlay, not with the patches.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "src/host/gdal/layer_source.h"
#include "src/host/gdal/overlay_layer.h"

namespace quilmark {

// The overlay fields' text in the piece outside every overlay feature.
inline constexpr const char* kOutsideOverlay = "范围外";

struct OverlayTally;

// What the overlay met over the whole run: read as the pieces are taken.
class OverlayReport {
 public:
  OverlayReport();
  ~OverlayReport();
  OverlayTally& tally() { return *tally_; }
  const OverlayTally& tally() const { return *tally_; }

  std::string overlay_name;
  int64_t overlay_features = 0;
  int64_t overlay_repaired = 0;
  int64_t overlay_without_area = 0;
  std::string reprojected;
  bool inside_only = false;  // the pieces outside were left out

  // What the user should know, each a line: the pieces cut, repairs, slivers, reprojection,
  // patches whose pieces could not be adjusted.
  std::vector<std::string> Words() const;

 private:
  std::unique_ptr<OverlayTally> tally_;
};

// The overlay read for the patches of `patches.source` (its layer's coordinate system and area
// method). Throws HostError as ReadOverlay and OpenLayer do.
std::shared_ptr<const OverlayLayer> ReadOverlayFor(const LayerRequest& patches,
                                                   const OverlayChoice& choice,
                                                   OverlayReport& report);

// The pieces of `patches.source` cut by the overlay. A field the request names is the overlay's
// where the choice carries it (case does not matter), else the patch layer's. The area field (if
// any) is the patches' recorded area: with AreaFrom::kField the pieces are its shares, else the
// field is not read. Throws HostError as OpenLayer does, and where the source's coordinate system
// is not the one the overlay was read for. `report` must outlive the rows.
OpenedLayer OpenOverlayRows(const LayerRequest& patches,
                            std::shared_ptr<const OverlayLayer> overlay, OverlayReport& report,
                            bool inside_only = false);

}  // namespace quilmark
