#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "src/report/patch_attributes.h"
#include "src/report/report_columns.h"
#include "src/report/report_kinds.h"
#include "src/report/report_task.h"
#include "src/report/unit_rows.h"
#include "src/summary/text_ids.h"

namespace quilmark {
namespace {

TEST(PatchAttributes, FieldTextsAsTheSurveyCodesThem) {
  EXPECT_EQ(OwnershipOf("10"), Ownership::kState);
  EXPECT_EQ(OwnershipOf("20"), Ownership::kState);
  for (const char* code : {"30", "31", "32", "33", "34", "40"}) {
    EXPECT_EQ(OwnershipOf(code), Ownership::kCollective) << code;
  }
  EXPECT_EQ(OwnershipOf(""), Ownership::kUnknown);
  EXPECT_EQ(OwnershipOf("50"), Ownership::kUnknown);

  struct Urban {
    const char* text;
    int kind;
  };
  for (const Urban& c : {Urban{"201", 1}, Urban{"202", 2}, Urban{"203A", 3}, Urban{"205", 5},
                         Urban{"206", 0}, Urban{"", 0}, Urban{"2030", 0}, Urban{"20", 0}}) {
    EXPECT_EQ(UrbanKindOf(c.text), c.kind) << c.text;
  }

  struct Slope {
    const char* grade;
    const char* kind;
    int part;
  };
  for (const Slope& c : {Slope{"1", "", 0}, Slope{"1", "TT", 0}, Slope{"2", "TT", 1},
                         Slope{"2", "PD", 2}, Slope{"05", "PD", 8}, Slope{"5", "TT", 7},
                         Slope{"3", "", 9}, Slope{"6", "TT", 9}, Slope{"", "", 9}}) {
    EXPECT_EQ(SlopePartOf(c.grade, c.kind), c.part) << c.grade << c.kind;
  }

  const TerraceSplit by_area = SplitTerrace(1000, 80, 0.5);  // KCMJ wins over KCXS
  EXPECT_DOUBLE_EQ(by_area.own, 920);
  EXPECT_DOUBLE_EQ(by_area.terrace, 80);
  EXPECT_DOUBLE_EQ(SplitTerrace(1000, std::nullopt, 0.1).terrace, 100);
  EXPECT_DOUBLE_EQ(SplitTerrace(1000, std::nullopt, std::nullopt).own, 1000);
}

TEST(ReportKinds, ListsAndLevels) {
  EXPECT_EQ(ParseReportList("slope,level1"),
            (std::vector<ReportKind>{ReportKind::kLevel1, ReportKind::kSlope}));
  EXPECT_EQ(ParseReportList("all")->size(), 6u);
  EXPECT_EQ(ParseReportList("level1, level1")->size(), 1u);
  EXPECT_FALSE(ParseReportList("level3"));
  EXPECT_FALSE(ParseReportList(""));
  EXPECT_EQ(UnitLevelByName("village"), UnitLevel::kVillage);
  EXPECT_FALSE(UnitLevelByName("province"));
}

// Every code of the shipped working classification has its level-1 column, in the standard's
// order, 湿地 first; K and A codes fall in their base's column.
TEST(Survey3Columns, EveryCodeHasItsColumn) {
  const ClassColumns& columns = Survey3Columns();
  ASSERT_EQ(columns.level1.size(), 13u);
  EXPECT_EQ(columns.level1.front().name, "湿地");
  EXPECT_EQ(columns.level2[columns.terrace].code, "1203");
  EXPECT_EQ(columns.level1[columns.cultivated].code, "01");
  size_t previous = 0;
  for (const Level2Class& c : columns.level2) {
    EXPECT_GE(c.level1, previous) << c.code;  // grouped in order
    previous = c.level1;
    EXPECT_TRUE(MajorClassOf(c.code)) << c.code;
  }
  EXPECT_EQ(columns.level2.size(), 56u);  // every code of survey3_level2.tsv
  EXPECT_EQ(Level2ColumnOf("0101K"), Level2ColumnOf("0101"));
  EXPECT_EQ(Level2ColumnOf("1104A"), Level2ColumnOf("1104"));
  EXPECT_FALSE(Level2ColumnOf("9999"));
}

TEST(UnitRows, TotalFirstThenEachTownshipsSubtotalAboveItsVillages) {
  FigureTree tree;  // 合计 ⊃ 441900 ⊃ 441900101 ⊃ two villages, 441900102 ⊃ one
  const size_t county = tree.Add(0), first = tree.Add(county);
  tree.Add(first);
  tree.Add(first);
  tree.Add(tree.Add(county));
  const std::vector<std::string> codes = {
      "", "441900", "441900101", "441900101201", "441900101202", "441900102", "441900102201"};
  const std::vector<std::string> layer = {"", "", "", "石碣东村", "", "", "常平东村"};
  const std::unordered_map<std::string, std::string> names = {{"441900101", "石碣镇"},
                                                              {"441900101202", "西村"}};
  struct Expected {
    RowRole role;
    const char* name;
    const char* code;
    size_t node;
  };
  const std::vector<Expected> village = {
      {RowRole::kTotal, "合计", "", 0},
      {RowRole::kSubtotal, "石碣镇小计", "441900101", 2},
      {RowRole::kUnit, "石碣东村", "441900101201", 3},
      {RowRole::kUnit, "西村", "441900101202", 4},
      {RowRole::kSubtotal, "小计", "441900102", 5},
      {RowRole::kUnit, "常平东村", "441900102201", 6},
  };
  const std::vector<Expected> township = {{RowRole::kTotal, "合计", "", 0},
                                          {RowRole::kUnit, "石碣镇", "441900101", 2},
                                          {RowRole::kUnit, "", "441900102", 5}};
  for (const auto& [level, expected] :
       {std::pair{UnitLevel::kVillage, village}, std::pair{UnitLevel::kTownship, township}}) {
    const std::vector<UnitRow> rows = UnitRows(tree, codes, layer, level, names);
    ASSERT_EQ(rows.size(), expected.size());
    for (size_t i = 0; i < rows.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(rows[i].role, expected[i].role);
      EXPECT_EQ(rows[i].name, expected[i].name);
      EXPECT_EQ(rows[i].code, expected[i].code);
      EXPECT_EQ(rows[i].node, expected[i].node);
    }
    EXPECT_EQ(UnnamedUnits(rows), std::vector<std::string>{"441900102"});
  }
}

// Patches handed to the task as the run's loop hands them.
class Patches {
 public:
  // fields: KCMJ, QSXZ, CZCSXM, PDJB, GDLX
  void Add(ReportTask& task, const std::string& zone, const std::string& code, double area,
           std::vector<std::optional<CellValue>> fields) {
    SourceRow cells;
    cells.zone = CellValue(zone);
    cells.class_ = CellValue(code);
    cells.area = CellValue(area);
    cells.fields = std::move(fields);
    PatchRow row{cells, zone, code, std::nullopt, area};
    row.zone_id = zones_.Id(zone);
    row.class_id = classes_.Id(code);
    task.AddRow(row);
  }

 private:
  TextIds zones_, classes_;
};

ReportSettings Settings(std::vector<ReportKind> kinds) {
  ReportFields fields{.terrace_area = 0, .ownership = 1, .urban = 2, .slope = 3, .terrace_kind = 4};
  return {std::move(kinds), UnitLevel::kVillage, fields, {}};
}

std::vector<std::optional<CellValue>> Fields(double kcmj, const char* qsxz, const char* grade = "1",
                                             const char* kind = "") {
  return {CellValue(kcmj), CellValue(std::string(qsxz)), CellValue(std::string()),
          CellValue(std::string(grade)), CellValue(std::string(kind))};
}

// Rows of the table below its header, each cut to `width` cells.
std::vector<std::vector<CellValue>> Body(const ResultTable& table, size_t width) {
  std::vector<std::vector<CellValue>> rows;
  for (size_t r = static_cast<size_t>(table.header_rows); r < table.cells.size(); ++r) {
    rows.emplace_back(table.cells[r].begin(), table.cells[r].begin() + static_cast<long>(width));
  }
  return rows;
}

// Three patches of 60 m2 (0.006 ha) each: plain rounding would show each as 0.01 and their 0.018
// as 0.02, so the rows could not add up. 平差 keeps 合计 0.02 and each village's 0.01, and puts
// the first village's unit on 林地 rather than 耕地, so that 耕地's 0.012 and 林地's 0.006 stay
// their own rounding (0.01 each) in the 小计 and 合计 rows too.
TEST(ReportTask, AreaAdjustmentMakesTheRowsAddUp) {
  ReportTask task(Settings({ReportKind::kLevel1}));
  Patches patches;
  patches.Add(task, "4419001012010000000", "0101", 60, Fields(0, "10"));
  patches.Add(task, "4419001012010000001", "0301", 60, Fields(0, "30"));
  patches.Add(task, "4419001012020000000", "0103K", 60, Fields(0, "10"));
  EXPECT_FALSE(task.Refusal());
  const ResultTable table = task.Tables().front();
  using V = std::vector<CellValue>;
  const CellValue o(0.0), c(0.01), t(0.02);
  // name, code, total, 湿地, 耕地, 种植园用地, 林地
  EXPECT_EQ(Body(table, 7), (std::vector<V>{{"合计", "", t, o, c, o, c},
                                            {"小计", "441900101", t, o, c, o, c},
                                            {"", "441900101201", c, o, o, o, c},
                                            {"", "441900101202", c, o, c, o, o}}));
}

// The 田坎 share goes to 1203 under 其他土地 with the patch's ownership; a patch whose ownership or
// slope the survey's codes do not take stops the tables, naming the table, the unit and the area.
TEST(ReportTask, TerraceShareAndTheChecks) {
  ReportTask task(Settings({ReportKind::kLevel1, ReportKind::kOwnership, ReportKind::kSlope}));
  Patches patches;
  patches.Add(task, "441900101201", "0101", 10000, Fields(1000, "30", "2", "TT"));
  std::vector<ResultTable> tables = task.Tables();
  ASSERT_EQ(tables.size(), 4u);  // and the charts' figures
  const std::vector<CellValue>& total = tables[0].cells[static_cast<size_t>(tables[0].header_rows)];
  EXPECT_EQ(total[4], CellValue(0.9));   // 耕地
  EXPECT_EQ(total[15], CellValue(0.1));  // 其他土地: 田坎
  EXPECT_EQ(tables[0].print->notes.front(), "其中田坎 (1203) 面积: 0.10 公顷");
  EXPECT_FALSE(task.Refusal());

  patches.Add(task, "441900101202", "0102", 500, Fields(0, "", "3", ""));
  const std::optional<std::string> refusal = task.Refusal();
  ASSERT_TRUE(refusal);
  EXPECT_EQ(
      *refusal,
      "土地利用现状一级分类面积按权属性质汇总表: 441900101202 的国有与集体土地面积之和比总面积少 "
      "0.0500 公顷。原因: 有图斑的权属性质 (QSXZ) 为空或不是 10、20、30-34、40。请改正图层后再统计, "
      "本次没有写入任何文件。");
}

}  // namespace
}  // namespace quilmark
