// What the user named as a run's input, and the kinds of input a run can read. A new kind is its
// own files plus one row of the table in run_input.cpp.
#pragma once

#include <chrono>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "src/host/layer_path.h"
#include "src/host/live_contract.h"
#include "src/host/row_source.h"
#include "src/host/sheet_host.h"

namespace quilmark {

struct RunRequest;
struct RunResult;
class MessageSink;

struct RunInput {
  // A workbook file, or one or more GIS sources (a .shp, .gpkg, .gdb folder, "PG:..." string)
  // summed as one layer; none: the workbook in front of the live office.
  std::vector<std::string> sources;
  std::string sheet;       // the workbook file's worksheet to use; empty: the one it opens on
  int office_port = 2002;  // the loopback port the live office listens on
  // How long the live office may take to answer the connection and each call of the run.
  std::chrono::milliseconds office_timeout = kDefaultOfficeTimeout;
  // A GIS source's layer (empty: the only one) and an attribute filter the source evaluates
  // (empty: every feature).
  std::string layer;
  std::string where;
  // Where a layer's areas come from: "field" (the area field, or where none is chosen the
  // geometry's planar area), "plane" or "ellipsoid" (the geometry's, see geometry_area.h);
  // empty: as "field".
  std::string area_from;
  // A layer laid over the sources, with the fields its pieces carry ("规划.gpkg:YDYH,GHFQ"); the
  // run then sums the pieces of the sources' patches it cuts (overlay_input.h). Empty: none.
  std::string overlay;
  std::string overlay_layer;  // the overlay source's layer; empty: its only one
  bool overlay_inside = false;  // the parts of patches outside every overlay feature left out

  // A host or rows the caller made itself (a window's test, a benchmark), read in place of the
  // sources; nullptr: none. `rows_area` names the rows' area in a warning ("字段 MJ").
  SpreadsheetHost* host = nullptr;
  RowSource* rows = nullptr;
  std::string rows_area;
};

// A kind of input: which inputs it takes, and the run over one.
struct InputKind {
  std::string_view name;
  bool (*takes)(const RunInput& input);
  RunResult (*run)(const RunRequest& request, MessageSink& sink);
};

// The kinds in the order they are asked; the first that takes the input runs it.
std::span<const InputKind> InputKinds();

// Whether the sources are GIS sources rather than a workbook file.
inline bool IsLayerInput(const RunInput& input) {
  return !input.sources.empty() && IsLayerPath(input.sources.front());
}

// Whether this build can reach a live office.
bool LiveOfficeBuiltIn();

}  // namespace quilmark
