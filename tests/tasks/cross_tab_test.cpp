#include "src/crosstab/cross_tab.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "src/crosstab/cross_tab_block.h"
#include "tests/tasks/task_sheet.h"

namespace quilmark {
namespace {

using task_test::CellsFrom;
using task_test::N;
using task_test::PassSheet;
using task_test::T;

using Cells = std::vector<std::string>;

// Runs the cross-tab on the sheet and writes its table based at the last data row.
TableShape BuildAndWrite(PassSheet& s, SheetColumns columns = {1, 2, 2, 3},
                         AreaFormat format = {}) {
  CrossTabTask task(format);
  const int32_t last_row = s.Feed(task, columns);
  const ResultTable table = task.Table();
  EXPECT_EQ(task.Shape().rows, table.Shape().rows);  // the room reserved is the room taken
  WriteTable(s.sheet, last_row, table);
  return table.Shape();
}

// Counts are numbers holding whole values; with 200 rows the titles go into row 210, the headers
// into 211 and the first zone into 212, and rows 201 to 209 stay untouched.
TEST(CrossTabTask, PlacementBelowManyRows) {
  PassSheet s;
  for (int32_t row = 1; row <= 200; ++row) s.sheet.SetRow(row, {T("Z"), T("c"), N(0.5)});
  EXPECT_EQ(TableEndRow(BuildAndWrite(s), 200), 212);
  EXPECT_EQ(CellsFrom(s.sheet, 201),
            (Cells{"R210C4 c", "R211C1 镇区名称", "R211C2 总宗数", "R211C3 总面积", "R211C4 宗数",
                   "R211C5 面积", "R212C1 Z", "R212C2 #200", "R212C3 #100", "R212C4 #200",
                   "R212C5 #100"}));
  EXPECT_EQ(s.sheet.At(212, 4), CellValue(200.0));
}

// Pairs are keyed by the pair itself: "||" inside the texts cannot join two pairs. Classes come
// from column 2 whatever the class column is; zones are trimmed and differ by letter case.
TEST(CrossTabTask, PairsZoneTextsAndClassColumn) {
  PassSheet s;
  s.Rows({{T("X||Y"), T("Z"), N(1), {}, T("not a class")},
          {T("X"), T("Y||Z"), N(2), {}, T("not a class")},
          {T(" x "), T("Z"), N(4)},
          {T("x"), T("Z"), N(8)}});
  EXPECT_EQ(BuildAndWrite(s, {.zone = 1, .class_ = 5, .cross_class = 2, .area = 3}).columns, 7);
  EXPECT_EQ(CellsFrom(s.sheet, 5),
            (Cells{"R14C4 Z",    "R14C6 Y||Z", "R15C1 镇区名称", "R15C2 总宗数", "R15C3 总面积",
                   "R15C4 宗数", "R15C5 面积", "R15C6 宗数",     "R15C7 面积",                //
                   "R16C1 X||Y", "R16C2 #1",   "R16C3 #1",       "R16C4 #1",     "R16C5 #1",  //
                   "R17C1 X",    "R17C2 #1",   "R17C3 #2",       "R17C6 #1",     "R17C7 #2",  //
                   "R18C1 x",    "R18C2 #2",   "R18C3 #12",      "R18C4 #2",     "R18C5 #12"}));
}

// Blank rows inside the data form the pair of the empty zone and the empty class: counted and
// summed (0) like any other, with empty texts that leave their cells empty.
TEST(CrossTabTask, BlankRowsFormAnEmptyPair) {
  PassSheet s;
  s.Rows({{T("A"), T("111"), N(1)}, {}, {}, {T("A"), T("111"), N(2)}});
  BuildAndWrite(s);
  EXPECT_EQ(CellsFrom(s.sheet, 5),
            (Cells{"R14C4 111", "R15C1 镇区名称", "R15C2 总宗数", "R15C3 总面积", "R15C4 宗数",
                   "R15C5 面积", "R15C6 宗数", "R15C7 面积",                   //
                   "R16C1 A", "R16C2 #2", "R16C3 #3", "R16C4 #2", "R16C5 #3",  //
                   "R17C2 #2", "R17C3 #0", "R17C6 #2", "R17C7 #0"}));
}

// With no readable zone the block is the three fixed headers alone.
TEST(CrossTabTask, NoZoneWritesOnlyTheHeaders) {
  PassSheet s;
  s.Rows({{T("A"), T("111"), N(1)}, {T("B"), T("112"), N(2)}});
  s.sheet.FailReads(1, 1);
  s.sheet.FailReads(2, 1);
  CrossTabTask task;
  s.Feed(task);
  EXPECT_EQ(task.tables().classes.keys(), (std::vector<std::string>{"111", "112"}));
  EXPECT_TRUE(task.tables().counts.empty());

  const ResultTable table = task.Table();
  EXPECT_EQ(TableEndRow(table.Shape(), 2), 13);
  EXPECT_EQ(table.Shape().columns, 3);
  WriteTable(s.sheet, 2, table);
  EXPECT_EQ(CellsFrom(s.sheet, 3), (Cells{"R13C1 镇区名称", "R13C2 总宗数", "R13C3 总面积"}));
}

// A row missing its zone or class is neither counted nor summed but registers the text it has.
// A row whose area cannot be read is counted; its pair's sum starts with the next readable
// area, and a pair or zone with none shows its count but no area.
TEST(CrossTabTask, FailedReads) {
  PassSheet s;
  s.Rows({{T("A"), T("p"), N(1)},   // area unreadable: first of pair A/p
          {T("A"), T("p"), N(2)},   //
          {T("B"), T("q"), N(4)},   // class unreadable: zone B alone
          {T("C"), T("r"), N(8)},   // zone unreadable: class r alone
          {T("D"), T("p"), N(16)},  // area unreadable: D has no area at all
          {T("A"), T("p"), N(32)}});
  s.sheet.FailReads(1, 3);
  s.sheet.FailReads(3, 2);
  s.sheet.FailReads(4, 1);
  s.sheet.FailReads(5, 3);
  BuildAndWrite(s);
  EXPECT_EQ(CellsFrom(s.sheet, 7),
            (Cells{"R16C4 p", "R16C6 r", "R17C1 镇区名称", "R17C2 总宗数", "R17C3 总面积",
                   "R17C4 宗数", "R17C5 面积", "R17C6 宗数", "R17C7 面积",       //
                   "R18C1 A", "R18C2 #3", "R18C3 #34", "R18C4 #3", "R18C5 #34",  //
                   "R19C1 B",                                                    //
                   "R20C1 D", "R20C2 #1", "R20C4 #1"}));
}

// A zone's total area is its rows' areas added in row order, not its pair sums added up.
TEST(CrossTabTask, ZoneTotalAddsAreasInRowOrder) {
  PassSheet s;
  s.Rows({{T("A"), T("p"), N(1e16)}, {T("A"), T("q"), N(1)}, {T("A"), T("p"), N(-1e16)}});
  CrossTabTask task;
  s.Feed(task);
  const CrossTabTables& tables = task.tables();
  EXPECT_EQ(tables.areas.at({0, 0}), 0);
  EXPECT_EQ(tables.areas.at({0, 1}), 1);
  EXPECT_EQ(tables.zone_areas, (std::vector<std::optional<double>>{(1e16 + 1) - 1e16}));
  EXPECT_EQ(tables.zone_counts, (std::vector<int64_t>{3}));
}

// Unit, decimals and totals reach the areas only. In 公顷 to 0 decimals A's 0.6 + 0.6 makes a
// 总面积 of 1, not 2: the grand total 2.1 rounds to 2, the zones' 1.2 and 0.9 share it as 1 + 1,
// and each zone's classes share its total (the tie going to the earlier class). C's row has no
// readable area, so its area cells stay empty. The 合计 row sums counts and written areas.
TEST(CrossTabTask, AreaFormatAppliesToAreasOnly) {
  struct Case {
    AreaFormat format;
    Cells zone_rows;  // from the first zone row on
  };
  const Case cases[] = {
      {{AreaUnit::kHectare, 0, true},
       {"R18C1 A",    "R18C2 #2", "R18C3 #1", "R18C4 #1", "R18C5 #1", "R18C6 #1", "R18C7 #0",
        "R19C1 B",    "R19C2 #3", "R19C3 #1", "R19C4 #1", "R19C5 #0", "R19C6 #2", "R19C7 #1",
        "R20C1 C",    "R20C2 #1", "R20C4 #1",  //
        "R21C1 合计", "R21C2 #6", "R21C3 #2", "R21C4 #3", "R21C5 #1", "R21C6 #3", "R21C7 #1"}},
      {{AreaUnit::kMu, std::nullopt, false},
       {"R18C1 A", "R18C2 #2", "R18C3 #18", "R18C4 #1", "R18C5 #9", "R18C6 #1", "R18C7 #9",
        "R19C1 B", "R19C2 #3", "R19C3 #13.5", "R19C4 #1", "R19C5 #6", "R19C6 #2", "R19C7 #7.5",
        "R20C1 C", "R20C2 #1", "R20C4 #1"}},
      {{AreaUnit::kSquareMetre, std::nullopt, true},
       {"R18C1 A",     "R18C2 #2",    "R18C3 #12000", "R18C4 #1",    "R18C5 #6000",  "R18C6 #1",
        "R18C7 #6000", "R19C1 B",     "R19C2 #3",     "R19C3 #9000", "R19C4 #1",     "R19C5 #4000",
        "R19C6 #2",    "R19C7 #5000", "R20C1 C",      "R20C2 #1",    "R20C4 #1",  //
        "R21C1 合计",  "R21C2 #6",    "R21C3 #21000", "R21C4 #3",    "R21C5 #10000", "R21C6 #3",
        "R21C7 #11000"}},
  };
  for (const Case& c : cases) {
    PassSheet s;
    s.Rows({{T("A"), T("p"), N(6000)},
            {T("A"), T("q"), N(6000)},
            {T("B"), T("p"), N(4000)},
            {T("B"), T("q"), N(2500)},
            {T("B"), T("q"), N(2500)},
            {T("C"), T("p"), N(1)}});
    s.sheet.FailReads(6, 3);
    const TableShape shape = BuildAndWrite(s, {1, 2, 2, 3}, c.format);
    EXPECT_EQ(TableEndRow(shape, 6), c.format.totals ? 21 : 20);
    EXPECT_EQ(CellsFrom(s.sheet, 18), c.zone_rows);
  }
}

}  // namespace
}  // namespace quilmark
