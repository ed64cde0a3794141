// The groups a PostgreSQL server forms of a table's patches (see grouped_query.h), as rows the
// run sums like any other: each row stands for SourceRow::patches patches, with their summed
// area and 田坎 part, in the order of each group's first feature id. A patch the server did not
// sum comes as a row of its own, named in messages by its feature id.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "src/host/postgis/grouped_query.h"
#include "src/host/postgis/pg_session.h"
#include "src/host/row_source.h"

namespace quilmark {

// Nothing is sent to the server before the first Next, which connects, runs the statement in a
// read-only transaction (a filter cannot change the data) and then hands on its rows as they
// arrive. Next throws HostError when the server cannot be reached, refuses the statement or goes
// away, saying which; `fields` lists the table's fields for a message about the filter.
// `shown` names the source in messages (its password hidden).
std::unique_ptr<RowSource> OpenGroupedRows(PgSource source, std::string shown, GroupedQuery query,
                                           std::string fields);

// The message of a statement the server refused or could not finish: `sqlstate` is the server's
// code (empty where the client saw the connection end), `lost` whether the connection is gone,
// `said` the server's own text.
std::string GroupedProblemText(std::string_view sqlstate, bool lost, std::string_view said,
                               const GroupedQuery& query, std::string_view fields);

}  // namespace quilmark
