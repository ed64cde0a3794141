// Opening a GIS source with GDAL, and the checks that turn GDAL's terse failures into messages a
// user can act on. Only this folder includes GDAL headers.
#pragma once

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <string>
#include <string_view>

namespace quilmark {

// The prefix of every message about a source that cannot be read.
inline constexpr std::string_view kLayerErrorPrefix = "无法读取图层: ";

// Throws HostError with the prefix and the text.
[[noreturn]] void ThrowLayerError(std::string_view text);

// GDAL's last error message, or the fallback where GDAL gave none.
std::string LastGdalError(std::string_view fallback);

// The source as a message shows it: a connection string without its password.
std::string SourceForMessage(const std::string& source);

// How a shapefile's number fields get their types: from the .dbf's header (a field of 19 digits
// or more without decimals is Real), or by its values, the whole .dbf read through once on
// opening (such a field is Integer64 where every value fits).
enum class DatasetTypes { kByHeader, kByValues };

// Opens the source read-only as vector data. A shapefile whose .dbf declares no code page and
// has no .cpg beside it is read as GBK (CP936), the code page such files are written in here; a
// "PG:" string without connect_timeout gets one of a few seconds, and TCP keepalives that give up
// on a server silent for about as long. Throws HostError when the file is missing, cannot be read
// (permission), is damaged, a shapefile lacks its .dbf, or the server does not answer or refuses
// the connection (saying why: the password, the database, the user's access).
GDALDatasetUniquePtr OpenDataset(const std::string& source,
                                 DatasetTypes types = DatasetTypes::kByHeader);

// The layer of that name, or the only layer when the name is empty. Throws HostError listing the
// layers when the name is not found or several layers exist and none was named.
OGRLayer& ChooseLayer(GDALDataset& dataset, const std::string& source, const std::string& name);

}  // namespace quilmark
