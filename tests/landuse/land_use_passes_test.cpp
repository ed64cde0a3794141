#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "src/host/memory_host.h"
#include "src/host/worksheet_rows.h"
#include "src/landuse/land_use.h"
#include "src/summary/row_feed.h"
#include "src/summary/summary_tables.h"
#include "tests/landuse/land_use_test_sheet.h"

namespace quilmark {
namespace {

using landuse_test::N;
using landuse_test::Shown;
using landuse_test::T;

struct PassSheet {
  MemorySheet sheet{"S"};
  // Feeds the rows to the task as a run does, with the zone codes converted first when asked.
  void Feed(RowSink* task, bool convert = false) {
    WorksheetRows rows(sheet, sheet.LastUsedRow(), {.zone = 1, .class_ = 2, .area = 3});
    std::vector<RowSink*> sinks;
    if (task != nullptr) sinks.push_back(task);
    FeedRows(rows, convert ? &ConvertedZone : nullptr, sinks);
  }
};

TEST(ConvertedZone, WritesEveryZoneBackAsTrimmedText) {
  struct Case {
    CellValue zone;
    const char* written;  // as Shown
  };
  const Case cases[] = {
      {T("  区域名称 "), "区域名称"},  // a title row is converted like any other
      {T(" 101 "), "石碣镇"},
      {N(101), "石碣镇"},
      {T("1010203"), "石碣镇0203"},
      {T("0011"), "莞城区1"},
      {T("130"), "松山湖科技园"},
      {T("901"), "松山湖科技园"},
      {T("002"), "002"},
      {T("120"), "120"},
      {T("10"), "10"},
      {N(1), "1"},  // a number goes back as text
      {T("   "), ""},
      {CellValue{}, ""},
      {T("石碣镇"), "石碣镇"},  // a name is left alone
      {T("x101"), "x101"},      // a code counts only at the start
      {T("10😀"), "10😀"},
  };
  PassSheet s;
  int32_t row = 0;
  for (const Case& c : cases) s.sheet.SetRow(++row, {c.zone, T("111"), N(1)});
  s.Feed(nullptr, true);
  row = 0;
  for (const Case& c : cases) {
    ++row;
    SCOPED_TRACE(Shown(c.zone));
    EXPECT_EQ(Shown(s.sheet.At(row, 1)), c.written);
    EXPECT_EQ(s.sheet.At(row, 2), T("111"));  // only the zone column changes
  }
}

TEST(ConvertedZone, LeavesUnreadableAndErrorCellsUntouched) {
  PassSheet s;
  s.sheet.SetRow(1, {T("101"), T("111"), N(1)});
  s.sheet.SetRow(2, {T("102"), T("111"), N(1)});
  s.sheet.FailReads(2, 1);
  s.sheet.SetRow(3, {CellValue{CellError{"#N/A"}}, T("111"), N(1)});
  s.Feed(nullptr, true);
  EXPECT_EQ(s.sheet.At(1, 1), T("石碣镇"));
  EXPECT_EQ(s.sheet.At(2, 1), T("102"));  // not row 1's text
  EXPECT_EQ(s.sheet.At(3, 1), CellValue{CellError{"#N/A"}});
  EXPECT_EQ(s.sheet.write_count(), 1);
}

TEST(ConvertedZone, NeverRewritesANumberWithDigitsItsTextWouldLose) {
  PassSheet s;
  s.sheet.SetRow(1, {N(4419001234567891), T("111"), N(1)});
  s.sheet.SetRow(2, {N(101), T("111"), N(1)});
  s.sheet.SetRow(3, {N(1.5), T("111"), N(1)});
  s.Feed(nullptr, true);
  EXPECT_EQ(s.sheet.At(1, 1), N(4419001234567891));
  EXPECT_EQ(s.sheet.At(2, 1), T("石碣镇"));
  EXPECT_EQ(s.sheet.At(3, 1), T("1.5"));
}

// A class cell that cannot be read counts its row under the previous row's key as it stands,
// even where deriving a key again would change it.
TEST(LandUseTask, UnreadableClassKeepsThePreviousKey) {
  struct Case {
    LandUseMethod method;
    const char* text;
    const char* key;
  };
  const Case cases[] = {
      {LandUseMethod::OptQSXZ_ED, "10", "国有"},
      {LandUseMethod::OptClassC_2008, "K", "KK"},
      {LandUseMethod::OptClassA_2008, "204K", "带K农用地"},
      {LandUseMethod::OptClassA_ED, "021K", "带K农用地"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    PassSheet s;
    s.sheet.SetRow(1, {T("A"), T(c.text), N(1)});
    s.sheet.SetRow(2, {T("A"), T("unreadable"), N(2)});
    s.sheet.FailReads(2, 2);
    LandUseTask task(c.method);
    s.Feed(&task);
    EXPECT_EQ(task.tables().classes.keys(), std::vector<std::string>{c.key});
    EXPECT_EQ(task.tables().areas.at({0, 0}), 3);
  }
}

TEST(LandUseTask, UnreadableFirstClassTakesTheKeyOfTheEmptyText) {
  PassSheet s;
  s.sheet.SetRow(1, {T("A"), T("unreadable"), N(1)});
  s.sheet.SetRow(2, {T("A"), T("30"), N(2)});
  s.sheet.FailReads(1, 2);
  LandUseTask task(LandUseMethod::OptQSXZ_ED);
  s.Feed(&task, true);  // not the zone text the conversion saw last
  EXPECT_EQ(task.tables().classes.keys(), (std::vector<std::string>{"国有", "集体"}));
}

}  // namespace
}  // namespace quilmark
