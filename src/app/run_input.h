// What the user named as a run's input, and the one place that turns it into what the run works
// on; the command line and the window both come through here.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "src/host/live_contract.h"
#include "src/host/sheet_host.h"

namespace quilmark {

struct RunInput {
  // A workbook file; without one, the workbook in front of the live office.
  std::optional<std::filesystem::path> workbook;
  std::string sheet;       // the file's worksheet to use; empty: the one it opens on
  // Where the file's result goes; nullopt: back into the file itself (an empty path is refused).
  std::optional<std::filesystem::path> output;
  int office_port = 2002;  // the loopback port the live office listens on
  // How long the live office may take to answer the connection and each call of the run.
  std::chrono::milliseconds office_timeout = kDefaultOfficeTimeout;
  // A GIS source named as the workbook (a .shp, .gpkg, .gdb folder, "PG:..." string): its layer
  // (empty: the only one) and an attribute filter the source evaluates (empty: every feature).
  std::string layer;
  std::string where;
  // The run only reads its input (a preview, CSV): a file is not checked for writing.
  bool read_only = false;
};

// Whether the input names a GIS source rather than a workbook file.
bool IsLayerInput(const RunInput& input);

// Whether this build can reach a live office.
bool LiveOfficeBuiltIn();

// The host for the input. Nothing is opened or read yet: a file is loaded, and the office's
// plugin loaded and the office reached, when the run starts. Without a workbook file in a build
// without the live office, a host that answers but has no workbook open.
std::unique_ptr<SpreadsheetHost> OpenInput(const RunInput& input);

}  // namespace quilmark
