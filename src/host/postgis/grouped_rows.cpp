#include "src/host/postgis/grouped_rows.h"

#include <libpq-fe.h>

#include <charconv>
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
    return {PQgetvalue(result, row, column),
            static_cast<size_t>(PQgetlength(result, row, column))};
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

bool Summed(At at) { return at.text(kGroupSummed) == "t"; }

struct ClearResult {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ClearResult>;

class GroupedRows : public RowSource {
 public:
  GroupedRows(std::string source, GroupedQuery query, std::string fields)
      : source_(std::move(source)), query_(std::move(query)), fields_(std::move(fields)) {}

  // Groups and single patches, merged in the order of their (first) feature ids.
  bool Next(SourceRow& row) override {
    if (!session_) Start();
    while (group_ < PQntuples(groups_.get()) && !Summed(At{groups_.get(), group_})) {
      ++group_;  // its patches come one by one
    }
    const bool group_left = group_ < PQntuples(groups_.get());
    if (single_ && (!group_left || At{single_.get(), 0}.whole(kSingleFid) <
                                       At{groups_.get(), group_}.whole(kGroupFirstFid))) {
      FillSingle(At{single_.get(), 0}, row);
      FetchSingle();
      return true;
    }
    if (group_left) {
      FillGroup(At{groups_.get(), group_++}, row);
      return true;
    }
    if (!done_) {
      Run("COMMIT");
      done_ = true;
    }
    return false;
  }

  HiddenFaults Hidden() const override { return hidden_; }

  std::string RowLabel(int64_t number) const override {
    for (const auto& [kept_number, fid] : kept_ids_) {
      if (kept_number == number) return "FID " + std::to_string(fid);
    }
    return "第 " + std::to_string(number) + " 组图斑";
  }

 private:
  // Connects, opens a read-only transaction, learns the partitioning and runs the grouping; the
  // single patches, where there are any, are then read one at a time as the server sends them.
  void Start() {
    session_ = std::make_unique<PgSession>(source_);
    Run("BEGIN READ ONLY");
    Run("SET LOCAL enable_partitionwise_aggregate = on");
    // The planner multiplies the distinct zones, classes and flags as if they were independent
    // and expects far more groups than codes give (800,000 for 19,000 on 10 million patches),
    // so it would sort every patch, or not run in parallel: at 10 million patches, 11 s where
    // hashing the groups in every worker takes 5 s. Memory stays bounded by work_mem. Settings
    // the server or the connection already has more generous are kept.
    Run("SET LOCAL enable_sort = off");
    Query("SELECT set_config('work_mem', greatest(pg_size_bytes(current_setting('work_mem')), "
          "64 * 1024 * 1024) / 1024 || 'kB', true), set_config('parallel_tuple_cost', "
          "least(current_setting('parallel_tuple_cost')::float8, 0.01)::text, true)");
    query_.partition_columns = PartitionColumns();
    groups_ = Query(GroupedSql(query_));
    CheckHidden();
    bool singles = false;
    for (int i = 0; i < PQntuples(groups_.get()); ++i) singles |= !Summed(At{groups_.get(), i});
    if (!singles) return;
    const std::string sql = SinglesSql(query_);
    if (!PQsendQueryParams(session_->connection(), sql.c_str(), 0, nullptr, nullptr, nullptr,
                           nullptr, 0) ||
        !PQsetSingleRowMode(session_->connection())) {
      Fail(nullptr);
    }
    FetchSingle();
  }

  // The next single patch into single_; nullptr after the last.
  void FetchSingle() {
    single_.reset(PQgetResult(session_->connection()));
    if (!single_) Fail(nullptr);  // ended without its closing status
    const ExecStatusType status = PQresultStatus(single_.get());
    if (status == PGRES_SINGLE_TUPLE) return;
    if (status != PGRES_TUPLES_OK) Fail(single_.release());
    single_.reset();
    while (PGresult* rest = PQgetResult(session_->connection())) PQclear(rest);
  }

  // One statement, never several: the extended protocol refuses a second after a semicolon, and
  // unlike a cursor's, this statement may run in parallel.
  Result Query(const std::string& sql, const char* parameter = nullptr) {
    const char* values[] = {parameter};
    Result result(PQexecParams(session_->connection(), sql.c_str(), parameter != nullptr ? 1 : 0,
                               nullptr, values, nullptr, nullptr, 0));
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) Fail(result.release());
    return result;
  }

  // The data check's statement, in the same transaction: what the groups' sums would hide.
  void CheckHidden() {
    const Result result = Query(PushedCheckSql(query_));
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
               at.whole(kCheckInexactZone), labels(kCheckInexactZoneFids)};
  }

  std::vector<std::string> PartitionColumns() {
    const std::string table = QuoteTableName(query_.table);
    const Result result = Query(kPartitionColumns, table.c_str());
    std::vector<std::string> columns;
    for (int i = 0; i < PQntuples(result.get()); ++i) {
      columns.emplace_back(PQgetvalue(result.get(), i, 0));
    }
    return columns;
  }

  void Run(const char* command) {
    PGresult* result = PQexec(session_->connection(), command);
    if (PQresultStatus(result) != PGRES_COMMAND_OK) Fail(result);
    PQclear(result);
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

  void FillGroup(At at, SourceRow& row) {
    FillKeys(at, kGroupZone, kGroupClass, kGroupArea, row);
    row.patches = at.whole(kGroupPatches);
    row.deduction.reset();
    if (query_.deduction) row.ridge = at.number(kGroupRidge).value_or(0.0);
  }

  // A patch the server did not sum: the run judges its area and coefficient itself.
  void FillSingle(At at, SourceRow& row) {
    FillKeys(at, kSingleZone, kSingleClass, kSingleArea, row);
    row.patches = 1;
    row.ridge.reset();
    if (query_.deduction) at.SetNumber(kSingleCoefficient, row.deduction);
    if (kept_ids_.size() < kKeptIds) kept_ids_.emplace_back(count_, at.whole(kSingleFid));
  }

  [[noreturn]] void Fail(PGresult* result) {
    pg_conn* connection = session_->connection();
    const char* code = result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const char* primary =
        result != nullptr ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    std::string said = primary != nullptr ? primary : PQerrorMessage(connection);
    while (!said.empty() && (said.back() == '\n' || said.back() == ' ')) said.pop_back();
    const std::string sqlstate = code != nullptr ? code : "";
    const bool lost = PQstatus(connection) == CONNECTION_BAD;
    PQclear(result);
    single_.reset();
    groups_.reset();
    session_.reset();
    throw HostError("无法读取图层: " + GroupedProblemText(sqlstate, lost, said, query_, fields_));
  }

  const std::string source_;
  GroupedQuery query_;
  const std::string fields_;
  std::unique_ptr<PgSession> session_;
  Result groups_;
  int group_ = 0;  // the next group to hand on
  Result single_;  // the next single patch, read ahead; nullptr when none is left
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
  for (const Problem& problem : kProblems) {
    if (sqlstate.rfind(problem.sqlstate, 0) == 0) return problem.text + after + nothing;
  }
  // Anything else the statement was refused for comes from the filter: the rest is Quilmark's
  // own and was read from the table's own columns.
  if (!query.where.empty() && (sqlstate.rfind("42", 0) == 0 || sqlstate.rfind("22", 0) == 0)) {
    return FilterProblemText(query.where, said, fields);
  }
  return "数据库在统计时出错" + after + nothing;
}

std::unique_ptr<RowSource> OpenGroupedRows(std::string source, GroupedQuery query,
                                           std::string fields) {
  return std::make_unique<GroupedRows>(std::move(source), std::move(query), std::move(fields));
}

}  // namespace quilmark
