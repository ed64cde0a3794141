// The patches of a GIS layer as a RowSource: any vector layer GDAL reads (a shapefile, a File
// Geodatabase, a GeoPackage, a CSV or .ods/.xls table, a PostGIS table through a "PG:" string).
// Features are read one at a time in the layer's own order and never kept, so memory does not
// grow with the number of features; a PostGIS layer is read through a server-side cursor, and
// an attribute filter is evaluated by the source itself (on the server, for PostGIS), except
// where the source's texts are not UTF-8 (see layer_filter.h). A whole-number zone or class
// reads as the text of its digits, the code it stands for; areas stay numbers. A PostGIS table
// whose fields the server reads as Quilmark does is summed by the server instead, which returns
// a row per group of patches (see pushdown.h and src/host/postgis/).
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "src/host/ellipsoid_area.h"
#include "src/host/row_source.h"

namespace quilmark {

// What to read. A field is chosen by its name (matched as GDAL matches names: case does not
// matter) or, when no field has that name, by its 1-based number ("3" is the third field).
struct LayerRequest {
  std::string source;                      // a file, a folder (.gdb) or a "PG:" connection string
  std::string layer;                       // empty: the source's only layer
  std::string where;                       // an attribute filter in GDAL's SQL dialect; empty: all
  std::string zone_field;                  // the zone
  std::optional<std::string> class_field;  // the class; nullopt when no task reads it
  std::optional<std::string> area_field;   // nullopt: the geometry's planar area
  // kPlane or kEllipsoid: the area is the geometry's, whatever `area_field` says.
  AreaFrom area_from = AreaFrom::kField;
  std::optional<std::string> deduction_field;  // the deduction coefficient, when chosen
  // Further fields, read into SourceRow::fields in this order; each must exist, as the others.
  std::vector<std::string> extra_fields;
  // A field a server that sums the patches itself compares for patches sharing a value (BSM for
  // the data check); not read into the rows. Empty: none.
  std::string checked_identifier;
  // The run keeps this many characters of each zone: a server that groups the patches (see
  // OpenLayer) groups by them. The rows' zones may still be longer; the run cuts them itself.
  std::optional<int> zone_prefix;
};

// The chosen layer's name, its zone field's name (as the request typed it, or as the layer spells
// it where the request gave its number), whether it has no feature to read (none at all, or none
// the filter selects), and its rows.
struct OpenedLayer {
  std::string name;
  std::string zone_field;
  bool empty = false;
  std::unique_ptr<RowSource> rows;
};

// Opens the source, picks the layer, checks the fields and installs the filter. Throws HostError
// whose text starts "无法读取图层: " and says what is wrong and what to do: the source is
// missing, unreadable, refused or damaged, a shapefile lacks its .dbf, a server does not answer
// (within a few seconds), there are several layers and none was named (the message lists them),
// a field does not exist (the message lists the fields), the filter is not valid, or the area
// would come from a geometry in geographic degrees (planar) or in an unknown system (ellipsoidal). The features are read ahead of the run on a
// thread of their own, at most about `rows_ahead` of them (0: a few batches).
OpenedLayer OpenLayer(const LayerRequest& request, size_t rows_ahead = 0);

// Opens the source and checks its layer and fields as OpenLayer does, reading no feature (the
// filter is not tried). Returns the layer's name and the request with every field it chose by
// number named as this layer names it (fields chosen by name stay as typed), so that other
// sources can be matched with it by name. Throws HostError as OpenLayer.
struct CheckedLayer {
  std::string name;
  LayerRequest by_name;
};
CheckedLayer CheckLayer(const LayerRequest& request);

// The layer names of the source, in its order, and the field names of one layer (empty: the
// only layer, else the first). For the window's choices; throws HostError as OpenLayer.
std::vector<std::string> LayerNames(const std::string& source);
std::vector<std::string> LayerFieldNames(const std::string& source, const std::string& layer);
// The aliases of the same fields, empty where a field has none.
std::vector<std::string> LayerFieldAliases(const std::string& source, const std::string& layer);
// The first `count` features of the same layer, each as the texts of its fields in their order
// (empty where unset), for the window's preview.
std::vector<std::vector<std::string>> LayerFirstFeatures(const std::string& source,
                                                         const std::string& layer, int count);

}  // namespace quilmark
