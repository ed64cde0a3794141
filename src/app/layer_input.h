// A GIS layer as a run's input: what the user named, and how the run's column texts choose its
// fields. The column boxes and options take a field name or a 1-based field number; for a layer
// an empty area text means the area of each feature's geometry.
#pragma once

#include <string>

#include "src/app/run_options.h"
#include "src/host/gdal/layer_source.h"
#include "src/host/zone_transform.h"

namespace quilmark {

struct LayerInput {
  std::string source;  // a file, a .gdb folder or a "PG:" connection string
  std::string layer;   // empty: the only layer
  std::string where;   // an attribute filter the source evaluates; empty: every feature
};

// The fields the chosen tasks read: the zone and area always, the class for land-use, master
// plan and cross-tab (a layer's cross-tab counts by its class field), the deduction coefficient
// for land-use when one is chosen.
LayerRequest ChosenLayerRequest(const RunOptions& options, const LayerInput& input);

// The zone transforms the options ask for. Reads the names file; throws HostError when it
// cannot be read.
ZoneTransform ChosenZoneTransform(const RunOptions& options);

}  // namespace quilmark
