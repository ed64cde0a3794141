// Several GIS sources summed as one layer (the parts of a county's layer, the counties of a
// province): every source's layer and fields are checked before any feature is read, then the
// sources are read one after the other, the next ones opened and read ahead meanwhile.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "src/host/gdal/layer_source.h"
#include "src/host/row_source.h"

namespace quilmark {

// How messages name the sources: their file names where those differ, else the paths as given;
// a connection string without its password.
std::vector<std::string> SourceNames(const std::vector<std::string>& sources);

// The layer files and File Geodatabases (.gdb folders) directly in a folder that is no File
// Geodatabase itself, in name order, each shapefile once (its .shp, not its .dbf); empty for a
// .gdb folder or one that cannot be listed.
std::vector<std::string> LayerFilesIn(const std::string& folder);

struct LayerPart {
  std::string name;      // as SourceNames gives it
  std::string layer;     // the layer's name
  LayerRequest request;  // the fields by name, as the first source names them
};

// Checks each source's layer and fields in turn, reading no feature. Fields are matched by name
// in every source; a field `request` chose by its number is the first source's field of that
// number. Throws HostError naming the first source that fails (it lacks a field, the message
// lists the fields it has; it cannot be opened; it has no such layer).
std::vector<LayerPart> CheckLayerParts(const LayerRequest& request,
                                       const std::vector<std::string>& sources);

// The confirmation of a run over several sources, each named with its layer.
std::string LayerPartsConfirmationText(const std::vector<LayerPart>& parts);

// The stage shown while the run reads part `index` (0-based) of `count`.
std::string ReadingPartText(size_t index, size_t count, std::string_view name);

// Thrown by the rows of ReadLayerParts when no source had a patch to sum (none at all, or none
// the filter selects), before any table is written.
struct NoPatchInParts {};

// The parts' rows as one layer's, in the order given, the rows named "b.gpkg FID 7" in messages.
// A source whose filter the source refuses, or that fails while read, throws HostError naming it.
// `progress` gets ReadingPartText as the run reaches each source, on the run's thread. At most
// `open_at_once` sources are open at once (0: as many as the machine has cores).
std::unique_ptr<RowSource> ReadLayerParts(const std::vector<LayerPart>& parts,
                                          std::function<void(std::string_view)> progress,
                                          size_t open_at_once = 0);

}  // namespace quilmark
