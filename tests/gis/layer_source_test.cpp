#include "src/host/gdal/layer_source.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "src/host/filter_problem.h"
#include "src/host/sheet_host.h"
#include "tests/gis/gis_files.h"

namespace quilmark {
namespace {

using testing::GisFiles;
using ::testing::HasSubstr;
using testing::LayerKind;

using Row = std::tuple<std::string, std::string, double>;

const std::vector<Row> kPatches = {{"石碣镇", "0101", 1250.5}, {"常平镇", "0301", 325.25},
                                   {"石碣镇", "0101", 150.0},  {"南城区", "2040", 700.0},
                                   {"常平镇", "1110", 75.75},  {"石碣镇", "3170", 200.0},
                                   {"常平镇", "0301K", 100.0}, {"南城区", "", 50.0}};

std::vector<Row> ReadAll(LayerRequest request, bool geometry_area) {
  request.zone_field = "ZLMC";
  request.class_field = "DLBM";
  if (!geometry_area) request.area_field = "TBMJ";
  OpenedLayer layer = OpenLayer(request);
  std::vector<Row> rows;
  SourceRow row;
  while (layer.rows->Next(row)) {
    EXPECT_EQ(row.number, static_cast<int64_t>(rows.size()) + 1);
    EXPECT_EQ(row.cross_class, row.class_);
    rows.emplace_back(CellText(*row.zone), CellText(*row.class_), std::get<double>(*row.area));
  }
  return rows;
}

class LayerSourceTest : public ::testing::Test {
 protected:
  GisFiles files_;
};

// Every kind gives the same rows in the same order, Chinese text intact (a GBK .dbf without a
// .cpg included), with the area from the field or from the geometry.
TEST_F(LayerSourceTest, EveryKindReadsTheSameRows) {
  for (LayerKind kind :
       {LayerKind::kCsv, LayerKind::kGeoPackage, LayerKind::kFileGdb, LayerKind::kShapefileGbkNoCpg,
        LayerKind::kShapefileUtf8Cpg, LayerKind::kCsvGbk, LayerKind::kShapefileGbkCpg}) {
    const std::string source = files_.Make(kind);
    SCOPED_TRACE(source);
    ASSERT_FALSE(source.empty());
    EXPECT_EQ(ReadAll({.source = source}, false), kPatches);
    const std::vector<Row> by_geometry = ReadAll({.source = source}, true);
    ASSERT_EQ(by_geometry.size(), kPatches.size());
    for (size_t i = 0; i < kPatches.size(); ++i) {
      EXPECT_NEAR(std::get<2>(by_geometry[i]), std::get<2>(kPatches[i]),
                  1e-2);  // a geodatabase rounds coordinates
    }
  }
}

TEST_F(LayerSourceTest, FieldsByNumberAndFilterByTheSource) {
  const std::string source = files_.Make(LayerKind::kGeoPackage);
  LayerRequest request{.source = source, .where = "DLBM LIKE '03%'"};
  request.zone_field = "2";  // ZLMC, the second field once the geometry is a column no more
  request.class_field = "dlbm";
  request.area_field = "4";
  OpenedLayer layer = OpenLayer(request);
  EXPECT_EQ(layer.name, "patches");
  SourceRow row;
  std::vector<std::string> zones;
  while (layer.rows->Next(row)) zones.push_back(CellText(*row.zone));
  EXPECT_THAT(zones, ::testing::ElementsAre("常平镇", "常平镇"));
  EXPECT_EQ(layer.rows->RowLabel(2), "FID 7");
}

// A filter selects on any field, whether the run reads it or not, and a Chinese literal matches
// on every kind, a GBK CSV included; a layer whose filter selects nothing says it is empty.
TEST_F(LayerSourceTest, FilterSelectsOnAnyFieldOfEveryKind) {
  struct Case {
    const char* where;
    std::vector<std::string> zones;
  };
  const Case cases[] = {
      {"DLBM = '0101'", {"石碣镇", "石碣镇"}},
      {"ZLDWDM LIKE '441900102%'", {"常平镇", "常平镇", "常平镇"}},
      {"ZLMC = '南城区'", {"南城区", "南城区"}},
      {"DLBM = '9999'", {}},
  };
  for (LayerKind kind : testing::kEveryLayerKind) {
    for (const Case& c : cases) {
      LayerRequest request{.source = files_.Make(kind), .where = c.where, .zone_field = "ZLMC"};
      SCOPED_TRACE(request.source + ": " + c.where);
      request.area_field = "TBMJ";
      OpenedLayer layer = OpenLayer(request);
      EXPECT_EQ(layer.empty, c.zones.empty());
      std::vector<std::string> zones;
      SourceRow row;
      while (layer.rows->Next(row)) zones.push_back(CellText(*row.zone));
      EXPECT_EQ(zones, c.zones);
    }
  }
}

// A whole-number zone or class field (a 64-bit code, an integer class) reads as its digits, so
// that prefixes and code lookups see the code; the area stays a number. A shapefile holds a
// 19-digit code in a field it reports as Real; a geodatabase keeps a 64-bit integer as a Real.
TEST_F(LayerSourceTest, WholeNumberCodesReadAsTheirDigits) {
  const std::string csv = (files_.folder() / "codes.csv").string();
  std::ofstream(csv) << "WKT,ZLDWDM,BSM,DLBM,TBMJ\n\"POLYGON((0 0,0 10,10 10,10 0,0 0))\","
                     << "4419001010010000000,4419001010010001,101,12.5\n";
  std::ofstream(files_.folder() / "codes.csvt")
      << "\"WKT\",\"Integer64\",\"Integer64\",\"Integer\",\"Real\"\n";
  struct Case {
    LayerKind kind;
    const char* zone;
    const char* digits;
  };
  const Case cases[] = {
      {LayerKind::kCsv, "ZLDWDM", "4419001010010000000"},
      {LayerKind::kGeoPackage, "ZLDWDM", "4419001010010000000"},
      {LayerKind::kShapefileUtf8Cpg, "ZLDWDM", "4419001010010000000"},
      {LayerKind::kShapefileUtf8Cpg, "BSM", "4419001010010001"},
      {LayerKind::kFileGdb, "BSM", "4419001010010001"},
  };
  for (const Case& c : cases) {
    LayerRequest request{.source = files_.Make(c.kind, csv), .zone_field = c.zone};
    SCOPED_TRACE(request.source + ": " + c.zone);
    request.class_field = "DLBM";
    request.area_field = "TBMJ";
    OpenedLayer layer = OpenLayer(request);
    SourceRow row;
    ASSERT_TRUE(layer.rows->Next(row));
    EXPECT_EQ(*row.zone, CellValue(std::string(c.digits)));
    EXPECT_EQ(*row.class_, CellValue(std::string("101")));
    EXPECT_EQ(*row.area, CellValue(12.5));
  }
}

// Further named fields come in the same pass, in the order named, GBK text decoded like the zone.
TEST_F(LayerSourceTest, ExtraFieldsComeWithEachRow) {
  for (LayerKind kind : {LayerKind::kGeoPackage, LayerKind::kShapefileGbkNoCpg}) {
    const std::string source = files_.Make(kind);
    SCOPED_TRACE(source);
    LayerRequest request{.source = source, .zone_field = "ZLDWDM", .area_field = "TBMJ"};
    request.extra_fields = {"DLBM", "zlmc"};
    OpenedLayer layer = OpenLayer(request);
    SourceRow row;
    std::vector<Row> rows;
    while (layer.rows->Next(row)) {
      ASSERT_EQ(row.fields.size(), 2u);
      rows.emplace_back(CellText(*row.fields[1]), CellText(*row.fields[0]),
                        std::get<double>(*row.area));
    }
    EXPECT_EQ(rows, kPatches);
    request.extra_fields = {"QSXZ"};
    EXPECT_THROW(OpenLayer(request), HostError);
  }
}

// Every cell of every row as the source gives it, and how a message names each row.
using Cells = std::vector<std::optional<CellValue>>;
std::pair<std::vector<Cells>, std::vector<std::string>> ReadCells(const LayerRequest& request) {
  OpenedLayer layer = OpenLayer(request);
  std::vector<Cells> rows;
  SourceRow row;
  while (layer.rows->Next(row)) {
    rows.push_back({row.zone, row.class_, row.cross_class, row.area, row.deduction});
    rows.back().insert(rows.back().end(), row.fields.begin(), row.fields.end());
  }
  std::vector<std::string> labels;
  for (size_t number = 1; number <= rows.size(); ++number) {
    labels.push_back(layer.rows->RowLabel(static_cast<int64_t>(number)));
  }
  return {rows, labels};
}

// A GeoPackage or FlatGeobuf layer read whole comes in column batches; its rows are those the
// feature reader gives under a filter every feature passes: codes of each number type as digits,
// nulls empty, texts whole, the ids of doubtful rows kept. A date field is left to the feature
// reader.
TEST_F(LayerSourceTest, ColumnBatchesGiveTheFeatureReadersRows) {
  const std::filesystem::path csv = files_.folder() / "kinds.csv";
  const std::string square = "\"POLYGON((0 0,0 10,10 10,10 0,0 0))\"";
  std::ofstream(csv) << "WKT,ZLDWDM,DLBM,XS,BSM,TBMJ,KCXS,ZLDWMC,RQ\n"
                     << square << ",4419001010010000000,0101,101,7,12.5,0.1,石碣村,2024-01-05\n"
                     << square << ",4419001010020000000,,1203.0,,,,,\n"
                     << square << ",,0301K,2.5,8,3,0.25,常平镇横江厦村,\n";
  std::ofstream(files_.folder() / "kinds.csvt")
      << "\"WKT\",\"Integer64\",\"String\",\"Real\",\"Integer\",\"Real\",\"Real\","
      << "\"String\",\"Date\"\n";
  for (const char* format : {"GPKG", "FlatGeobuf"}) {
    const std::string source = (files_.folder() / (std::string("kinds.") + format)).string();
    ASSERT_TRUE(testing::Shell(std::string("ogr2ogr -q -f ") + format +
                               " -a_srs EPSG:4547 -nlt POLYGON -oo KEEP_GEOM_COLUMNS=NO "
                               "-oo EMPTY_STRING_AS_NULL=YES '" +
                               source + "' '" + csv.string() + "'"));
    for (const std::vector<std::string>& extras :
         {std::vector<std::string>{"DLBM", "BSM", "ZLDWMC"}, {"ZLDWMC", "RQ"}}) {
      LayerRequest request{.source = source, .zone_field = "ZLDWDM", .class_field = "XS"};
      request.area_field = "TBMJ";
      request.deduction_field = "KCXS";
      request.extra_fields = extras;
      SCOPED_TRACE(source + ": " + extras.back());
      const auto [rows, labels] = ReadCells(request);
      request.where = "1 = 1";
      EXPECT_EQ(ReadCells(request), std::make_pair(rows, labels));
      ASSERT_EQ(rows.size(), 3u);
      EXPECT_EQ(rows[0][0], CellValue(std::string("4419001010010000000")));
      EXPECT_EQ(rows[1][1], CellValue(std::string("1203")));
      EXPECT_THAT(labels[1], ::testing::StartsWith("FID "));  // its area is empty: id kept
    }
  }
}

// A GBK CSV's field names are chosen and listed as text; a value that is neither UTF-8 nor GBK
// stops the run at its feature rather than reaching the result, unless a filter leaves it out.
TEST_F(LayerSourceTest, GbkCsvNamesAndValuesReadAsText) {
  const std::string source = (files_.folder() / "gbk-names.csv").string();
  std::ofstream(source) << "\xC7\xF8\xD3\xF2,\xB5\xD8\xC0\xE0,TBMJ\n"  // 区域,地类
                        << "\xCA\xAF\xED\xD9\xD5\xF2,0101,12.5\n"      // 石碣镇
                        << "\xCA\xAF\xED,0101,1\n";                    // cut off
  EXPECT_THAT(LayerFieldNames(source, ""), ::testing::ElementsAre("区域", "地类", "TBMJ"));
  LayerRequest request{.source = source, .zone_field = "区域", .class_field = "地类"};
  request.area_field = "TBMJ";
  OpenedLayer layer = OpenLayer(request);
  SourceRow row;
  ASSERT_TRUE(layer.rows->Next(row));
  EXPECT_EQ(CellText(*row.zone), "石碣镇");
  EXPECT_THAT([&] { layer.rows->Next(row); },
              ::testing::ThrowsMessage<HostError>(HasSubstr("第 2 个要素")));
  // A filter names the fields and the texts as they read; the damaged value matches nothing.
  request.where = "\"区域\" = '石碣镇'";
  layer = OpenLayer(request);
  ASSERT_TRUE(layer.rows->Next(row));
  EXPECT_EQ(CellText(*row.zone), "石碣镇");
  EXPECT_FALSE(layer.rows->Next(row));
}

// What stops a source before its first row, and what the message must tell the user.
TEST_F(LayerSourceTest, BadSourcesStopWithAClearMessage) {
  const std::filesystem::path folder = files_.folder();
  const std::string shapefile = files_.Make(LayerKind::kShapefileUtf8Cpg);
  const std::filesystem::path lonely = folder / "lonely";
  std::filesystem::create_directories(lonely);
  std::filesystem::copy_file(std::filesystem::path(shapefile).replace_extension(".shp"),
                             lonely / "patches.shp");
  const std::filesystem::path damaged = folder / "damaged";
  std::filesystem::create_directories(damaged);
  for (const char* extension : {".shp", ".shx", ".dbf"}) {
    std::filesystem::copy_file(std::filesystem::path(shapefile).replace_extension(extension),
                               damaged / (std::string("patches") + extension));
  }
  std::filesystem::resize_file(damaged / "patches.dbf", 200);
  const std::string geographic = (folder / "wgs84.gpkg").string();
  ASSERT_TRUE(testing::Shell("ogr2ogr -q -f GPKG -a_srs EPSG:4326 -oo KEEP_GEOM_COLUMNS=NO '" +
                             geographic + "' '" + GisFiles::Csv() + "'"));
  const std::string two_layers = (folder / "two.gpkg").string();
  ASSERT_TRUE(testing::Shell("ogr2ogr -q -f GPKG -nln a '" + two_layers + "' '" + GisFiles::Csv() +
                             "' && ogr2ogr -q -update -nln b '" + two_layers + "' '" +
                             GisFiles::Csv() + "'"));

  struct Case {
    std::string source;
    std::string zone;
    std::optional<std::string> area;
    std::string where;
    std::string expected;
  };
  const std::string gpkg = files_.Make(LayerKind::kGeoPackage);
  const std::string garbage = (folder / "garbage.gpkg").string();
  std::ofstream(garbage) << "not a geopackage";
  const Case cases[] = {
      {(folder / "none.gpkg").string(), "ZLMC", "TBMJ", "", "不存在"},
      {(lonely / "patches.shp").string(), "ZLMC", "TBMJ", "", "缺少属性表文件 patches.dbf"},
      {(damaged / "patches.shp").string(), "ZLMC", "TBMJ", "", "patches.dbf 已损坏"},
      {garbage, "ZLMC", "TBMJ", "", "garbage.gpkg 不是可读的 GIS 数据"},
      {gpkg, "XZQDM", "TBMJ", "", "没有区域字段 \"XZQDM\"; 它的字段是: 1 ZLDWDM, 2 ZLMC"},
      {gpkg, "ZLMC", "9", "", "没有面积字段 \"9\""},
      {geographic, "ZLMC", std::nullopt, "", "经纬度"},
      {two_layers, "ZLMC", "TBMJ", "", "有 2 个图层, 请指定其中一个 (命令行: --layer 名称): a, b"},
      {gpkg, "ZLMC", "TBMJ", "DLBM LIKE", "筛选条件 \"DLBM LIKE\" 无效: 写法有误"},
      // A name that is no field, whoever evaluates the filter: SQLite, OGR, Quilmark (GBK CSV).
      {gpkg, "ZLMC", "TBMJ", "DLBX = '1'", "\"DLBX\" 不是这个图层的字段; 图层的字段是: 1 ZLDWDM"},
      {files_.Make(LayerKind::kShapefileGbkCpg), "ZLMC", "TBMJ", "DLBX = '1'",
       "\"DLBX\" 不是这个图层的字段"},
      {files_.Make(LayerKind::kCsvGbk), "ZLMC", "TBMJ", "DLBX = '1'",
       "\"DLBX\" 不是这个图层的字段"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    LayerRequest request{.source = c.source, .where = c.where, .zone_field = c.zone};
    request.area_field = c.area;
    try {
      OpenLayer(request);
      ADD_FAILURE() << "opened";
    } catch (const HostError& error) {
      EXPECT_THAT(error.what(), ::testing::StartsWith("无法读取图层: "));
      EXPECT_THAT(error.what(), HasSubstr(c.expected));
    }
  }
}

// What each evaluator says of a refused filter, in the words a planner acts on.
TEST(FilterProblem, PlainReasonThenGdalsText) {
  const struct {
    const char* gdal;
    const char* reason;
  } cases[] = {
      {"ERROR:  column \"dlbx\" does not exist\nLINE 1: ...",
       "\"dlbx\" 不是这个图层的字段; 图层的字段是: 1 A"},
      {"failed to prepare SQL: SELECT m.\"fid\" FROM t WHERE DLBX = 1: no such column: DLBX",
       "\"DLBX\" 不是这个图层的字段"},
      {"ERROR:  operator does not exist: character varying = integer", "类型不符"},
      {"SQL Expression Parsing Error: syntax error, unexpected '='.", "写法有误"},
      {"", "数据源不接受这个表达式。"},
  };
  for (const auto& c : cases) {
    const std::string text = FilterProblemText("w", c.gdal, "1 A");
    EXPECT_THAT(text, ::testing::StartsWith("筛选条件 \"w\" 无效: ")) << c.gdal;
    EXPECT_THAT(text, HasSubstr(c.reason)) << c.gdal;
  }
}

TEST(DatabaseFilter, CallsAndSecondStatementsRefusedBeforeConnecting) {
  struct Case {
    const char* where;
    const char* says;  // what the message holds: a refusal, or the connection's failure
  };
  constexpr const char* kUnreached = "无法连接数据库";
  const Case cases[] = {
      {"logit(1) AND dlbm = '01'", "函数 logit 不在允许之列"},
      {"lo_import ('/etc/hostname') > 0", "函数 lo_import 不在允许之列"},
      {"dlbm = '01'; DELETE FROM patches", "分号"},
      {"dlbm = 'lo_import(x); it''s' AND \"a(\" = ';'", kUnreached},
      {"tbmj BETWEEN (1) AND (2) AND NOT (dlbm IN ('01')) AND substr(dlbm, 1, 2) = '01'",
       kUnreached},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    LayerRequest request;
    request.source = "PG:host=/nonexistent-quilmark-socket dbname=land connect_timeout=1";
    request.where = c.where;
    request.zone_field = "zldwdm";
    try {
      OpenLayer(request);
      ADD_FAILURE() << "opened";
    } catch (const HostError& error) {
      EXPECT_THAT(error.what(), ::testing::HasSubstr(c.says));
    }
  }
}

}  // namespace
}  // namespace quilmark
