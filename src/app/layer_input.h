// A GIS layer as a run's input: what the user named, how the run's column texts choose its
// fields, and the run over it. The column boxes and options take a field name or a 1-based field
// number; for a layer an empty area text means the area of each feature's geometry.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "src/app/messages.h"
#include "src/app/run_driver.h"
#include "src/app/run_options.h"
#include "src/host/gdal/layer_source.h"
#include "src/summary/result_target.h"

namespace quilmark {

struct LayerInput {
  std::string source;  // a file, a .gdb folder or a "PG:" connection string
  std::string layer;   // empty: the only layer (of each source)
  std::string where;   // an attribute filter the source evaluates; empty: every feature
  // Further sources summed with the first as if their layers were one, in this order (see
  // layer_parts.h); the same layer, filter and fields are read from each.
  std::vector<std::string> more_sources = {};
};

// The fields the chosen tasks read: the zone and area always, the class for land-use, master
// plan and cross-tab (a layer's cross-tab counts by its class field), the deduction coefficient
// for land-use when one is chosen.
LayerRequest ChosenLayerRequest(const RunOptions& options, const LayerInput& input);

// The run over a GIS layer. The layer is opened and its fields are chosen first (a failure there
// is a host failure, with the reason); the confirmation names the layer and its source. A layer
// with no feature, or none the filter selects, stops the run (kNoPatch) with nothing written.
// With further sources every source's fields are checked before any is read, and the run stops
// with kNoPatch only where no source has a patch; row labels and failures name their source.
// The tables go to `target` (a new workbook, standard output). The cross-tab heads its zones with
// the zone field's name as typed (as the layer spells it when chosen by number), or 区域 where a
// names file or the zone-code conversion names the zones. The zone transforms apply as on a
// worksheet.
RunResult RunLayerSummary(const RunOptions& options, const LayerInput& input, ResultTarget& target,
                          MessageSink& sink);

// The run over a GIS layer whose tables go into the new workbook `result` (one sheet per task,
// numbers with the decimals chosen). The completion names the file. A `result` the file host
// would refuse (not a .xlsx name, open in an office, read-only) is refused before the layer opens.
RunResult RunLayerToWorkbook(const RunOptions& options, const LayerInput& input,
                             const std::filesystem::path& result, MessageSink& sink);

// The run over a worksheet whose tables go into the new workbook `result`, as a layer's do; the
// worksheet is only read and its workbook not saved. The completion names the file.
RunResult RunSheetToWorkbook(const RunOptions& options, SpreadsheetHost& host,
                             const std::filesystem::path& result, MessageSink& sink);

// Where a layer run's new workbook goes unless one is named: beside the source, after its name,
// with -汇总 (-统计报表 for the reports); for several sources beside the first, "等3个图层" added
// to the name. nullopt where the (first) source is a connection string.
std::optional<std::filesystem::path> LayerResultPath(const LayerInput& input, bool reports);

// The completion of a run whose tables went into a new workbook.
std::string WrittenToText(const std::filesystem::path& result);

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
