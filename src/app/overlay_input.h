// A layer run with an overlay (--overlay, the window's 叠加图层): the sources' patches cut by the
// overlay layer's features, and the pieces summed by every chosen task as a layer's features are.
#pragma once

#include <memory>
#include <string>

#include "src/app/run_request.h"
#include "src/host/gdal/layer_source.h"
#include "src/host/gdal/overlay_rows.h"

namespace quilmark {

struct OverlayPieces {
  std::unique_ptr<RowSource> rows;
  std::string confirmation;  // names the patch layer, its source and the overlay
  std::string layer;         // the patch layer's name, for a message that there are none
  bool empty = false;        // the only source has no patch at all
};

// Reads the overlay for the first source, then opens the pieces of every source in turn. Throws
// HostError where a source or the overlay cannot be read (see ReadOverlay, OpenOverlayRows).
OverlayPieces OpenOverlayPieces(const LayerRequest& request, const RunInput& input,
                                OverlayReport& report);

// The overlay's words added to a completed run's warnings, each shown.
void SayOverlay(const OverlayReport& report, RunResult& result, MessageSink& sink);

}  // namespace quilmark
