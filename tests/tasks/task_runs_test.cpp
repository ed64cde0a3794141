// Whole runs through CarryOut on the in-memory host: the master plan, zone totals and
// cross-tab blocks as they land in the sheet, alone and together with the other tasks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "src/app/run_driver.h"
#include "tests/summarize.h"
#include "src/host/memory_host.h"
#include "tests/recording_sink.h"
#include "tests/tasks/task_sheet.h"

namespace quilmark {
namespace {

using task_test::CellsFrom;
using task_test::N;
using task_test::T;

using Cells = std::vector<std::string>;

struct SheetRun {
  MemoryHost host;
  MemorySheet* sheet;
  RecordingSink sink;
  RunResult result;

  explicit SheetRun(const std::vector<std::vector<CellValue>>& rows) {
    sheet = &host.OpenWorkbook("规划.xlsx").AddSheet("图斑");
    for (size_t i = 0; i < rows.size(); ++i) sheet->SetRow(static_cast<int32_t>(i) + 1, rows[i]);
  }
  // Runs and expects the run to complete.
  void Start(const RunOptions& options) {
    result = SummarizeHost(options, host, sink);
    EXPECT_EQ(result.outcome, RunResult::Outcome::kCompleted) << result.message;
    ASSERT_FALSE(sink.messages.empty());
    EXPECT_EQ(sink.messages.back().first, MessageKind::kCompletion);
  }
};

const std::vector<std::vector<CellValue>> kPlanningRows = {
    {T("A"), T("一般农地区"), N(2)},
    {T("A"), T("城镇建设用地区"), N(3)},
    {T("B"), T("永久性基本农田区"), N(1)},
    {T("B"), T("基本农田保护区"), N(4)},
};

TEST(MasterPlanRun, WorkedExampleUnderEachMethod) {
  struct Case {
    const char* name;
    bool RunOptions::*method;
    Cells block;
  };
  const Case cases[] = {
      {"IsNewGH",
       &RunOptions::IsNewGH,
       {"R15C2 其它不符合规划用地", "R15C3 符合规划用地", "R15C4 基本农田",  //
        "R16C1 A", "R16C2 #2", "R16C3 #3", "R16C4 #0",                       //
        "R17C1 B", "R17C2 #0", "R17C3 #0", "R17C4 #5"}},
      {"IsOldGH",
       &RunOptions::IsOldGH,
       {"R15C2 一般农地区", "R15C3 符合规划用地", "R15C4 永久性基本农田区",
        "R15C5 基本农田保护区",                                     //
        "R16C1 A", "R16C2 #2", "R16C3 #3", "R16C4 #0", "R16C5 #0",  //
        "R17C1 B", "R17C2 #0", "R17C3 #0", "R17C4 #1", "R17C5 #4"}},
      {"IsAllZone",
       &RunOptions::IsAllZone,
       {"R15C2 一般农地区", "R15C3 城镇建设用地区", "R15C4 永久性基本农田区",
        "R15C5 基本农田保护区",                                     //
        "R16C1 A", "R16C2 #2", "R16C3 #3", "R16C4 #0", "R16C5 #0",  //
        "R17C1 B", "R17C2 #0", "R17C3 #0", "R17C4 #1", "R17C5 #4"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SheetRun run(kPlanningRows);
    RunOptions options;
    options.CheckZTGH = true;
    options.*c.method = true;
    run.Start(options);
    EXPECT_EQ(CellsFrom(*run.sheet, 5), c.block);
  }
}

TEST(ZoneTotalsRun, WorkedExample) {
  SheetRun run({{T("A"), {}, N(2.5)}, {T("B"), {}, N(1)}, {T("A"), {}, N(4)}});
  RunOptions options;
  options.CheckZQStat = true;
  run.Start(options);
  EXPECT_EQ(CellsFrom(*run.sheet, 4), (Cells{"R15C1 A", "R15C2 #6.5", "R16C1 B", "R16C2 #1"}));
}

// The classes come from column 2 even when the class column names another one.
TEST(CrossTabRun, WorkedExample) {
  SheetRun run({{T("镇区"), T("地类"), T("面积")},
                {T("A"), N(111), N(2.5)},
                {T("B"), N(112), N(1)},
                {T("A"), N(112), N(4)},
                {T("A"), N(111), N(0.5)}});
  RunOptions options;
  options.ChkNumArea = true;
  options.TextDKStyleColumn = "5";
  run.Start(options);
  EXPECT_EQ(CellsFrom(*run.sheet, 6),
            (Cells{"R15C4 地类",   "R15C6 111",  "R15C8 112",  "R16C1 镇区名称", "R16C2 总宗数",
                   "R16C3 总面积", "R16C4 宗数", "R16C5 面积", "R16C6 宗数",     "R16C7 面积",
                   "R16C8 宗数",   "R16C9 面积",                                              //
                   "R17C1 镇区",   "R17C2 #1",   "R17C3 #0",   "R17C4 #1",       "R17C5 #0",  //
                   "R18C1 A",      "R18C2 #3",   "R18C3 #7",   "R18C6 #2",       "R18C7 #3",
                   "R18C8 #1",  //
                   "R18C9 #4",  //
                   "R19C1 B",      "R19C2 #1",   "R19C3 #1",   "R19C8 #1",       "R19C9 #1"}));
}

// Every task at once: the zone codes are rewritten first, every later pass reads the names, and
// each block is written below the one before it, none over another.
TEST(CombinedRun, EveryTaskBlockBelowTheOneBefore) {
  SheetRun run({{T("101"), T("城镇建设用地区"), N(2)},
                {N(102), T("一般农地区"), N(3)},
                {T(" 101 "), T("永久性基本农田区"), N(4)}});
  RunOptions options;
  options.CheckTDLY = true;
  options.CheckZQDM2MC = true;
  options.OptClassC_2008 = true;
  options.CheckZTGH = true;
  options.IsNewGH = true;
  options.CheckZQStat = true;
  options.ChkNumArea = true;
  run.Start(options);
  EXPECT_EQ(run.host.ActiveWorkbook()->Name(), "规划.xlsx");
  EXPECT_EQ(CellsFrom(*run.sheet, 1), (Cells{
                                          // the data, zone codes rewritten as names
                                          "R1C1 石碣镇",
                                          "R1C2 城镇建设用地区",
                                          "R1C3 #2",  //
                                          "R2C1 石龙镇",
                                          "R2C2 一般农地区",
                                          "R2C3 #3",  //
                                          "R3C1 石碣镇",
                                          "R3C2 永久性基本农田区",
                                          "R3C3 #4",
                                          // land use: the first three characters of each class text
                                          "R14C2 城镇建",
                                          "R14C3 一般农",
                                          "R14C4 永久性",  //
                                          "R15C1 石碣镇",
                                          "R15C2 #2",
                                          "R15C3 #0",
                                          "R15C4 #4",  //
                                          "R16C1 石龙镇",
                                          "R16C2 #0",
                                          "R16C3 #3",
                                          "R16C4 #0",  //
                                          // master plan, 09 edition
                                          "R27C2 符合规划用地",
                                          "R27C3 其它不符合规划用地",
                                          "R27C4 基本农田",  //
                                          "R28C1 石碣镇",
                                          "R28C2 #2",
                                          "R28C3 #0",
                                          "R28C4 #4",  //
                                          "R29C1 石龙镇",
                                          "R29C2 #0",
                                          "R29C3 #3",
                                          "R29C4 #0",  //
                                          // zone totals
                                          "R41C1 石碣镇",
                                          "R41C2 #6",  //
                                          "R42C1 石龙镇",
                                          "R42C2 #3",  //
                                          // cross-tab
                                          "R52C4 城镇建设用地区",
                                          "R52C6 一般农地区",
                                          "R52C8 永久性基本农田区",  //
                                          "R53C1 镇区名称",
                                          "R53C2 总宗数",
                                          "R53C3 总面积",
                                          "R53C4 宗数",
                                          "R53C5 面积",
                                          "R53C6 宗数",
                                          "R53C7 面积",
                                          "R53C8 宗数",
                                          "R53C9 面积",  //
                                          "R54C1 石碣镇",
                                          "R54C2 #2",
                                          "R54C3 #6",
                                          "R54C4 #1",
                                          "R54C5 #2",
                                          "R54C8 #1",
                                          "R54C9 #4",  //
                                          "R55C1 石龙镇",
                                          "R55C2 #1",
                                          "R55C3 #3",
                                          "R55C6 #1",
                                          "R55C7 #3",
                                      }));
}

// The built-in zone names are one city's: the confirmation names the city, and a run whose coded
// zones are mostly not in its table ends with a warning; half of them or fewer is no warning.
TEST(CombinedRun, BuiltInZoneNamesSayWhoseTheyAre) {
  const struct {
    std::vector<const char*> zones;
    bool warned;
  } cases[] = {
      {{"101", "102", "555"}, false},
      {{"101", "555", "555"}, false},
      {{"101", "555", "556"}, true},
      {{"A12", "B13", "555"}, true},
  };
  for (const auto& c : cases) {
    std::vector<std::vector<CellValue>> rows;
    for (const char* zone : c.zones) rows.push_back({T(zone), T("011"), N(1)});
    SheetRun run(rows);
    RunOptions options;
    options.CheckTDLY = true;
    options.CheckZQDM2MC = true;
    options.OptClassC_2008 = true;
    const RunResult result = SummarizeHost(options, run.host, run.sink);
    ASSERT_EQ(result.outcome, RunResult::Outcome::kCompleted) << result.message;
    EXPECT_NE(run.sink.texts().front().find("广东省东莞市镇区名称表"), std::string::npos);
    const bool warned = !result.warnings.empty() &&
                        result.warnings.back().find("不在内置的镇区名称表") != std::string::npos;
    EXPECT_EQ(warned, c.warned) << c.zones[0] << c.zones[1] << c.zones[2];
  }
}

}  // namespace
}  // namespace quilmark
