// Rows that stand for groups of patches, as a PostgreSQL server returns them: the tasks must fill
// their tables as they do from the patches one by one; and the parts that need no server (the
// statement's quoting, the connection's settings, the messages) hold on their own.
#include "src/host/postgis/grouped_rows.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "src/crosstab/cross_tab.h"
#include "src/host/layer_path.h"
#include "src/host/postgis/grouped_query.h"
#include "src/host/postgis/pg_filter.h"
#include "src/host/postgis/pg_session.h"
#include "src/host/sheet_host.h"
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
  GroupedQuery query;
  query.schema = "s2019";
  query.table = "t.x";
  query.fid = "fid";
  query.zone = "zone\"";
  query.geometry = "geom";
  query.where = "(\"dlbm\" LIKE $1)";
  query.zone_prefix = 9;
  query.partition_columns = {"xzqdm"};
  const std::string sql = GroupedSql(query);
  EXPECT_NE(sql.find("left(btrim(\"zone\"\"\"::text, ' '), 9)"), std::string::npos) << sql;
  EXPECT_NE(sql.find("FROM \"s2019\".\"t.x\" WHERE ((\"dlbm\" LIKE $1))"), std::string::npos)
      << sql;
  EXPECT_TRUE(sql.ends_with("GROUP BY z, c, g, r, p0")) << sql;
}

TEST(ConnectionParams, OneParsedStringForEveryConnection) {
  struct Case {
    const char* source;
    const char* dbname;  // as the session gets it
    const char* idle;    // keepalives_idle put before it; "" for none
    const char* schema;  // GDAL's active schema
  };
  const Case cases[] = {
      {"PG:host=db dbname=land", "land", "3", ""},
      {"PG:dbname=land tables=dltb schemas=s2019 active_schema=s2020", "land", "3", "s2020"},
      {"PG:dbname=land schemas=s2019", "land", "3", "s2019"},
      {"PG:dbname=land schemas=a,b", "land", "3", ""},
      {"pg:dbname='my land' connect_timeout=20", "my land", "10", ""},
      {"PG:dbname=land keepalives_idle=60", "land", "60", ""},
      {"PG:dbname=land connect_timeout=0", "land", "", ""},
      {"PG:dbname=land connect_timeout=99999999999", "land", "43200", ""},
      {"PG:postgresql://survey:secret@db:5433/land?sslmode=disable active_schema=s", "land", "3",
       "s"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    const PgSource source = ParsePgSource(c.source);
    EXPECT_EQ(source.schema, c.schema);
    std::string dbname, idle, options;
    for (const auto& [key, value] : ConnectionParams(source, "quilmark")) {
      if (key == "dbname") dbname = value;
      if (key == "keepalives_idle") idle = value;
      if (key == "options") options = value;
      EXPECT_NE(key, "active_schema");
    }
    EXPECT_EQ(dbname, c.dbname);
    EXPECT_EQ(idle, c.idle);
    // Read-only last, where the string's own options cannot turn it off.
    EXPECT_TRUE(options.ends_with("default_transaction_read_only=on -c synchronize_seqscans=off"));
  }
  const PgSource own =
      ParsePgSource("PG:dbname=land options='-c default_transaction_read_only=off'");
  EXPECT_EQ(ConnectionParams(own, "quilmark").back().second,
            "-c default_transaction_read_only=off -c default_transaction_read_only=on "
            "-c synchronize_seqscans=off");
  for (const char* refused : {"PG:dbname='land", "PG:dbname=land colour=red", "PG:dbname"}) {
    SCOPED_TRACE(refused);
    EXPECT_THROW(ParsePgSource(refused), HostError);
  }
}

TEST(HidePassword, NoPartOfThePasswordShows) {
  struct Case {
    const char* source;
    const char* shown;
  };
  const Case cases[] = {
      {"PG:host=db password='it\\'s Secret' user=u", "PG:host=db password=*** user=u"},
      {"PG:host=db PASSWORD = plain", "PG:host=db password=***"},
      {"PG:postgresql://u:it%27s@db/land", "PG:postgresql://u:***@db/land"},
      {"PG:postgres://db/land?user=u&password=p&sslmode=disable",
       "PG:postgres://db/land?user=u&password=***&sslmode=disable"},
      {"PG:host=db password='not closed", "PG:host=db ***"},
      {"/data/patches.shp", "/data/patches.shp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    EXPECT_EQ(HidePassword(c.source), c.shown);
  }
}

TEST(FilterWriting, LiteralsAreParametersAndNamesAreQuoted) {
  const auto column = [](const char* name) {
    return FilterNode{FilterNode::Kind::kColumn, name, 0, 0, FilterOp::kAnd, {}};
  };
  const auto text = [](const char* value) {
    return FilterNode{FilterNode::Kind::kText, value, 0, 0, FilterOp::kAnd, {}};
  };
  const auto operation = [](FilterOp op, std::vector<FilterNode> operands) {
    return FilterNode{FilterNode::Kind::kOperation, "", 0, 0, op, std::move(operands)};
  };
  FilterNode number{FilterNode::Kind::kInteger, "", 5000000000, 0, FilterOp::kAnd, {}};
  const FilterNode filter =
      operation(FilterOp::kAnd,
                {operation(FilterOp::kEqual, {column("dl\"bm"), text("0'1\\")}),
                 operation(FilterOp::kGreater,
                           {operation(FilterOp::kSubstring, {column("z"), text("x")}), number})});
  const FilterSql sql = WriteFilterSql(filter, 2);
  EXPECT_EQ(sql.sql, "((\"dl\"\"bm\" = $2) AND (pg_catalog.substr(\"z\", $3::text) > $4::int8))");
  EXPECT_EQ(sql.parameters, (std::vector<std::string>{"0'1\\", "x", "5000000000"}));
  EXPECT_EQ(WriteFilterText(filter),
            "((\"dl\"\"bm\" = (E'0''1\\\\')) AND (pg_catalog.substr(\"z\", ('x')) > "
            "(5000000000)))");
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
      {"08001", false, "", "分片服务器 two 的连接在统计中断开"},
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
    query.typed_where = c.where;
    const std::string code = c.sqlstate;
    const std::string said = code == "42703"   ? "column \"dlbmm\" does not exist"
                             : code == "08001" ? "could not connect to server \"two\""
                                               : "server text";
    const std::string text = GroupedProblemText(c.sqlstate, c.lost, said, query, "1 dlbm");
    EXPECT_NE(text.find(c.says), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace quilmark
