#include "src/host/postgis/table_check.h"

#include <libpq-fe.h>

#include "src/host/postgis/grouped_rows.h"
#include "src/host/sheet_host.h"

namespace quilmark {
namespace {

// The schema and name of a table: $1 its schema (empty: the session's current one), $2 its name.
constexpr const char* kTable =
    "SELECT n.nspname, c.relname FROM pg_catalog.pg_class c"
    " JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace"
    " WHERE n.nspname = coalesce(nullif($1, ''), current_schema()) AND c.relname = $2";

}  // namespace

CheckedTable CheckTable(const PgSource& source, const std::string& shown, const std::string& layer,
                        const GroupedQuery& filter, const std::string& fields) {
  CheckedTable checked{source.schema, layer, false};
  const size_t dot = layer.find('.');
  if (dot != std::string::npos) {
    checked.schema = layer.substr(0, dot);
    checked.table = layer.substr(dot + 1);
  }
  try {
    PgSession session(source, shown);
    session.Run("BEGIN READ ONLY");
    const PgResult table = session.Query(kTable, {checked.schema, checked.table});
    if (PQntuples(table.get()) != 1) {
      throw HostError("无法读取图层: " + shown + " 中找不到表 " + layer);
    }
    checked.schema = PQgetvalue(table.get(), 0, 0);
    checked.table = PQgetvalue(table.get(), 0, 1);
    GroupedQuery named = filter;
    named.schema = checked.schema;
    named.table = checked.table;
    std::string sql = "SELECT 1 FROM " + QualifiedTable(named);
    if (!filter.where.empty()) sql += " WHERE " + filter.where;
    checked.empty = PQntuples(session.Query(sql + " LIMIT 1", filter.parameters).get()) == 0;
    session.Run("COMMIT");
  } catch (const PgFailure& failure) {
    throw HostError("无法读取图层: " + GroupedProblemText(failure.sqlstate, failure.lost,
                                                          failure.said, filter, fields));
  }
  return checked;
}

}  // namespace quilmark
