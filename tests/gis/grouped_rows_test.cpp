// Rows that stand for groups of patches, as a PostgreSQL server returns them: the tasks must fill
// their tables as they do from the patches one by one; and the parts that need no server (the
// statement's quoting, the connection's settings, the messages) hold on their own.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "src/crosstab/cross_tab.h"
#include "src/host/postgis/grouped_query.h"
#include "src/host/postgis/grouped_rows.h"
#include "src/host/postgis/pg_session.h"
#include "src/landuse/land_use.h"
#include "src/masterplan/master_plan.h"
#include "src/summary/row_feed.h"
#include "src/zonetotals/zone_totals.h"

namespace quilmark {
namespace {

struct Patch {
  const char* zone;
  const char* class_;
  double area;
  int64_t patches;
  std::optional<double> coefficient;  // a single patch's
  std::optional<double> ridge;        // a group's
};

class PatchRows : public RowSource {
 public:
  explicit PatchRows(std::vector<Patch> patches) : patches_(std::move(patches)) {}
  bool Next(SourceRow& row) override {
    if (at_ == patches_.size()) return false;
    const Patch& patch = patches_[at_++];
    row.number = static_cast<int64_t>(at_);
    row.zone = CellValue(std::string(patch.zone));
    row.class_ = row.cross_class = CellValue(std::string(patch.class_));
    row.area = CellValue(patch.area);
    row.patches = patch.patches;
    row.ridge = patch.ridge;
    if (patch.coefficient) row.deduction = CellValue(*patch.coefficient);
    return true;
  }
  std::string RowLabel(int64_t number) const override { return std::to_string(number); }

 private:
  std::vector<Patch> patches_;
  size_t at_ = 0;
};

struct TaskTables {
  std::vector<ResultTable> tables;
  std::vector<std::string> warnings;
};

TaskTables Tables(std::vector<Patch> patches) {
  LandUseTask land_use({LandUseMethod::kSurvey3Level2, nullptr, false, true}, {});
  MasterPlanTask master_plan(PlanningMethod::IsAllZone);
  ZoneTotalsTask zone_totals;
  CrossTabTask cross_tab;
  RowSink* sinks[] = {&land_use, &master_plan, &zone_totals, &cross_tab};
  PatchRows rows(std::move(patches));
  FeedRows(rows, nullptr, sinks);
  return {{land_use.Table(), master_plan.Table(), zone_totals.Table(), cross_tab.Table()},
          land_use.Warnings()};
}

TEST(GroupedRows, TasksFillTheirTablesAsFromTheirPatches) {
  // The 田坎 key comes after 0201, where the first patch with a share meets it, although the
  // group of that patch's class came first: such patches are grouped apart.
  const TaskTables single = Tables({
      {"Z1", "0101", 10, 1, 0.0, {}},
      {"Z2", "0201", 4, 1, 0.0, {}},
      {"Z1", "0101", 6, 1, 0.5, {}},
      {"Z1", "9999", 2, 1, 0.0, {}},
      {"Z2", "0101", 8, 1, 0.25, {}},
      {"Z1", "9999", 1.5, 1, 0.0, {}},
  });
  const TaskTables grouped = Tables({
      {"Z1", "0101", 10, 1, {}, 0.0},
      {"Z2", "0201", 4, 1, {}, 0.0},
      {"Z1", "0101", 6, 1, {}, 3.0},
      {"Z1", "9999", 3.5, 2, {}, 0.0},
      {"Z2", "0101", 8, 1, {}, 2.0},
  });
  for (size_t i = 0; i < single.tables.size(); ++i) {
    SCOPED_TRACE(single.tables[i].name);
    EXPECT_EQ(single.tables[i].cells, grouped.tables[i].cells);
  }
  EXPECT_EQ(single.tables[0].cells[0][3], CellValue(std::string("田坎")));
  EXPECT_EQ(single.warnings, grouped.warnings);  // 9999: 2 patches
  ASSERT_FALSE(single.warnings.empty());
}

TEST(GroupedSql, QuotesTheNamesItIsGiven) {
  struct Case {
    const char* name;
    const char* quoted;
  };
  const Case cases[] = {
      {"dlbm", "\"dlbm\""},
      {"DLBM", "\"DLBM\""},
      {"a\"; DROP TABLE t; --", "\"a\"\"; DROP TABLE t; --\""},
      {"survey.patches", "\"survey\".\"patches\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(QuoteTableName(c.name), c.quoted);
  }
  GroupedQuery query{"t", "fid", "zone\"", std::nullopt, std::nullopt, "geom", std::nullopt,
                     "dlbm LIKE '01%'", 9, {"xzqdm"}};
  const std::string sql = GroupedSql(query);
  EXPECT_NE(sql.find("left(btrim(\"zone\"\"\"::text, ' '), 9)"), std::string::npos) << sql;
  EXPECT_NE(sql.find("WHERE (dlbm LIKE '01%')"), std::string::npos) << sql;
  EXPECT_NE(sql.find("GROUP BY z, c, g, p0"), std::string::npos) << sql;
}

TEST(ConnectionParams, GdalKeysGoAndTheStringsOwnSettingsWin) {
  struct Case {
    const char* source;
    const char* dbname;       // what libpq expands
    const char* idle;         // keepalives_idle put before it; "" for none
  };
  const Case cases[] = {
      {"PG:host=db dbname=land", "host=db dbname=land", "3"},
      {"PG:dbname=land tables=dltb schemas=a,b active_schema=a", "dbname=land   ", "3"},
      {"pg:dbname=land connect_timeout=20", "dbname=land connect_timeout=20", "10"},
      {"PG:dbname=land keepalives_idle=60", "dbname=land keepalives_idle=60", ""},
      {"PG:dbname=land connect_timeout=0", "dbname=land connect_timeout=0", ""},
      {"PG:dbname=land connect_timeout=99999999999", "dbname=land connect_timeout=99999999999",
       "43200"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    const auto params = ConnectionParams(c.source);
    EXPECT_EQ(params.back(), std::make_pair(std::string("dbname"), std::string(c.dbname)));
    std::string idle;
    for (const auto& [key, value] : params) {
      if (key == "keepalives_idle") idle = value;
    }
    EXPECT_EQ(idle, c.idle);
  }
}

TEST(GroupedProblemText, EachFailureSaysWhatHappened) {
  struct Case {
    const char* sqlstate;
    bool lost;
    const char* where;
    const char* says;
  };
  const Case cases[] = {
      {"", true, "", "连接在统计中断开"},
      {"08006", true, "", "连接在统计中断开"},
      {"57P01", true, "", "服务器在统计中关闭了"},
      {"57014", false, "", "statement_timeout"},
      {"42P01", false, "", "已不存在"},
      {"42501", false, "", "没有读取该表的权限"},
      {"25006", false, "nextval('s') > 0", "试图修改数据库"},
      {"42703", false, "dlbmm = 1", "\"dlbmm\" 不是这个图层的字段"},
      {"42703", false, "", "数据库在统计时出错"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    GroupedQuery query;
    query.where = c.where;
    const std::string said =
        std::string(c.sqlstate) == "42703" ? "column \"dlbmm\" does not exist" : "server text";
    const std::string text = GroupedProblemText(c.sqlstate, c.lost, said, query, "1 dlbm");
    EXPECT_NE(text.find(c.says), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace quilmark
