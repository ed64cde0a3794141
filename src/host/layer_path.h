// Whether a path names a GIS source (a layer GDAL reads) rather than a workbook file. Decided by
// the text and the file system alone, so that both mains and the window can ask cheaply.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace quilmark {

// True for a "PG:" connection string, a folder (a File Geodatabase .gdb, a folder of
// shapefiles), and the files GDAL reads as layers: .shp .dbf .gpkg .csv .ods .xls .geojson
// .json .sqlite .db .fgb .tab .mif .kml .gml. False for .xlsx/.xlsm and everything else.
bool IsLayerPath(std::string_view path);

// How the window's file dialog offers files with a layer extension.
enum class LayerFileOffer { kMap, kTable, kNotOffered };

struct LayerExtension {
  std::string_view extension;  // lower case, with its dot
  LayerFileOffer offer;
};

// The extensions of the files IsLayerPath takes (besides .gdb folders), in the order the window's
// file dialog lists them.
std::span<const LayerExtension> LayerExtensions();

// True for a "PG:" connection string (any case).
bool IsConnectionString(std::string_view path);

// The source as messages show it: a connection string with its password replaced by ***, any
// other path as it is.
std::string HidePassword(std::string_view source);

}  // namespace quilmark
