// The table of a "PG:" layer checked on the server in a read-only session of Quilmark's own,
// before anything is summed: which table it is (resolved as GDAL resolved the layer's name, so
// that the table checked is the table summed), and whether the filter passes any patch. A refusal
// comes with the server's own reason: no permission, a filter the server refuses, a server that
// went away (never blamed on the filter).
#pragma once

#include <string>

#include "src/host/postgis/grouped_query.h"
#include "src/host/postgis/pg_session.h"

namespace quilmark {

struct CheckedTable {
  std::string schema;
  std::string table;
  bool empty = false;  // the filter passes no patch (or the table has none)
};

// `layer` is GDAL's name of the layer: "table" in the source's active schema (the user's current
// one where the string names none), or "schema.table". `filter` gives the filter (where,
// parameters, typed_where); `shown` names the source, `fields` lists the layer's fields, both for
// messages. Throws HostError.
CheckedTable CheckTable(const PgSource& source, const std::string& shown, const std::string& layer,
                        const GroupedQuery& filter, const std::string& fields);

}  // namespace quilmark
