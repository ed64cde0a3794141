#include "src/host/gdal/dataset_open.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "src/host/gdal/shapefile_checks.h"
#include "src/host/layer_path.h"
#include "src/host/postgis/pg_cancel.h"
#include "src/host/postgis/pg_session.h"
#include "src/host/sheet_host.h"

namespace quilmark {
namespace {

namespace fs = std::filesystem;

// Rows a PostGIS cursor fetches at a time: large enough that round trips cost little, small
// enough that memory stays flat.
constexpr const char* kCursorPage = "10000";

// GDAL reports failures through the messages Quilmark shows; its own printing to standard error
// would only repeat them. Registered once, with the drivers.
void InitGdal() {
  static std::once_flag once;
  std::call_once(once, [] {
    GDALAllRegister();
    CPLSetErrorHandler(CPLQuietErrorHandler);
    if (CPLGetConfigOption("OGR_PG_CURSOR_PAGE", nullptr) == nullptr) {
      CPLSetConfigOption("OGR_PG_CURSOR_PAGE", kCursorPage);
    }
  });
}

// GDAL's connection, remembered by its server process so that a user's stop cancels what its
// cursor runs. A server that does not say (an old one, a pooler) is left as it is.
void RememberGdalConnection(GDALDataset& dataset, const PgSource& source) {
  OGRLayer* result = dataset.ExecuteSQL(
      "SELECT pid::text, backend_start::text FROM pg_stat_activity WHERE pid = pg_backend_pid()",
      nullptr, nullptr);
  if (result == nullptr) return;
  if (OGRFeatureUniquePtr process{result->GetNextFeature()}) {
    RememberServerProcess(source, process->GetFieldAsString(0), process->GetFieldAsString(1));
  }
  dataset.ReleaseResultSet(result);
}

// A file or folder that is missing or cannot be read is named with the reason, before GDAL
// answers it with a vaguer "not recognized".
void CheckReadable(const fs::path& path, const std::string& shown) {
  std::error_code error;
  if (!fs::exists(path, error)) {
    ThrowLayerError(shown + " 不存在; 请检查路径");
  }
  const int mode = fs::is_directory(path, error) ? R_OK | X_OK : R_OK;
  if (::access(path.c_str(), mode) != 0 && errno == EACCES) {
    ThrowLayerError("没有读取 " + shown + " 的权限; 请让管理员授予读取权限, 或复制到可读的位置");
  }
}

std::string LayerList(GDALDataset& dataset) {
  std::string list;
  for (int i = 0; i < dataset.GetLayerCount(); ++i) {
    if (i > 0) list += ", ";
    list += dataset.GetLayer(i)->GetName();
  }
  return list;
}

}  // namespace

void ThrowLayerError(std::string_view text) {
  throw HostError(std::string(kLayerErrorPrefix) + std::string(text));
}

std::string LastGdalError(std::string_view fallback) {
  const char* message = CPLGetLastErrorMsg();
  if (message == nullptr || *message == '\0') return std::string(fallback);
  std::string text(message);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

std::string SourceForMessage(const std::string& source) { return HidePassword(source); }

GDALDatasetUniquePtr OpenDataset(const std::string& source, DatasetTypes types) {
  InitGdal();
  const bool connection = IsConnectionString(source);
  CPLStringList open_options;
  if (!connection) {
    const fs::path path{std::u8string(source.begin(), source.end())};
    CheckReadable(path, source);
    if (std::optional<fs::path> dbf = CheckedDbf(path)) {
      CheckReadable(*dbf, dbf->string());
      if (CPLGetConfigOption("SHAPE_ENCODING", nullptr) == nullptr) {
        if (std::optional<std::string> encoding = FallbackDbfEncoding(*dbf)) {
          open_options.SetNameValue("ENCODING", encoding->c_str());
        }
      }
      if (types == DatasetTypes::kByValues) open_options.SetNameValue("ADJUST_TYPE", "YES");
    }
  }
  std::optional<PgSource> database;
  if (connection) {
    // libpq says why a server refuses (a wrong password, no such database) in its SQLSTATE,
    // which GDAL's text does not keep; a connection tried first gives each its own message.
    database = ParsePgSource(source);
    if (std::optional<std::string> problem = ConnectionProblem(*database)) {
      ThrowLayerError("无法连接数据库 " + SourceForMessage(source) + ": " + *problem);
    }
  }
  // GDAL connects with the settings Quilmark's own session has: read-only, the same timeouts.
  const std::string name = database ? GdalConnection(*database) : source;
  CPLErrorReset();
  GDALDatasetUniquePtr dataset(GDALDataset::Open(name.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY,
                                                 nullptr, open_options.List(), nullptr));
  if (dataset && database) RememberGdalConnection(*dataset, *database);
  if (dataset) return dataset;
  if (connection) {
    ThrowLayerError("无法连接数据库 " + SourceForMessage(source) + ": " +
                    LastGdalError("服务器没有应答") +
                    "; 请检查服务器地址、端口、数据库名、用户和密码");
  }
  ThrowLayerError(source +
                  " 不是可读的 GIS 数据, 或已损坏: " + LastGdalError("GDAL 不认识这种文件") +
                  "; 支持 shapefile、File Geodatabase (.gdb 文件夹)、GeoPackage、CSV、.ods/.xls");
}

OGRLayer& ChooseLayer(GDALDataset& dataset, const std::string& source, const std::string& name) {
  const std::string shown = SourceForMessage(source);
  if (!name.empty()) {
    if (OGRLayer* layer = dataset.GetLayerByName(name.c_str())) return *layer;
    ThrowLayerError(shown + " 中没有名为 \"" + name +
                    "\" 的图层; 它的图层是: " + LayerList(dataset));
  }
  const int count = dataset.GetLayerCount();
  if (count == 1) return *dataset.GetLayer(0);
  if (count == 0) ThrowLayerError(shown + " 中没有图层");
  ThrowLayerError(shown + " 有 " + std::to_string(count) +
                  " 个图层, 请指定其中一个 (命令行: --layer 名称): " + LayerList(dataset));
}

}  // namespace quilmark
