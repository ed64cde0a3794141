#include "src/zonetotals/zone_totals.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/tasks/task_sheet.h"

namespace quilmark {
namespace {

using task_test::N;
using task_test::PassSheet;
using task_test::T;

// Title row, blanks around zones, letter case, empty zone cells, areas without a leading number.
TEST(ZoneTotalsTask, ZoneTextsAsTheyRead) {
  PassSheet s;
  s.Rows({{T("镇区"), {}, T("面积")},
          {T("  石龙镇 "), {}, N(1.25)},
          {T("石龙镇"), {}, T("3.5 公顷")},
          {T("a"), {}, N(1)},
          {T("A"), {}, N(2)},
          {{}, {}, N(7)},
          {{}, T("x"), T("无")}});
  ZoneTotalsTask task;
  s.Feed(task);
  const SummaryTables& tables = task.tables();
  EXPECT_EQ(tables.zones.keys(), (std::vector<std::string>{"镇区", "石龙镇", "a", "A", ""}));
  EXPECT_EQ(tables.zone_totals, (std::vector<std::optional<double>>{0.0, 4.75, 1.0, 2.0, 7.0}));
}

// An unreadable zone adds nothing; an unreadable area registers the zone, and a zone none of
// whose areas could be read has no total.
TEST(ZoneTotalsTask, FailedReads) {
  PassSheet s;
  s.Rows({{T("A"), {}, N(1)}, {T("B"), {}, N(2)}, {T("A"), {}, N(4)}, {T("C"), {}, N(8)}});
  s.sheet.FailReads(2, 1);
  s.sheet.FailReads(3, 3);
  s.sheet.FailReads(4, 3);
  ZoneTotalsTask task;
  s.Feed(task);
  const SummaryTables& tables = task.tables();
  EXPECT_EQ(tables.zones.keys(), (std::vector<std::string>{"A", "C"}));
  EXPECT_EQ(tables.zone_totals, (std::vector<std::optional<double>>{1.0, std::nullopt}));
}

}  // namespace
}  // namespace quilmark
