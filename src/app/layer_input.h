// GIS layers as a run's input: how the run's column texts choose their fields, and the run over
// them. The column boxes and options take a field name or a 1-based field number; for a layer an
// empty area text means the area of each feature's geometry.
#pragma once

#include <string>
#include <vector>

#include "src/app/run_request.h"
#include "src/host/gdal/layer_source.h"

namespace quilmark {

// The fields the chosen tasks read from the first source: the zone and area always, the class
// for land-use, master plan and cross-tab (a layer's cross-tab counts by its class field), the
// deduction coefficient for land-use when one is chosen.
LayerRequest ChosenLayerRequest(const RunOptions& options, const RunInput& input);

// How a warning names the areas the request reads ("字段 TBMJ", "几何图形的椭球面积").
std::string AreaName(const LayerRequest& request);

// The run over the request's GIS sources. The layer is opened and its fields are chosen first (a
// failure there is a host failure, with the reason); the confirmation names the layer and its
// source. A layer with no feature, or none the filter selects, stops the run (kNoPatch) with
// nothing written. With further sources every source's fields are checked before any is read,
// and the run stops with kNoPatch only where no source has a patch; row labels and failures name
// their source. The cross-tab heads its zones with the zone field's name as typed (as the layer
// spells it when chosen by number), or 区域 where a names file or the zone-code conversion names
// the zones. The zone transforms apply as on a worksheet.
RunResult RunOnLayers(const RunRequest& request, MessageSink& sink);

// What a source offers to choose from: its layers, and the fields of `layer` (empty: the only
// layer, else the first). Both lists are empty where the source cannot be read; the run then
// says why.
struct LayerChoices {
  std::vector<std::string> layers;
  std::vector<std::string> fields;
  std::vector<std::string> aliases;  // one per field, empty where the field has none
};
LayerChoices ReadLayerChoices(const std::string& source, const std::string& layer);

}  // namespace quilmark
