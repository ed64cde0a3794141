#include "src/output/new_workbook.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "src/app/run_driver.h"
#include "tests/summarize.h"
#include "src/host/memory_host.h"
#include "src/host/xlsx/xlsx_host.h"
#include "src/output/new_workbook_target.h"
#include "tests/recording_sink.h"
#include "tests/xlsx/xlsx_fixture.h"

namespace quilmark {
namespace {

using testing::ReadZip;
using testing::TempFolder;

CellValue T(const char* text) { return std::string(text); }

TEST(DefaultResultPath, BesideTheInputNamedAfterIt) {
  const struct {
    const char* input;
    const char* result;  // "" when there is none
  } cases[] = {
      {"地块/layer.gpkg", "地块/layer-汇总.xlsx"},
      {"survey.gdb", "survey-汇总.xlsx"},
      {"/data/survey.gdb/", "/data/survey-汇总.xlsx"},
      {"tb.shp", "tb-汇总.xlsx"},
      {"PG:dbname=land host=db", ""},
      {"地块:2024.gpkg", "地块:2024-汇总.xlsx"},  // a colon in a file name
  };
  for (const auto& c : cases) {
    const auto path = DefaultResultPath(c.input);
    EXPECT_EQ(path ? path->string() : "", c.result) << c.input;
  }
}

TEST(SheetNameFor, ReplacesForbiddenCharactersAndCuts) {
  EXPECT_EQ(SheetNameFor("土地利用情况分区域汇总"), "土地利用情况分区域汇总");
  EXPECT_EQ(SheetNameFor("a/b:c[d]*?\\"), "a_b_c_d____");
  EXPECT_EQ(SheetNameFor(std::string(40, 'x')), std::string(31, 'x'));
}

// The written workbook read back: one sheet per grid, values in place, header bold and frozen,
// the decimals' format, and a width for the Chinese column.
TEST(WriteNewWorkbook, OneSheetPerTaskReadBack) {
  TempFolder folder;
  const auto target = folder / "layer-汇总.xlsx";
  ResultTable land_use{"土地利用情况分区域汇总",
                       11,
                       1,
                       {{{}, T("建设用地"), T("耕地"), T("宗数")},
                        {T("南城区第一街道办事处"), 12.5, 0.0, 3.0}},
                       {3}};
  // The zone totals' header row is empty: left out, nothing frozen.
  ResultTable totals{"按区域统计", 12, 1, {{{}, {}}, {T("南城区"), 3.25}}};
  WriteNewWorkbook(target, std::vector<ResultTable>{land_use, totals}, 2);

  for (const auto& [grid, skipped] : {std::pair{&land_use, 0}, std::pair{&totals, 1}}) {
    XlsxFileHost host(target, {grid->name, {}});
    Worksheet* sheet = host.ActiveWorkbook()->ActiveSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->Name(), grid->name);
    for (size_t r = skipped; r < grid->cells.size(); ++r) {
      for (size_t c = 0; c < grid->cells[r].size(); ++c) {
        EXPECT_EQ(sheet->Read(static_cast<int32_t>(r + 1 - skipped), static_cast<int32_t>(c + 1)),
                  grid->cells[r][c]);
      }
    }
  }
  const auto entries = ReadZip(target);
  const std::string& first = entries.at("xl/worksheets/sheet1.xml");
  EXPECT_NE(first.find("state=\"frozen\""), std::string::npos);
  EXPECT_NE(first.find("width=\"22"), std::string::npos);  // 20 columns of text, 2 spare
  EXPECT_EQ(entries.at("xl/worksheets/sheet2.xml").find("frozen"), std::string::npos);
  // The whole areas keep the decimals' format; only the count column shows none.
  const std::string& styles = entries.at("xl/styles.xml");
  EXPECT_NE(styles.find("formatCode=\"0.00\""), std::string::npos);
  EXPECT_NE(first.find("<c r=\"C2\" s=\"2\""), std::string::npos) << first;
  EXPECT_NE(first.find("<c r=\"D2\" s=\"3\""), std::string::npos) << first;
  EXPECT_NE(entries.at("xl/styles.xml").find("<b/>"), std::string::npos);
}

TEST(WriteNewWorkbook, ReplacesKeepingModeAndFailsLeavingNothing) {
  TempFolder folder;
  const auto target = folder / "out.xlsx";
  testing::WriteZip(target, {{"x", "old"}});
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  WriteNewWorkbook(target, std::vector<ResultTable>{{"按区域统计", 12, 0, {{T("A"), 1.0}}}});
  struct stat info {};
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(ReadZip(target).count("x"), 0u);

  // A cell the format cannot hold fails the save, and the old file stays.
  const std::string before = testing::ReadFile(target);
  ResultTable too_long{"按区域统计", 12, 0, {{CellValue(std::string(40000, 'a'))}}};
  EXPECT_THROW(WriteNewWorkbook(target, std::vector<ResultTable>{too_long}), HostError);
  EXPECT_EQ(testing::ReadFile(target), before);
  EXPECT_THROW(
      WriteNewWorkbook(folder / "missing" / "out.xlsx", std::vector<ResultTable>{too_long}),
      HostError);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

// A chart sheet that cannot be added (its name is taken) fails the save, whatever table follows.
TEST(WriteNewWorkbook, AChartThatCannotBeAddedFailsTheSave) {
  TempFolder folder;
  ResultTable charted{"按区域统计", 0, 1, {{T("区域"), T("面积")}, {T("A"), 1.0}}};
  charted.charts.push_back({ChartSpec::Kind::kPie, "按区域统计", 0, 1, 1, 0, 1, 1});
  ResultTable printed{"报表", 0, 1, charted.cells};
  printed.print = PrintLayout{"报表"};
  const std::vector<ResultTable> cases[] = {{charted}, {charted, printed}};
  for (const std::vector<ResultTable>& tables : cases) {
    SCOPED_TRACE(tables.size());
    EXPECT_THROW(WriteNewWorkbook(folder / "out.xlsx", tables), HostError);
    EXPECT_FALSE(std::filesystem::exists(folder / "out.xlsx"));
  }
}

// A run whose tables go to a new workbook: one sheet per task, the source neither written nor
// saved.
TEST(NewWorkbookTarget, TakesARunsTables) {
  TempFolder folder;
  MemoryHost host;
  MemoryWorkbook& workbook = host.OpenWorkbook("图斑.xlsx");
  MemorySheet& sheet = workbook.AddSheet("Sheet1");
  sheet.SetRow(1, {T("南城区"), T("011"), 2.5});
  sheet.SetRow(2, {T("南城区"), T("011"), 1.25});
  RunOptions options;
  options.CheckZQStat = options.ChkNumArea = true;
  RecordingSink sink;
  NewWorkbookTarget target(folder / "结果.xlsx", std::nullopt);
  ASSERT_EQ(SummarizeHost(options, host, sink, &target).outcome, RunResult::Outcome::kCompleted);
  EXPECT_EQ(sheet.write_count(), 0);
  EXPECT_EQ(workbook.save_count(), 0);

  const auto entries = ReadZip(folder / "结果.xlsx");
  const std::string& book = entries.at("xl/workbook.xml");
  const size_t totals = book.find("按区域统计"), cross = book.find("宗数和面积统计");
  ASSERT_NE(totals, std::string::npos);
  ASSERT_NE(cross, std::string::npos);
  EXPECT_LT(totals, cross);
  XlsxFileHost result(folder / "结果.xlsx", {"宗数和面积统计", {}});
  Worksheet* cross_tab = result.ActiveWorkbook()->ActiveSheet();
  ASSERT_NE(cross_tab, nullptr);
  EXPECT_EQ(cross_tab->Read(3, 1), CellValue(T("南城区")));
  EXPECT_EQ(cross_tab->Read(3, 3), CellValue(3.75));
  EXPECT_NE(entries.at("xl/worksheets/sheet2.xml").find("ySplit=\"2\""), std::string::npos);
}

}  // namespace
}  // namespace quilmark
