#include "src/host/gdal/layer_source.h"

#include <cpl_error.h>
#include <ogr_api.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <string_view>
#include <utility>

#include "src/host/gdal/arrow_rows.h"
#include "src/host/gdal/database_filter.h"
#include "src/host/gdal/dataset_open.h"
#include "src/host/gdal/geometry_area.h"
#include "src/host/gdal/layer_cells.h"
#include "src/host/gdal/layer_fields.h"
#include "src/host/gdal/layer_filter.h"
#include "src/host/gdal/pushdown.h"
#include "src/host/layer_path.h"
#include "src/host/postgis/grouped_rows.h"
#include "src/host/postgis/table_check.h"
#include "src/host/read_ahead.h"
#include "src/host/text_encoding.h"

namespace quilmark {
namespace {

class LayerRows : public RowSource {
 public:
  // `first` is the first feature the filter passes, already read (nullptr: none); `count` the
  // features the layer holds (0: not known).
  // `area` gives the areas where no field does.
  LayerRows(GDALDatasetUniquePtr dataset, OGRLayer& layer, ChosenFields fields,
            std::unique_ptr<LayerFilter> filter, OGRFeatureUniquePtr first, int64_t count,
            std::unique_ptr<GeometryArea> area)
      : dataset_(std::move(dataset)),
        layer_(layer),
        fields_(fields),
        filter_(std::move(filter)),
        first_(std::move(first)),
        decode_texts_(!layer.TestCapability(OLCStringsAsUTF8)),
        count_known_(count),
        area_(std::move(area)) {
    const OGRFeatureDefn& definition = *layer.GetLayerDefn();
    for (int i = 0; i < definition.GetFieldCount(); ++i) {
      types_.push_back(definition.GetFieldDefn(i)->GetType());
    }
  }

  bool Next(SourceRow& row) override {
    if (!dataset_) return false;  // ended, and closed
    OGRFeatureUniquePtr feature;
    if (count_ == 0) {
      feature = std::move(first_);
    } else {
      CPLErrorReset();
      feature = filter_->Next(layer_);
    }
    if (!feature) {
      if (CPLGetLastErrorType() >= CE_Failure) {
        ThrowLayerError(std::string("读到第 ") + std::to_string(count_ + 1) +
                        " 个要素时出错: " + LastGdalError("数据源中断"));
      }
      // Closed at once: a run over many sources keeps an ended one only for its row labels.
      Close();
      return false;
    }
    row.number = ++count_;
    row.patches = 1;  // the row is reused: it may have stood for a group before
    row.ridge.reset();
    ids_.Start(row.number, feature->GetFID());
    const OGRFieldType zone_type = types_[static_cast<size_t>(fields_.zone)];
    ReadFeatureCode(*feature, fields_.zone, zone_type, row.zone);
    row.inexact_zone = zone_type == OFTReal && feature->IsFieldSetAndNotNullUnsafe(fields_.zone) &&
                       LosesDigits(feature->GetRawFieldRef(fields_.zone)->Real);
    if (decode_texts_) DecodeText(row.zone);
    if (fields_.class_ != kNoField) {
      ReadFeatureCode(*feature, fields_.class_, types_[static_cast<size_t>(fields_.class_)],
                      row.class_);
      if (decode_texts_) DecodeText(row.class_);
      row.cross_class = row.class_;
    }
    if (fields_.area != kNoField) {
      Read(*feature, fields_.area, row.area);
    } else {
      ReadGeometryArea(*feature, row);
    }
    if (fields_.deduction != kNoField) Read(*feature, fields_.deduction, row.deduction);
    ReadExtras(*feature, row);
    ids_.KeepWhenDoubtful(row);
    return true;
  }

  ~LayerRows() override { Close(); }

  // Where the layer is a statement's result (see NeededColumns), the dataset releases it.
  void ReleasesLayer() { release_layer_ = true; }

  int64_t RowCount() const override { return count_known_; }
  std::string RowLabel(int64_t number) const override { return ids_.Label(number); }

 private:
  void Close() {
    filter_.reset();
    if (dataset_ && release_layer_) dataset_->ReleaseResultSet(&layer_);
    dataset_.reset();
  }

  void Read(OGRFeature& feature, int index, std::optional<CellValue>& cell) const {
    ReadFeatureField(feature, index, types_[static_cast<size_t>(index)], cell);
  }

  // A geometry PROJ cannot take back to latitude and longitude has no sound area.
  void ReadGeometryArea(OGRFeature& feature, SourceRow& row) {
    const OGRGeometry* geometry = feature.GetGeometryRef();
    if (geometry == nullptr) return SetEmpty(row.area);
    const std::optional<double> area = area_->Of(*geometry);
    if (!area) {
      ThrowLayerError("第 " + std::to_string(count_) + " 个要素 (" + RowLabel(count_) +
                      ") 的坐标无法换算为经纬度 (" + LastGdalError("超出坐标系的范围") +
                      "), 无法计算它的椭球面积");
    }
    row.area.emplace(*area);
  }

  void ReadExtras(OGRFeature& feature, SourceRow& row) const {
    row.fields.resize(fields_.extras.size());
    for (size_t i = 0; i < fields_.extras.size(); ++i) {
      Read(feature, fields_.extras[i], row.fields[i]);
      if (decode_texts_) DecodeText(row.fields[i]);
    }
  }

  // A source that does not promise UTF-8 (GDAL hands on a CSV file's bytes as they are) may hold
  // GBK, as Chinese spreadsheet software saves CSV; such text is decoded, anything else refused.
  void DecodeText(std::optional<CellValue>& cell) const {
    std::string* text = cell ? std::get_if<std::string>(&*cell) : nullptr;
    if (text == nullptr || IsUtf8(*text)) return;
    std::optional<std::string> decoded = DecodeChineseText(*text);
    if (!decoded) {
      ThrowLayerError("第 " + std::to_string(count_) + " 个要素 (" + RowLabel(count_) +
                      ") 的文字既不是 UTF-8 也不是 GBK 编码; 请把数据另存为 UTF-8 编码");
    }
    *text = std::move(*decoded);
  }

  GDALDatasetUniquePtr dataset_;
  OGRLayer& layer_;
  ChosenFields fields_;
  std::unique_ptr<LayerFilter> filter_;
  OGRFeatureUniquePtr first_;
  std::vector<OGRFieldType> types_;  // by field index
  bool decode_texts_;
  bool release_layer_ = false;
  const int64_t count_known_;  // the features the layer holds; 0: not known without reading
  int64_t count_ = 0;
  RowIds ids_;
  std::unique_ptr<GeometryArea> area_;
};

// Without an area field the area is the geometry's: planar only in a projected system,
// ellipsoidal only in a known one (GeometryArea says why not).
std::unique_ptr<GeometryArea> CheckGeometryArea(OGRLayer& layer, const OGRFeatureDefn& fields,
                                                AreaFrom from) {
  const std::string name = layer.GetName();
  if (layer.GetLayerDefn()->GetGeomFieldCount() == 0) {
    ThrowLayerError("图层 " + name + " 没有几何图形, 无法计算面积; 请指定面积字段 (命令行: " +
                    "--area-column 字段名或序号)。它的字段是: " + NumberedFieldList(fields));
  }
  return std::make_unique<GeometryArea>(layer.GetSpatialRef(), from, name);
}

// The area field where the areas come from it; else the geometry, which must give them.
bool AreaFromField(const LayerRequest& request) {
  return request.area_field && request.area_from == AreaFrom::kField;
}

// Only the chosen fields and those the filter reads are read; the geometry too when it gives the
// area or the filter reads it. Drivers skip the rest, which for wide survey layers is most of
// each feature.
void IgnoreOtherFields(OGRLayer& layer, const OGRFeatureDefn& fields, const ChosenFields& chosen,
                       const LayerFilter& filter) {
  std::vector<std::string> ignored;
  for (int i = 0; i < fields.GetFieldCount(); ++i) {
    if (!chosen.Chosen(i) && !filter.Reads(i)) {
      ignored.emplace_back(fields.GetFieldDefn(i)->GetNameRef());
    }
  }
  if (!filter.ReadsSpecialFields()) {
    ignored.emplace_back("OGR_STYLE");
    if (chosen.area != kNoField) ignored.emplace_back("OGR_GEOMETRY");
  }
  std::vector<const char*> list;
  for (const std::string& name : ignored) list.push_back(name.c_str());
  list.push_back(nullptr);
  layer.SetIgnoredFields(list.data());
}

// Installs the filter and reads the first feature it passes. Most sources (a GeoPackage, PostGIS)
// only evaluate a filter when reading starts, so a filter they refuse shows here, before the run.
OGRFeatureUniquePtr ReadFirst(OGRLayer& layer, LayerFilter& filter, const std::string& where) {
  CPLErrorReset();
  if (filter.Install(layer)) {
    OGRFeatureUniquePtr first = filter.Next(layer);
    if (first || CPLGetLastErrorType() < CE_Failure) return first;
  }
  if (where.empty()) ThrowLayerError("无法读取第 1 个要素: " + LastGdalError("数据源中断"));
  filter.ThrowInvalid(*layer.GetLayerDefn());
}

// A chosen field's name as the user typed it where it names the field, so that one command gives
// one table whatever the source's case (PostGIS folds names to lower case); else, for a field
// chosen by its number, as the layer spells it.
std::string ChosenFieldName(const OGRFeatureDefn& fields, int index, std::string_view choice) {
  const std::string name = FieldNames(fields)[static_cast<size_t>(index)];
  const std::string typed(TrimBlanks(choice));
  return EQUAL(typed.c_str(), name.c_str()) ? typed : name;
}

ChosenFields ChooseFields(OGRLayer& layer, const LayerRequest& request) {
  const std::string name = layer.GetName();
  const OGRFeatureDefn& fields = *layer.GetLayerDefn();
  ChosenFields chosen;
  chosen.zone = ChooseField(fields, request.zone_field, "区域", name);
  if (request.class_field) chosen.class_ = ChooseField(fields, *request.class_field, "类别", name);
  if (AreaFromField(request)) {
    chosen.area = ChooseField(fields, *request.area_field, "面积", name);
  } else {
    CheckGeometryArea(layer, fields, request.area_from);
  }
  if (request.deduction_field) {
    chosen.deduction = ChooseField(fields, *request.deduction_field, "扣除系数", name);
  }
  for (const std::string& extra : request.extra_fields) {
    chosen.extras.push_back(ChooseField(fields, extra, extra.c_str(), name));
  }
  return chosen;
}

// A shapefile reports a number field of 19 digits without decimals as Real, whose values keep
// only 15 to 17 digits of a code. Opened again with its .dbf read through once, such a field
// reads as Integer64 when every value fits.
bool HoldsLongCodesAsReal(GDALDataset& dataset, const OGRFeatureDefn& fields,
                          const ChosenFields& chosen) {
  if (!EQUAL(dataset.GetDriver()->GetDescription(), "ESRI Shapefile")) return false;
  for (int index : {chosen.zone, chosen.class_}) {
    if (index == kNoField) continue;
    const OGRFieldDefn& field = *fields.GetFieldDefn(index);
    if (field.GetType() == OFTReal && field.GetPrecision() == 0) return true;
  }
  return false;
}

}  // namespace

namespace {

// A database table's filter, parsed and written again: the text GDAL's cursor gets, and the
// statement's part with its literals as parameters.
struct DatabaseFilter {
  std::string text;
  GroupedQuery query;
};

DatabaseFilter ParsedFilter(const LayerRequest& request, OGRLayer& layer) {
  DatabaseFilter filter;
  if (request.where.empty()) return filter;
  const FilterNode tree = ParseDatabaseFilter(request.where, layer);
  filter.text = WriteFilterText(tree);
  FilterSql sql = WriteFilterSql(tree, 1);
  filter.query.where = std::move(sql.sql);
  filter.query.parameters = std::move(sql.parameters);
  filter.query.typed_where = request.where;
  return filter;
}

// The rows a streamed read of a database table needs, as a statement's result: the feature id,
// the chosen fields (their indices in `chosen` become the result's), the geometry only where it
// gives the area, and the filter in the statement. GDAL's cursor over the table itself fetches
// every column and the geometry whatever the run reads. nullptr (nothing changed) for a table
// without a feature id column.
OGRLayer* NeededColumns(GDALDataset& dataset, OGRLayer& table, const CheckedTable& checked,
                        const std::string& filter, ChosenFields& chosen) {
  const std::string fid = table.GetFIDColumn();
  if (fid.empty()) return nullptr;
  ChosenFields result = chosen;
  std::vector<int> selected;  // the table's field indices, in the statement's order
  const auto select = [&](int& index) {
    if (index == kNoField) return;
    auto at = std::find(selected.begin(), selected.end(), index);
    if (at == selected.end()) at = selected.insert(selected.end(), index);
    index = static_cast<int>(at - selected.begin());
  };
  for (int* index : {&result.zone, &result.class_, &result.area, &result.deduction}) select(*index);
  for (int& extra : result.extras) select(extra);
  const OGRFeatureDefn& fields = *table.GetLayerDefn();
  std::string sql = "SELECT " + QuoteIdentifier(fid);
  for (int index : selected)
    sql += ", " + QuoteIdentifier(fields.GetFieldDefn(index)->GetNameRef());
  if (chosen.area == kNoField) sql += ", " + QuoteIdentifier(table.GetGeometryColumn());
  sql += " FROM " + QuoteIdentifier(checked.schema) + "." + QuoteIdentifier(checked.table);
  if (!filter.empty()) sql += " WHERE " + filter;
  OGRLayer* rows = dataset.ExecuteSQL(sql.c_str(), nullptr, nullptr);
  if (rows == nullptr) return nullptr;
  // Each column found by its name: where the statement also selects the geometry, GDAL may give
  // the key column as a field of its own, which moves every other one along.
  const OGRFeatureDefn& got = *rows->GetLayerDefn();
  const auto find = [&](int& index) {
    if (index == kNoField) return;
    index =
        got.GetFieldIndex(fields.GetFieldDefn(selected[static_cast<size_t>(index)])->GetNameRef());
  };
  for (int* index : {&result.zone, &result.class_, &result.area, &result.deduction}) find(*index);
  for (int& extra : result.extras) find(extra);
  chosen = result;
  return rows;
}

// A database table read feature by feature through GDAL's cursor; `empty` says whether the
// filter passes none.
std::unique_ptr<RowSource> StreamTable(const LayerRequest& request, GDALDatasetUniquePtr dataset,
                                       OGRLayer& layer, const ChosenFields& chosen,
                                       const CheckedTable& table, const std::string& filter,
                                       size_t rows_ahead, bool& empty) {
  const int64_t count = request.where.empty() && layer.TestCapability(OLCFastFeatureCount)
                            ? std::max<GIntBig>(layer.GetFeatureCount(FALSE), 0)
                            : 0;
  ChosenFields needed = chosen;
  OGRLayer* result = NeededColumns(*dataset, layer, table, filter, needed);
  OGRLayer& rows = result != nullptr ? *result : layer;
  auto layer_filter =
      std::make_unique<LayerFilter>(rows, result != nullptr ? "" : filter, false, request.where);
  if (result == nullptr) IgnoreOtherFields(layer, *layer.GetLayerDefn(), chosen, *layer_filter);
  CPLErrorReset();
  layer_filter->Install(rows);
  OGRFeatureUniquePtr first = layer_filter->Next(rows);
  const bool failed = !first && CPLGetLastErrorType() >= CE_Failure;
  empty = first == nullptr;
  std::unique_ptr<GeometryArea> area;
  if (chosen.area == kNoField)
    area = CheckGeometryArea(layer, *layer.GetLayerDefn(), request.area_from);
  auto read = std::make_unique<LayerRows>(std::move(dataset), rows, needed, std::move(layer_filter),
                                          std::move(first), count, std::move(area));
  if (result != nullptr) read->ReleasesLayer();
  // The server took the filter a moment ago: what fails now is the server, not the filter.
  if (failed) ThrowLayerError("无法读取第 1 个要素: " + LastGdalError("数据源中断"));
  return std::make_unique<ReadAheadRows>(
      std::move(read), rows_ahead > 0 ? rows_ahead : ReadAheadRows::kDefaultRowsAhead);
}

// A table of a "PG:" source: checked in a session of Quilmark's own, then summed by the server
// where it can be, else read feature by feature through GDAL's cursor.
OpenedLayer OpenDatabaseLayer(const LayerRequest& request, GDALDatasetUniquePtr dataset,
                              OGRLayer& layer, const ChosenFields& chosen, size_t rows_ahead) {
  const OGRFeatureDefn& fields = *layer.GetLayerDefn();
  DatabaseFilter filter = ParsedFilter(request, layer);
  const PgSource source = ParsePgSource(request.source);
  const std::string shown = SourceForMessage(request.source);
  const CheckedTable table =
      CheckTable(source, shown, layer.GetName(), filter.query, NumberedFieldList(fields));
  OpenedLayer opened{table.schema + "." + table.table,
                     ChosenFieldName(fields, chosen.zone, request.zone_field), table.empty,
                     nullptr};
  const PushdownFields read{chosen.zone, chosen.class_, chosen.area, chosen.deduction,
                            !chosen.extras.empty()};
  // A server sums planar areas; the ellipsoid's are computed here from each geometry.
  std::optional<GroupedQuery> query;
  if (request.area_from != AreaFrom::kEllipsoid) {
    query = PushdownQuery(*dataset, layer, read, request.zone_prefix);
  }
  if (query) {
    const int identifier = request.checked_identifier.empty()
                               ? -1
                               : fields.GetFieldIndex(request.checked_identifier.c_str());
    if (identifier >= 0) query->identifier = fields.GetFieldDefn(identifier)->GetNameRef();
    query->schema = table.schema;
    query->table = table.table;
    query->where = std::move(filter.query.where);
    query->parameters = std::move(filter.query.parameters);
    query->typed_where = request.where;
    opened.rows = OpenGroupedRows(source, shown, std::move(*query), NumberedFieldList(fields));
    return opened;
  }
  opened.rows = StreamTable(request, std::move(dataset), layer, chosen, table, filter.text,
                            rows_ahead, opened.empty);
  return opened;
}

}  // namespace

OpenedLayer OpenLayer(const LayerRequest& request, size_t rows_ahead) {
  const bool database = IsConnectionString(request.source);
  if (database) CheckDatabaseFilter(request.where);  // before anything connects
  GDALDatasetUniquePtr dataset = OpenDataset(request.source);
  OGRLayer* layer = &ChooseLayer(*dataset, request.source, request.layer);
  const ChosenFields chosen = ChooseFields(*layer, request);
  if (database) {
    return OpenDatabaseLayer(request, std::move(dataset), *layer, chosen, rows_ahead);
  }
  if (HoldsLongCodesAsReal(*dataset, *layer->GetLayerDefn(), chosen)) {
    dataset = OpenDataset(request.source, DatasetTypes::kByValues);
    layer = &ChooseLayer(*dataset, request.source, request.layer);
  }
  const OGRFeatureDefn& fields = *layer->GetLayerDefn();
  auto filter = std::make_unique<LayerFilter>(*layer, request.where,
                                              !layer->TestCapability(OLCStringsAsUTF8));
  IgnoreOtherFields(*layer, fields, chosen, *filter);
  // The layer's own count where it has one at hand, taken before reading starts (counting may
  // start reading again from the first feature); a filter passes an unknown share of it.
  const int64_t count = request.where.empty() && layer->TestCapability(OLCFastFeatureCount)
                            ? std::max<GIntBig>(layer->GetFeatureCount(FALSE), 0)
                            : 0;
  OpenedLayer opened{layer->GetName(), ChosenFieldName(fields, chosen.zone, request.zone_field),
                     false, nullptr};
  // Unfiltered, a driver that reads column batches straight from the file gives the rows so; it
  // reads the next batch on a thread of its own while the run takes the one before.
  if (request.where.empty()) {
    opened.rows = OpenArrowRows(dataset, *layer, chosen, count, opened.empty);
    if (opened.rows) return opened;
  }
  OGRFeatureUniquePtr first = ReadFirst(*layer, *filter, request.where);
  opened.empty = first == nullptr;
  std::unique_ptr<GeometryArea> area;
  if (chosen.area == kNoField) area = CheckGeometryArea(*layer, fields, request.area_from);
  // The driver decodes the next features while the run sums the ones before.
  opened.rows = std::make_unique<ReadAheadRows>(
      std::make_unique<LayerRows>(std::move(dataset), *layer, chosen, std::move(filter),
                                  std::move(first), count, std::move(area)),
      rows_ahead > 0 ? rows_ahead : ReadAheadRows::kDefaultRowsAhead);
  return opened;
}

CheckedLayer CheckLayer(const LayerRequest& request) {
  if (IsConnectionString(request.source)) CheckDatabaseFilter(request.where);
  GDALDatasetUniquePtr dataset = OpenDataset(request.source);
  OGRLayer& layer = ChooseLayer(*dataset, request.source, request.layer);
  const ChosenFields chosen = ChooseFields(layer, request);
  const OGRFeatureDefn& fields = *layer.GetLayerDefn();
  CheckedLayer checked{layer.GetName(), request};
  LayerRequest& named = checked.by_name;
  named.zone_field = ChosenFieldName(fields, chosen.zone, request.zone_field);
  if (request.class_field) {
    named.class_field = ChosenFieldName(fields, chosen.class_, *request.class_field);
  }
  if (AreaFromField(request)) {
    named.area_field = ChosenFieldName(fields, chosen.area, *request.area_field);
  }
  if (request.deduction_field) {
    named.deduction_field = ChosenFieldName(fields, chosen.deduction, *request.deduction_field);
  }
  for (size_t i = 0; i < chosen.extras.size(); ++i) {
    named.extra_fields[i] = ChosenFieldName(fields, chosen.extras[i], request.extra_fields[i]);
  }
  return checked;
}

std::vector<std::string> LayerNames(const std::string& source) {
  GDALDatasetUniquePtr dataset = OpenDataset(source);
  std::vector<std::string> names;
  for (int i = 0; i < dataset->GetLayerCount(); ++i)
    names.emplace_back(dataset->GetLayer(i)->GetName());
  return names;
}

namespace {

// `read` applied to the fields of `layer` (empty: the only layer, else the first).
template <typename Read>
auto ReadLayer(const std::string& source, const std::string& layer, Read read) {
  GDALDatasetUniquePtr dataset = OpenDataset(source);
  if (layer.empty() && dataset->GetLayerCount() > 1) return read(*dataset->GetLayer(0));
  return read(ChooseLayer(*dataset, source, layer));
}

template <typename Read>
std::vector<std::string> ReadFields(const std::string& source, const std::string& layer,
                                    Read read) {
  return ReadLayer(source, layer,
                   [&read](OGRLayer& chosen) { return read(*chosen.GetLayerDefn()); });
}

}  // namespace

std::vector<std::string> LayerFieldNames(const std::string& source, const std::string& layer) {
  return ReadFields(source, layer, FieldNames);
}

std::vector<std::string> LayerFieldAliases(const std::string& source, const std::string& layer) {
  return ReadFields(source, layer, FieldAliases);
}

std::vector<std::vector<std::string>> LayerFirstFeatures(const std::string& source,
                                                         const std::string& layer, int count) {
  return ReadLayer(source, layer, [count](OGRLayer& chosen) {
    std::vector<std::vector<std::string>> features;
    chosen.ResetReading();
    while (static_cast<int>(features.size()) < count) {
      const OGRFeatureUniquePtr feature(chosen.GetNextFeature());
      if (!feature) break;
      std::vector<std::string>& texts = features.emplace_back();
      for (int i = 0; i < feature->GetFieldCount(); ++i) {
        const char* text = feature->IsFieldSetAndNotNull(i) ? feature->GetFieldAsString(i) : "";
        texts.push_back(DecodeChineseText(text).value_or(text));
      }
    }
    return features;
  });
}

}  // namespace quilmark
