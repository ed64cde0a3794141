#include "src/summary/summary_tables.h"

#include <gtest/gtest.h>

#include "src/host/memory_host.h"
#include "src/output/worksheet_target.h"

namespace quilmark {
namespace {

using Row = std::vector<CellValue>;

TEST(SummaryTable, SumsByZoneAndClassInFirstSeenOrder) {
  SummaryTables tables;
  AccumulateRow(tables, "Z1", "A", 2.5);
  AccumulateRow(tables, "Z2", "B", 1);
  AccumulateRow(tables, "Z1", "B", 4);
  AccumulateRow(tables, "Z1", "A", 0.5);
  MemorySheet sheet("S");
  const ResultTable table = SummaryTable("t", tables, SummaryLayout::kByClass);
  ASSERT_EQ(TableEndRow(table.Shape(), 4), 17);
  ASSERT_EQ(table.Shape().columns, 3);
  WriteTable(sheet, 4, table);              // header row 15
  EXPECT_EQ(sheet.At(15, 1), CellValue{});  // the corner stays empty
  EXPECT_EQ(sheet.At(15, 2), CellValue{std::string("A")});
  EXPECT_EQ(sheet.At(15, 3), CellValue{std::string("B")});
  EXPECT_EQ(sheet.At(16, 1), CellValue{std::string("Z1")});
  EXPECT_EQ(sheet.At(16, 2), CellValue{3.0});
  EXPECT_EQ(sheet.At(16, 3), CellValue{4.0});
  EXPECT_EQ(sheet.At(17, 1), CellValue{std::string("Z2")});
  EXPECT_EQ(sheet.At(17, 2), CellValue{0.0});  // no row had Z2/A: a written 0
  EXPECT_EQ(sheet.At(17, 3), CellValue{1.0});
  EXPECT_EQ(sheet.cells().size(), 8u);
}

TEST(SummaryTable, PairsWithBarsInTheirTextsStayApart) {
  SummaryTables tables;
  AccumulateRow(tables, "X||Y", "Z", 1);
  AccumulateRow(tables, "X", "Y||Z", 2);
  MemorySheet sheet("S");
  WriteTable(sheet, 0, SummaryTable("t", tables, SummaryLayout::kByClass));
  EXPECT_EQ(sheet.At(12, 2), CellValue{1.0});
  EXPECT_EQ(sheet.At(12, 3), CellValue{0.0});
  EXPECT_EQ(sheet.At(13, 2), CellValue{0.0});
  EXPECT_EQ(sheet.At(13, 3), CellValue{2.0});
}

TEST(SummaryTable, FailedReadsRegisterWhatTheyCan) {
  SummaryTables tables;
  AccumulateRow(tables, std::nullopt, "lost", 5);  // zone unreadable: only the class registers
  AccumulateRow(tables, "Z", "A", std::nullopt);   // area unreadable: no sum
  EXPECT_EQ(tables.classes.keys(), (std::vector<std::string>{"lost", "A"}));
  EXPECT_EQ(tables.zones.keys(), (std::vector<std::string>{"Z"}));
  EXPECT_TRUE(tables.areas.empty());
  MemorySheet sheet("S");
  WriteTable(sheet, 0, SummaryTable("t", tables, SummaryLayout::kByClass));
  EXPECT_EQ(sheet.At(12, 2), CellValue{0.0});
  EXPECT_EQ(sheet.At(12, 3), CellValue{0.0});
}

TEST(SummaryTable, NoZoneWritesNothingAndTakesNoRows) {
  SummaryTables tables;
  AccumulateRow(tables, std::nullopt, "A", 1);
  const ResultTable table = SummaryTable("t", tables, SummaryLayout::kByClass);
  MemorySheet sheet("S");
  WriteTable(sheet, 7, table);
  EXPECT_TRUE(sheet.cells().empty());
  EXPECT_EQ(TableEndRow(table.Shape(), 7), 7);
  EXPECT_EQ(table.Shape().columns, 0);
}

TEST(SummaryTable, ZoneTotalsLeaveAZoneWithoutAreaEmpty) {
  SummaryTables tables;
  AccumulateZoneTotal(tables, "A", 2.5);
  AccumulateZoneTotal(tables, "B", std::nullopt);
  AccumulateZoneTotal(tables, "A", 4);
  AccumulateZoneTotal(tables, std::nullopt, 100);
  MemorySheet sheet("S");
  sheet.Set(16, 2, std::string("old"));
  const ResultTable table = SummaryTable("t", tables, SummaryLayout::kZoneTotals);
  EXPECT_EQ(table.Shape().columns, 2);
  WriteTable(sheet, 3, table);  // header row 14 stays empty
  EXPECT_EQ(sheet.At(15, 1), CellValue{std::string("A")});
  EXPECT_EQ(sheet.At(15, 2), CellValue{6.5});
  EXPECT_EQ(sheet.At(16, 1), CellValue{std::string("B")});
  EXPECT_EQ(sheet.At(16, 2), CellValue{});
  EXPECT_EQ(sheet.cells().size(), 3u);
}

TEST(OrderedTable, KeysAreExactAndKeepTheirPlace) {
  OrderedTable table;
  EXPECT_EQ(table.Add("a"), 0u);
  EXPECT_EQ(table.Add("A"), 1u);
  EXPECT_EQ(table.Add(""), 2u);
  EXPECT_EQ(table.Add("a"), 0u);
  EXPECT_EQ(table.Find("A "), std::nullopt);
  table.RemoveAll();
  EXPECT_EQ(table.Count(), 0u);
  EXPECT_FALSE(table.Exists("a"));
}

}  // namespace
}  // namespace quilmark
