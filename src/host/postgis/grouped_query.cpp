#include "src/host/postgis/grouped_query.h"

namespace quilmark {
namespace {

// Coefficients from here up are judged patch by patch: the run reads a coefficient through its
// 15-digit text, where 0.9999999999999996 is already 1 and refused.
constexpr std::string_view kLargestPlainCoefficient = "0.999999999999999";

std::string Trimmed(const std::string& column) {
  return "btrim(" + QuoteIdentifier(column) + "::text, ' ')";
}

std::string ZoneExpression(const GroupedQuery& query) {
  if (!query.zone_prefix) return Trimmed(query.zone);
  return "left(" + Trimmed(query.zone) + ", " + std::to_string(*query.zone_prefix) + ")";
}

std::string AreaExpression(const GroupedQuery& query) {
  if (query.area) return QuoteIdentifier(*query.area) + "::float8";
  return "ST_Area(" + QuoteIdentifier(query.geometry) + ")";
}

// A patch summed into its group: a finite area (NULL, NaN and the infinities fail both
// comparisons) and, with a coefficient, one that is NULL (read as 0) or plainly inside [0, 1).
std::string Summed(const GroupedQuery& query) {
  std::string test = "a > '-Infinity'::float8 AND a < 'Infinity'::float8";
  if (query.deduction) {
    test += " AND (k IS NULL OR (k >= 0 AND k < " + std::string(kLargestPlainCoefficient) + "))";
  }
  return test;
}

// A test that is false where it is NULL.
std::string Flag(const std::string& test) {
  return "CASE WHEN " + test + " THEN true ELSE false END";
}

}  // namespace

std::string QuoteIdentifier(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string QuoteTableName(std::string_view name) {
  const size_t dot = name.find('.');
  if (dot == std::string_view::npos) return QuoteIdentifier(name);
  return QuoteIdentifier(name.substr(0, dot)) + "." + QuoteIdentifier(name.substr(dot + 1));
}

std::string QualifiedTable(const GroupedQuery& query) {
  if (query.schema.empty()) return QuoteTableName(query.table);
  return QuoteIdentifier(query.schema) + "." + QuoteIdentifier(query.table);
}

namespace {

// The table's patches with the values the statements read: f, z, c, a, k, the partition columns
// p0, p1, ..., and g (summed in a group) and r (apart, for its 田坎 share).
std::string Patches(const GroupedQuery& query) {
  const std::string coefficient =
      query.deduction ? QuoteIdentifier(*query.deduction) + "::float8" : "NULL::float8";
  std::string inner = "SELECT " + QuoteIdentifier(query.fid) + "::bigint AS f, " +
                      ZoneExpression(query) + " AS z, " +
                      (query.class_ ? Trimmed(*query.class_) : "NULL::text") + " AS c, " +
                      AreaExpression(query) + " AS a, " + coefficient + " AS k";
  for (size_t i = 0; i < query.partition_columns.size(); ++i) {
    inner += ", " + QuoteIdentifier(query.partition_columns[i]) + " AS p" + std::to_string(i);
  }
  inner += " FROM " + QualifiedTable(query);
  if (!query.where.empty()) inner += " WHERE (" + query.where + ")";
  const std::string ridge = query.deduction ? "k > 0 AND a * k > 0" : "false";
  // CASE rather than coalesce: postgres_fdw sends CASE to a shard, not coalesce.
  return "SELECT *, " + Flag(Summed(query)) + " AS g, " + Flag(ridge) + " AS r FROM (" + inner +
         ") AS patch";
}

}  // namespace

std::string GroupedSql(const GroupedQuery& query) {
  // The flags are keys: each row holds one kind of group, the other's count 0. Aggregates
  // filtered by the flags instead cost the server the flags' tests once per aggregate and patch
  // (2.2 s against 0.9 s at a million patches), and postgres_fdw sends none of that shape to a
  // shard. Given work_mem and a cheap tuple transfer, the planner lets each parallel worker
  // aggregate its share with the flags among the keys too.
  std::string group_by = "z, c, g, r";
  for (size_t i = 0; i < query.partition_columns.size(); ++i) {
    group_by += ", p" + std::to_string(i);
  }
  const std::string ridge = query.deduction ? "sum(a * k) FILTER (WHERE k > 0)" : "NULL::float8";
  std::string sql = "SELECT z, c";
  for (const char* group : {"g AND NOT r", "g AND r"}) {
    sql += std::string(", CASE WHEN ") + group + " THEN count(*) ELSE 0 END, sum(a::numeric), " +
           ridge + ", min(f)";
  }
  return sql + ", NOT g FROM (" + Patches(query) + ") AS p GROUP BY " + group_by;
}

std::string SinglesSql(const GroupedQuery& query) {
  return "SELECT f, z, c, a, k FROM (" + Patches(query) + ") AS p WHERE NOT g ORDER BY f";
}

}  // namespace quilmark
