// The filter (--where) of a database table, read with OGR's own SQL expression parser into the
// parts src/host/postgis/pg_filter.h writes again: field names and literals, comparisons,
// AND/OR/NOT, IN, BETWEEN, LIKE, IS NULL, arithmetic, SUBSTR, CONCAT and CAST. Anything else (a
// function of the server, a subquery, a second statement) is refused before the server is asked,
// so that no filter can run what writes, reads files or waits.
#pragma once

#include <ogrsf_frmts.h>

#include <string>

#include "src/host/postgis/pg_filter.h"

namespace quilmark {

// Reads the filter without the layer's fields: throws HostError naming the part refused. For the
// check before connecting.
void CheckDatabaseFilter(const std::string& where);

// Reads the filter against the layer's fields (names matched as GDAL matches them; FID names
// the feature id column): throws HostError naming the part refused, a name that is no field (the
// fields listed) or a literal of the wrong type.
FilterNode ParseDatabaseFilter(const std::string& where, OGRLayer& layer);

}  // namespace quilmark
