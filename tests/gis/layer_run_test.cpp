#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "src/app/land_use_choice.h"
#include "src/app/layer_input.h"
#include "tests/summarize.h"
#include "src/app/layer_parts.h"
#include "src/app/run_driver.h"
#include "tests/summarize.h"
#include "src/host/memory_host.h"
#include "src/output/worksheet_target.h"
#include "tests/gis/gis_files.h"
#include "tests/recording_sink.h"

namespace quilmark {
namespace {

using testing::GisFiles;
using testing::LayerKind;

constexpr int32_t kDataRows = 8;

// patches.csv as a worksheet: location code, class and area in columns 1 to 3.
void FillSheet(MemorySheet& sheet) {
  std::ifstream in(GisFiles::Csv());
  std::string line;
  std::getline(in, line);  // the field names
  for (int32_t row = 1; std::getline(in, line); ++row) {
    line = line.substr(line.find("))\",") + 4);
    std::vector<std::string> fields;
    for (size_t at = 0;;) {
      const size_t comma = line.find(',', at);
      fields.push_back(line.substr(at, comma - at));
      if (comma == std::string::npos) break;
      at = comma + 1;
    }
    sheet.SetRow(row, {fields[0], fields[2], std::stod(fields[3])});
  }
}

// Cells below the data, by (row, column).
std::map<std::pair<int32_t, int32_t>, CellValue> Results(const MemorySheet& sheet) {
  std::map<std::pair<int32_t, int32_t>, CellValue> results;
  for (const auto& [at, value] : sheet.cells()) {
    if (at.first > kDataRows) results.emplace(at, value);
  }
  return results;
}

RunOptions Options(const std::string& names_file) {
  RunOptions options;
  options.CheckTDLY = true;
  ChooseLandUseMethod(options, LandUseMethod::OptClassA_2008);
  options.CheckZQStat = true;
  options.ChkNumArea = true;
  options.ZonePrefix = 9;
  options.ZoneNamesFile = names_file;
  return options;
}

// Every kind of layer gives, cell for cell, what the same patches give as a worksheet: the same
// tasks, keys and order, with the zone transforms applied to both; only the cross-tab's zone
// header says what the layer's zones are.
TEST(LayerRun, EveryKindGivesWhatTheWorksheetGives) {
  GisFiles files;
  const std::string names = (files.folder() / "names.csv").string();
  std::ofstream(names) << "441900101,石碣镇\n441900102,常平镇\n";

  MemoryHost host;
  MemorySheet& sheet = host.OpenWorkbook("patches.xlsx").AddSheet("patches");
  FillSheet(sheet);
  RecordingSink sheet_sink;
  const RunResult sheet_run = SummarizeHost(Options(names), host, sheet_sink);
  ASSERT_EQ(sheet_run.outcome, RunResult::Outcome::kCompleted);
  const std::vector<std::string>& sheet_warnings = sheet_run.warnings;
  ASSERT_EQ(sheet_warnings.size(), 1u);
  auto expected = Results(sheet);
  ASSERT_FALSE(expected.empty());
  // The layer's zones are named from the names file, not taken from a field: 区域 heads them.
  for (auto& [at, value] : expected) {
    if (value == CellValue(std::string("镇区名称"))) value = std::string("区域");
  }

  for (LayerKind kind :
       {LayerKind::kCsv, LayerKind::kGeoPackage, LayerKind::kFileGdb, LayerKind::kShapefileGbkNoCpg,
        LayerKind::kShapefileUtf8Cpg, LayerKind::kCsvGbk, LayerKind::kShapefileGbkCpg}) {
    const std::string source = files.Make(kind);
    SCOPED_TRACE(source);
    RunOptions options = Options(names);
    options.TextZQColumn = "ZLDWDM";
    options.TextDKStyleColumn = "DLBM";
    options.TextAreaColumn = "TBMJ";
    MemorySheet results("results");
    WorksheetTarget target(results, kDataRows);
    RecordingSink sink;
    const RunResult result = SummarizeLayer(options, {source, "", ""}, target, sink);
    ASSERT_EQ(result.outcome, RunResult::Outcome::kCompleted) << result.message;
    EXPECT_EQ(result.warnings, sheet_warnings);  // third-survey codes under a 2008 method
    EXPECT_EQ(Results(results), expected);
  }
}

// The confirmation names the layer and its source; the cross-tab heads its zones with the zone
// field as typed, or as the layer spells it where it was chosen by number. A filter that selects
// nothing, or a layer without features, stops the run with nothing written.
TEST(LayerRun, NamesTheLayerAndStopsWhenNoPatchIsSelected) {
  GisFiles files;
  const std::string gpkg = files.Make(LayerKind::kGeoPackage);
  const std::string empty = (files.folder() / "empty.gpkg").string();
  ASSERT_TRUE(testing::Shell("ogr2ogr -q -f GPKG -where \"DLBM = 'x'\" -nln patches '" + empty +
                             "' '" + gpkg + "'"));
  struct Case {
    std::string zone;
    std::string where;
    std::string source;
    std::string message;  // the last message
    std::string header;   // of the cross-tab's zones; empty: the run stops
  };
  const Case cases[] = {
      {"zldwdm", "", gpkg, kCompletionText.data(), "zldwdm"},
      {"2", "DLBM LIKE '03%'", gpkg, kCompletionText.data(), "ZLMC"},
      {"ZLMC", "DLBM = '9999'", gpkg,
       "筛选条件 \"DLBM = '9999'\" 在图层 patches (" + gpkg + ") 中没有选中任何图斑", ""},
      {"ZLMC", "", empty, "图层 patches (" + empty + ") 中没有任何图斑", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.zone + " " + c.where);
    RunOptions options;
    options.ChkNumArea = true;
    options.TextZQColumn = c.zone;
    options.TextDKStyleColumn = "DLBM";
    options.TextAreaColumn = "TBMJ";
    MemorySheet results("results");
    WorksheetTarget target(results, 0);
    RecordingSink sink;
    const RunResult result = SummarizeLayer(options, {c.source, "", c.where}, target, sink);
    ASSERT_FALSE(sink.messages.empty());
    EXPECT_EQ(sink.messages[0].second, "确认: 需要统计的图层为 patches, 数据源为 " + c.source);
    EXPECT_NE(result.message.find(c.message), std::string::npos) << result.message;
    EXPECT_EQ(result.outcome,
              c.header.empty() ? RunResult::Outcome::kStopped : RunResult::Outcome::kCompleted);
    if (c.header.empty()) {
      EXPECT_TRUE(results.cells().empty());
      continue;
    }
    const auto& cells = results.cells();
    const auto total = std::find_if(cells.begin(), cells.end(), [](const auto& cell) {
      return cell.second == CellValue(std::string("总宗数"));
    });
    ASSERT_NE(total, cells.end());
    EXPECT_EQ(results.At(total->first.first, 1), CellValue(c.header));
  }
}

// A layer's empty or non-numeric areas are counted as the leading-number rule reads them, and
// reported with their features' ids.
TEST(LayerRun, DoubtfulAreasAreReportedWithFeatureIds) {
  GisFiles files;
  const std::string csv = (files.folder() / "odd.csv").string();
  std::ofstream(csv) << "ZONE,CLASS,AREA\n101,011,12.5\n101,011,\n102,021,3亩\n102,021,4\n";
  RunOptions options;
  options.CheckZQStat = true;
  options.TextZQColumn = "ZONE";
  options.TextAreaColumn = "AREA";
  MemorySheet results("results");
  WorksheetTarget target(results, 0);
  RecordingSink sink;
  const RunResult result = SummarizeLayer(options, {csv, "", ""}, target, sink);
  ASSERT_EQ(result.outcome, RunResult::Outcome::kCompleted) << result.message;
  ASSERT_EQ(result.warnings.size(), 1u);
  EXPECT_NE(result.warnings[0].find("有 2 个"), std::string::npos) << result.warnings[0];
  EXPECT_NE(result.warnings[0].find("FID 2 \"(空)\" 计为 0; FID 3 \"3亩\" 计为 3"),
            std::string::npos)
      << result.warnings[0];
}

// Faults the data check stops a layer run for, read feature by feature (CSV) and in column batches
// (GeoPackage): zone codes a Real field could not hold (two zones would merge into a code of
// neither), a negative area; and, checked alone, a patch identifier twice.
TEST(LayerRun, DataCheckStopsBeforeAnythingIsWritten) {
  GisFiles files;
  struct Case {
    const char* name;
    const char* rows;  // BSM, ZONE, AREA
    int zone_prefix;
    const char* stop;  // empty: the run completes
    bool check_only = false;
  };
  const Case cases[] = {
      {"long", "1,450312211000204522,12.5\n2,450312211000204563,3\n", 0,
       "长编码存成了浮点数: 2 处"},
      {"prefixed", "1,450312211000204522,12.5\n2,450312211000204563,3\n", 9, ""},
      {"negative", "1,101,12.5\n2,102,-3\n", 0, "负面积: 1 处"},
      {"twice", "1,101,12.5\n1,102,3\n", 0, "标识码重复", true},
  };
  for (const Case& c : cases) {
    const std::string csv = (files.folder() / (std::string(c.name) + ".csv")).string();
    std::ofstream(csv.substr(0, csv.size() - 4) + ".csvt")
        << "\"WKT\",\"String\",\"Real\",\"String\",\"Real\"\n";
    std::ofstream out(csv);
    out << "WKT,BSM,ZONE,CLASS,AREA\n";
    std::istringstream rows(c.rows);
    for (std::string row; std::getline(rows, row);) {
      const size_t area = row.rfind(',');
      out << "\"POLYGON((0 0,1 0,1 1,0 1,0 0))\"," << row.substr(0, area) << ",011"
          << row.substr(area) << "\n";
    }
    out.close();
    for (const LayerKind kind : {LayerKind::kCsv, LayerKind::kGeoPackage}) {
      SCOPED_TRACE(std::string(c.name) + (kind == LayerKind::kCsv ? " csv" : " gpkg"));
      RunOptions options;
      options.CheckZQStat = true;
      options.TextZQColumn = "ZONE";
      options.TextAreaColumn = "AREA";
      options.ZonePrefix = c.zone_prefix;
      options.CheckOnly = c.check_only;
      MemorySheet results("results");
      WorksheetTarget target(results, 0);
      RecordingSink sink;
      const RunResult result =
          SummarizeLayer(options, {files.Make(kind, csv), "", ""}, target, sink);
      if (*c.stop == '\0') {
        EXPECT_EQ(result.outcome, RunResult::Outcome::kCompleted) << result.message;
        continue;
      }
      EXPECT_EQ(result.stop, StopReason::kDataError);
      if (c.check_only) {  // the findings are the table written, and nothing else
        const auto& cells = results.cells();
        EXPECT_TRUE(std::any_of(cells.begin(), cells.end(), [&](const auto& cell) {
          return cell.second == CellValue(std::string(c.stop));
        }));
        continue;
      }
      EXPECT_NE(result.message.find(c.stop), std::string::npos) << result.message;
      EXPECT_TRUE(results.cells().empty());
    }
  }
}

// The deduction coefficient comes from a field named like any other; one outside [0, 1) stops
// the run naming its feature, with nothing written.
TEST(LayerRun, DeductionFieldByNameAndBadCoefficientsStop) {
  GisFiles files;
  struct Case {
    const char* coefficients[2];
    RunResult::Outcome outcome;
    const char* message;
  };
  const Case cases[] = {
      {{"0.1", ""}, RunResult::Outcome::kCompleted, ""},
      {{"0.1", "1.5"}, RunResult::Outcome::kStopped, "FID 2 的田坎系数 \"1.5\""},
      {{"-0.2", "0"}, RunResult::Outcome::kStopped, "FID 1 的田坎系数 \"-0.2\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const std::string csv = (files.folder() / "kcxs.csv").string();
    std::ofstream(csv) << "ZONE,CLASS,AREA,KCXS\n101,011,100," << c.coefficients[0]
                       << "\n101,011,50," << c.coefficients[1] << "\n";
    RunOptions options;
    options.CheckTDLY = true;
    ChooseLandUseMethod(options, LandUseMethod::OptClassC_2008);
    options.TextZQColumn = "ZONE";
    options.TextDKStyleColumn = "CLASS";
    options.TextAreaColumn = "AREA";
    options.TextKCXSColumn = "kcxs";
    MemorySheet results("results");
    WorksheetTarget target(results, 0);
    RecordingSink sink;
    const RunResult result = SummarizeLayer(options, {csv, "", ""}, target, sink);
    EXPECT_EQ(result.outcome, c.outcome) << result.message;
    EXPECT_NE(result.message.find(c.message), std::string::npos) << result.message;
    if (c.outcome == RunResult::Outcome::kCompleted) {
      const auto& cells = results.cells();  // 011: 90 + 50
      EXPECT_TRUE(std::any_of(cells.begin(), cells.end(),
                              [](const auto& cell) { return cell.second == CellValue(140.0); }));
    } else {
      EXPECT_TRUE(results.cells().empty());
    }
  }
}

// Sources are named by their file names, by their paths where two file names are alike, and a
// connection string never with its password.
TEST(SourceNames, FileNamesUnlessTwoAreAlike) {
  struct Case {
    std::vector<std::string> sources;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {{"/a/一片.gpkg", "b/二片.shp", "c.gdb/"}, {"一片.gpkg", "二片.shp", "c.gdb"}},
      {{"/a/dltb.shp", "/b/dltb.shp"}, {"/a/dltb.shp", "/b/dltb.shp"}},
      {{"PG:dbname=x password=secret", "/a/dltb.shp"}, {"PG:dbname=x password=***", "dltb.shp"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SourceNames(c.sources), c.names);
}

// A folder's layer files and geodatabases in name order: a shapefile once, a lone .dbf as a
// table, no workbook, no other subfolder; a geodatabase is one source, not a folder of them.
TEST(LayerFilesIn, EachLayerOnceInNameOrder) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("quilmark-layer-files-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder / "e.gdb");
  std::filesystem::create_directories(folder / "f");
  for (const char* name : {"b.shp", "b.dbf", "a.gpkg", "c.dbf", "d.xlsx"}) {
    std::ofstream(folder / name).put('x');
  }
  EXPECT_EQ(LayerFilesIn(folder.string()),
            (std::vector<std::string>{(folder / "a.gpkg").string(), (folder / "b.shp").string(),
                                      (folder / "c.dbf").string(), (folder / "e.gdb").string()}));
  EXPECT_TRUE(LayerFilesIn((folder / "e.gdb").string()).empty());
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace quilmark
