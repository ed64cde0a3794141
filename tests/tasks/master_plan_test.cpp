#include "src/masterplan/master_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tasks/task_sheet.h"

namespace quilmark {
namespace {

using task_test::N;
using task_test::PassSheet;
using task_test::T;

constexpr const char* kConforming = "符合规划用地";
constexpr const char* kOther = "其它不符合规划用地";
constexpr const char* kFarmland = "基本农田";
constexpr const char* kFarmlandZone = "基本农田保护区";
constexpr const char* kUnchanged = nullptr;  // the name stays as written

// Every name of both editions, with its key under the 06 and the 09 edition.
TEST(PlanningCategory, EveryNameOfBothEditions) {
  struct Case {
    const char* name;
    const char* key06;
    const char* key09;
  };
  const Case cases[] = {
      {"一般农地区-一般耕地区", kOther, kUnchanged},
      {"一般农地区-规划园地区", kOther, kUnchanged},
      {"其他用地区-交通用地", kConforming, kUnchanged},
      {"其他用地区-未利用地", kConforming, kUnchanged},
      {"其他用地区-河流水面", kOther, kUnchanged},
      {"其他用地区-特殊用地", kConforming, kUnchanged},
      {"农村居民点建设用地区", kConforming, kUnchanged},
      {"城镇建设用地区", kConforming, kConforming},
      {"基本农田保护区", kFarmlandZone, kFarmland},
      {"工矿用地区", kConforming, kConforming},
      {"林业用地区", kOther, kOther},
      {"牧业用地区", kOther, kUnchanged},
      {"一般性基本农田区", kUnchanged, kFarmland},
      {"其他一般农地区", kUnchanged, kOther},
      {"一般农地区", kUnchanged, kOther},
      {"其他-交通用地", kUnchanged, kConforming},
      {"其他-填海造地", kUnchanged, kConforming},
      {"其他-未利用地", kUnchanged, kConforming},
      {"其他-水体水面", kUnchanged, kOther},
      {"其他-水域", kUnchanged, kOther},
      {"其他-水利用地", kUnchanged, kOther},
      {"其他-特殊用地", kUnchanged, kConforming},
      {"其他-自然保留地", kUnchanged, kOther},
      {"农用水面", kUnchanged, kOther},
      {"村镇建设用地区", kUnchanged, kConforming},
      {"永久性基本农田区", kUnchanged, kFarmland},
      {"填海造地区", kUnchanged, kConforming},
      {"生态环境安全控制区", kUnchanged, kOther},
      {"自然与文化遗产保护区", kUnchanged, kOther},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PlanningCategory(c.name, PlanningMethod::IsOldGH), c.key06 ? c.key06 : c.name);
    EXPECT_EQ(PlanningCategory(c.name, PlanningMethod::IsNewGH), c.key09 ? c.key09 : c.name);
    EXPECT_EQ(PlanningCategory(c.name, PlanningMethod::IsAllZone), c.name);
  }
}

// Only the exact name maps: near misses, including a category key itself, stay as written.
TEST(PlanningCategory, NearMissesStayAsWritten) {
  const char* near_misses[] = {
      "其它用地区-交通用地",   // 它 for 他
      "其他用地区－交通用地",  // full-width hyphen U+FF0D
      "其他－交通用地",        // the same in a 09 name
      "其它-交通用地",         //
      " 城镇建设用地区",       // a blank the cell trimming would have removed
      "城镇建设用地区\u3000",  // an ideographic space is not a blank
      "城镇建设用地",          // a prefix of a name
      "城镇建设用地区城镇建设用地区",
      "基本农田保护",  //
      "",              // an empty class cell is a class of its own
      "符合规划用地",  // a category key maps to itself
      "其它不符合规划用地",
  };
  for (const char* text : near_misses) {
    SCOPED_TRACE(text);
    EXPECT_EQ(PlanningCategory(text, PlanningMethod::IsOldGH), text);
    EXPECT_EQ(PlanningCategory(text, PlanningMethod::IsNewGH), text);
  }
}

double Sum(const SummaryTables& tables, size_t zone, size_t class_place) {
  auto it = tables.areas.find({static_cast<uint32_t>(zone), static_cast<uint32_t>(class_place)});
  return it == tables.areas.end() ? 0 : it->second;
}

// A title row is data; blanks around a class are trimmed before the lookup; an empty class cell
// is a class; zones differ by letter case; the class comes from the class column given.
TEST(MasterPlanTask, TitleRowBlanksEmptyClassAndCase) {
  PassSheet s;
  s.Rows({{T("镇区"), T("名称"), T("规划用途"), T("面积")},
          {T(" a "), {}, T("  城镇建设用地区  "), N(1.5)},
          {T("A"), {}, T("工矿用地区"), T("2.5亩")},
          {T("a"), {}, {}, N(4)}});
  MasterPlanTask task(PlanningMethod::IsNewGH);
  s.Feed(task, {.zone = 1, .class_ = 3, .area = 4});
  const SummaryTables& tables = task.tables();
  EXPECT_EQ(tables.zones.keys(), (std::vector<std::string>{"镇区", "a", "A"}));
  EXPECT_EQ(tables.classes.keys(), (std::vector<std::string>{"规划用途", kConforming, ""}));
  EXPECT_EQ(Sum(tables, 0, 0), 0);  // the area title has no leading number
  EXPECT_EQ(Sum(tables, 1, 1), 1.5);
  EXPECT_EQ(Sum(tables, 2, 1), 2.5);
  EXPECT_EQ(Sum(tables, 1, 2), 4);
}

// A class cell that cannot be read leaves the previous row's category and the row counts under
// it; on row 1 the category of the empty text, whatever other tasks saw. An unreadable zone adds
// nothing but the class; an unreadable area registers zone and class without a sum.
TEST(MasterPlanTask, FailedReads) {
  PassSheet s;
  s.Rows({{T("A"), T("一般农地区"), N(1)},
          {T("A"), T("城镇建设用地区"), N(2)},
          {T("A"), T("一般农地区"), N(4)},
          {T("B"), T("林业用地区"), N(8)},
          {T("C"), T("工矿用地区"), N(16)}});
  s.sheet.FailReads(1, 2);
  s.sheet.FailReads(3, 2);
  s.sheet.FailReads(4, 1);
  s.sheet.FailReads(5, 3);
  MasterPlanTask task(PlanningMethod::IsNewGH);
  s.Feed(task);
  const SummaryTables& tables = task.tables();
  EXPECT_EQ(tables.classes.keys(), (std::vector<std::string>{"", kConforming, kOther}));
  EXPECT_EQ(tables.zones.keys(), (std::vector<std::string>{"A", "C"}));
  EXPECT_EQ(Sum(tables, 0, 0), 1);
  EXPECT_EQ(Sum(tables, 0, 1), 6);  // row 3 counts under row 2's category
  EXPECT_EQ(tables.areas.count({1, 1}), 0u);
  EXPECT_EQ(tables.areas.size(), 2u);
}

}  // namespace
}  // namespace quilmark
