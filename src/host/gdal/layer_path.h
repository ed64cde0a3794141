// Whether a path names a GIS source (a layer GDAL reads) rather than a workbook file. Decided by
// the text and the file system alone, so that both mains and the window can ask cheaply.
#pragma once

#include <string>
#include <string_view>

namespace quilmark {

// True for a "PG:" connection string, a folder (a File Geodatabase .gdb, a folder of
// shapefiles), and the files GDAL reads as layers: .shp .dbf .gpkg .csv .ods .xls .geojson
// .json .sqlite .db .fgb .tab .mif .kml .gml. False for .xlsx/.xlsm and everything else.
bool IsLayerPath(std::string_view path);

// True for a "PG:" connection string (any case).
bool IsConnectionString(std::string_view path);

// The source as messages show it: a connection string with its password replaced by ***, any
// other path as it is.
std::string HidePassword(std::string_view source);

}  // namespace quilmark
