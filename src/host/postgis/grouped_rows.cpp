#include "src/host/postgis/grouped_rows.h"

#include <libpq-fe.h>

#include <algorithm>
#include <charconv>
#include <regex>
#include <utility>
#include <vector>

#include "src/host/filter_problem.h"
#include "src/host/postgis/pg_session.h"
#include "src/host/postgis/pushed_check.h"
#include "src/host/sheet_host.h"

namespace quilmark {
namespace {

// How many feature ids of patches returned alone are kept for messages.
constexpr size_t kKeptIds = 64;

// The columns a table is partitioned by, in key order; none for a table that is not.
constexpr const char* kPartitionColumns =
    "SELECT a.attname FROM pg_partitioned_table p"
    " CROSS JOIN LATERAL unnest(p.partattrs::int2[]) WITH ORDINALITY AS key(attnum, n)"
    " JOIN pg_attribute a ON a.attrelid = p.partrelid AND a.attnum = key.attnum"
    " WHERE p.partrelid = to_regclass($1) ORDER BY key.n";

struct Problem {
  const char* sqlstate;  // a class ("42") or a code ("42P01")
  const char* text;
};
// The first that matches the server's code gives the message; the server's text follows it.
constexpr Problem kProblems[] = {
    {"57014", "服务器按时限 (statement_timeout) 取消了统计; 请在连接字符串中放宽时限后重试"},
    {"57P0", "数据库服务器在统计中关闭了; 请确认服务器在运行后重试"},
    {"08", "与数据库服务器的连接在统计中断开"},
    {"42P01", "表在统计开始后已不存在 (被删除或改名)"},
    {"25006", "筛选条件试图修改数据库, 已被拒绝; 筛选条件只能读取数据"},
    {"42501", "这个用户没有读取该表的权限; 请让数据库管理员授予 SELECT 权限"},
    {"53", "数据库服务器资源不足 (内存、磁盘或连接数)"},
};

void SetEmpty(std::optional<CellValue>& cell) {
  if (!cell || !IsEmpty(*cell)) cell.emplace();
}

// A cell of the statement's results, at a row and column.
struct At {
  const PGresult* result;
  int row;
  bool null(int column) const { return PQgetisnull(result, row, column) != 0; }
  std::string_view text(int column) const {
    return {PQgetvalue(result, row, column), static_cast<size_t>(PQgetlength(result, row, column))};
  }
  std::optional<double> number(int column) const {
    if (null(column)) return std::nullopt;
    const std::string_view digits = text(column);
    double value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc()) return std::nullopt;
    return value;
  }
  int64_t whole(int column) const {
    const std::string_view digits = text(column);
    int64_t value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return value;
  }
  void SetNumber(int column, std::optional<CellValue>& cell) const {
    const std::optional<double> value = number(column);
    if (!value) return SetEmpty(cell);
    cell.emplace(*value);
  }
  void SetText(int column, std::optional<CellValue>& cell) const {
    if (null(column)) return SetEmpty(cell);
    if (cell) {
      if (auto* held = std::get_if<std::string>(&*cell)) {
        held->assign(text(column));
        return;
      }
    }
    cell.emplace(std::in_place_type<std::string>, text(column));
  }
};

// A group of the statement's results: its row, which of the row's groups, its first feature id.
struct Group {
  int64_t first;
  int row;
  GroupKind kind;
  bool operator<(const Group& other) const { return first < other.first; }
};

class GroupedRows : public RowSource {
 public:
  GroupedRows(PgSource source, std::string shown, GroupedQuery query, std::string fields)
      : source_(std::move(source)),
        shown_(std::move(shown)),
        query_(std::move(query)),
        fields_(std::move(fields)) {}

  // Groups and single patches, merged in the order of their (first) feature ids.
  bool Next(SourceRow& row) override {
    try {
      return NextRow(row);
    } catch (const PgFailure& failure) {
      single_.reset();
      groups_.reset();
      session_.reset();
      throw HostError("无法读取图层: " + GroupedProblemText(failure.sqlstate, failure.lost,
                                                            failure.said, query_, fields_));
    }
  }

  HiddenFaults Hidden() const override { return hidden_; }

  std::string RowLabel(int64_t number) const override {
    for (const auto& [kept_number, fid] : kept_ids_) {
      if (kept_number == number) return "FID " + std::to_string(fid);
    }
    return "第 " + std::to_string(number) + " 组图斑";
  }

 private:
  bool NextRow(SourceRow& row) {
    if (!session_) Start();
    const bool group_left = next_ < order_.size();
    if (single_ && (!group_left || At{single_.get(), 0}.whole(kSingleFid) < order_[next_].first)) {
      FillSingle(At{single_.get(), 0}, row);
      FetchSingle();
      return true;
    }
    if (group_left) {
      FillGroup(order_[next_++], row);
      return true;
    }
    if (!done_) {
      session_->Run("COMMIT");
      done_ = true;
    }
    return false;
  }

  // Connects, opens a read-only transaction, learns the partitioning and runs the grouping; the
  // single patches, where there are any, are then read one at a time as the server sends them.
  void Start() {
    session_ = std::make_unique<PgSession>(source_, shown_);
    session_->Run("BEGIN READ ONLY");
    session_->Run("SET LOCAL enable_partitionwise_aggregate = on");
    // The planner multiplies the distinct zones, classes and flags as if they were independent
    // and expects far more groups than codes give (1.6 million for 19,000 on 10 million
    // patches), so it would sort every patch: 21 s where hashing the groups in every worker
    // takes 5 s. Steered away from sorting, the statement's cost would switch JIT on, which a
    // statement of a few seconds gains nothing from. Memory stays bounded by work_mem. Settings
    // the server or the connection already has more generous are kept.
    session_->Run("SET LOCAL enable_sort = off");
    session_->Run("SET LOCAL jit = off");
    session_->Query(
        "SELECT set_config('work_mem', greatest(pg_size_bytes(current_setting('work_mem')), "
        "64 * 1024 * 1024) / 1024 || 'kB', true), set_config('parallel_tuple_cost', "
        "least(current_setting('parallel_tuple_cost')::float8, 0.01)::text, true)");
    query_.partition_columns = PartitionColumns();
    groups_ = session_->Query(GroupedSql(query_), query_.parameters);
    CheckHidden();
    if (!OrderGroups()) return;
    const std::string sql = SinglesSql(query_);
    std::vector<const char*> values;
    for (const std::string& parameter : query_.parameters) values.push_back(parameter.c_str());
    if (!PQsendQueryParams(session_->connection(), sql.c_str(), static_cast<int>(values.size()),
                           nullptr, values.data(), nullptr, nullptr, 0) ||
        !PQsetSingleRowMode(session_->connection())) {
      throw session_->FailureOf(nullptr);
    }
    FetchSingle();
  }

  // The groups in the order of their first feature id; whether some patches come one by one.
  bool OrderGroups() {
    bool singles = false;
    for (int i = 0; i < PQntuples(groups_.get()); ++i) {
      const At at{groups_.get(), i};
      for (GroupKind kind : {kPlainGroup, kRidgeGroup}) {
        if (at.whole(GroupColumn(kind, kGroupPatches)) > 0) {
          order_.push_back({at.whole(GroupColumn(kind, kGroupFirstFid)), i, kind});
        }
      }
      singles |= at.text(kGroupSingles) == "t";
    }
    std::sort(order_.begin(), order_.end());
    return singles;
  }

  // The next single patch into single_; nullptr after the last.
  void FetchSingle() {
    single_.reset(PQgetResult(session_->connection()));
    if (!single_) throw session_->FailureOf(nullptr);  // ended without its closing status
    const ExecStatusType status = PQresultStatus(single_.get());
    if (status == PGRES_SINGLE_TUPLE) return;
    if (status != PGRES_TUPLES_OK) throw session_->FailureOf(single_.release());
    single_.reset();
    while (PGresult* rest = PQgetResult(session_->connection())) PQclear(rest);
  }

  // The data check's statement, in the same transaction: what the groups' sums would hide.
  void CheckHidden() {
    const PgResult result = session_->Query(PushedCheckSql(query_), query_.parameters);
    const At at{result.get(), 0};
    const auto labels = [&](int column) {
      std::vector<std::string> first;
      std::string_view ids = at.text(column);  // {12,40}
      while (!ids.empty() && (ids.front() == '{' || ids.front() == ',')) {
        ids.remove_prefix(1);
        const size_t end = ids.find_first_of(",}");
        if (end == 0 || end == std::string_view::npos) break;
        first.push_back("FID " + std::string(ids.substr(0, end)));
        ids.remove_prefix(end);
      }
      return first;
    };
    hidden_ = {true, at.whole(kCheckNegative), labels(kCheckNegativeFids),
               at.whole(kCheckInexactZone), labels(kCheckInexactZoneFids),
               at.whole(kCheckDuplicate), labels(kCheckDuplicateFids)};
  }

  // Statements go one at a time, never several: the extended protocol refuses a second after a
  // semicolon, and unlike a cursor's, a statement sent so may run in parallel.
  std::vector<std::string> PartitionColumns() {
    const PgResult result = session_->Query(kPartitionColumns, {QualifiedTable(query_)});
    std::vector<std::string> columns;
    for (int i = 0; i < PQntuples(result.get()); ++i) {
      columns.emplace_back(PQgetvalue(result.get(), i, 0));
    }
    return columns;
  }

  // The zone, class and area at these columns, numbered as the next row.
  void FillKeys(At at, int zone, int class_column, int area, SourceRow& row) {
    row.number = ++count_;
    at.SetText(zone, row.zone);
    if (query_.class_) {
      at.SetText(class_column, row.class_);
      row.cross_class = row.class_;
    }
    at.SetNumber(area, row.area);
    row.fields.clear();
  }

  void FillGroup(const Group& group, SourceRow& row) {
    const At at{groups_.get(), group.row};
    FillKeys(at, kGroupZone, kGroupClass, GroupColumn(group.kind, kGroupArea), row);
    row.patches = at.whole(GroupColumn(group.kind, kGroupPatches));
    row.deduction.reset();
    if (query_.deduction) {
      row.ridge = at.number(GroupColumn(group.kind, kGroupRidge)).value_or(0.0);
    }
  }

  // A patch the server did not sum: the run judges its area and coefficient itself.
  void FillSingle(At at, SourceRow& row) {
    FillKeys(at, kSingleZone, kSingleClass, kSingleArea, row);
    row.patches = 1;
    row.ridge.reset();
    if (query_.deduction) at.SetNumber(kSingleCoefficient, row.deduction);
    if (kept_ids_.size() < kKeptIds) kept_ids_.emplace_back(count_, at.whole(kSingleFid));
  }

  const PgSource source_;
  const std::string shown_;  // the source, its password hidden
  GroupedQuery query_;
  const std::string fields_;
  std::unique_ptr<PgSession> session_;
  PgResult groups_;
  std::vector<Group> order_;  // the groups in the order they are handed on
  size_t next_ = 0;           // the next of them
  PgResult single_;           // the next single patch, read ahead; nullptr when none is left
  bool done_ = false;
  int64_t count_ = 0;
  std::vector<std::pair<int64_t, int64_t>> kept_ids_;  // row number, feature id
  HiddenFaults hidden_;
};

}  // namespace

std::string GroupedProblemText(std::string_view sqlstate, bool lost, std::string_view said,
                               const GroupedQuery& query, std::string_view fields) {
  const std::string after = said.empty() ? "" : " (" + std::string(said) + ")";
  const std::string nothing = ", 统计未完成, 没有写入任何结果";
  if (lost && (sqlstate.empty() || sqlstate.rfind("08", 0) == 0)) {
    return "与数据库服务器的连接在统计中断开" + after + nothing +
           "; 请确认服务器在运行、网络通畅后重试";
  }
  if (sqlstate.rfind("08", 0) == 0) {
    // The connection to the server is there: what went away is a shard behind it (postgres_fdw
    // names its foreign server where it could not connect).
    static const std::regex kServer(R"re(server "([^"]+)")re");
    const std::string text(said);
    std::smatch match;
    const std::string shard = std::regex_search(text, match, kServer) ? " " + match[1].str() : "";
    return "数据库服务器与分片服务器" + shard + " 的连接在统计中断开" + after + nothing +
           "; 请确认各分片服务器在运行后重试";
  }
  for (const Problem& problem : kProblems) {
    if (sqlstate.rfind(problem.sqlstate, 0) == 0) return problem.text + after + nothing;
  }
  // Anything else the statement was refused for comes from the filter: the rest is Quilmark's
  // own and was read from the table's own columns.
  if (!query.where.empty() && (sqlstate.rfind("42", 0) == 0 || sqlstate.rfind("22", 0) == 0)) {
    return FilterProblemText(query.typed_where.empty() ? query.where : query.typed_where, said,
                             fields);
  }
  return "数据库在统计时出错" + after + nothing;
}

std::unique_ptr<RowSource> OpenGroupedRows(PgSource source, std::string shown, GroupedQuery query,
                                           std::string fields) {
  return std::make_unique<GroupedRows>(std::move(source), std::move(shown), std::move(query),
                                       std::move(fields));
}

}  // namespace quilmark
