// The data check of a summary pushed into PostgreSQL: what a group's sums would hide, found by
// the server in one more statement over the same patches (the same table and filter) in the
// same read-only transaction: patches with a negative area, zones of a floating-point column too
// large to hold a code's every digit, and (where the query names one) patches whose identifier an
// earlier patch has. Pure text; nothing here talks to a server.
#pragma once

#include <string>

#include "src/host/postgis/grouped_query.h"

namespace quilmark {

// The columns of the one row PushedCheckSql returns, in this order: how many patches, and the
// feature ids of the first five as a bigint array ({} where none).
enum PushedCheckColumn {
  kCheckNegative,
  kCheckNegativeFids,
  kCheckInexactZone,
  kCheckInexactZoneFids,
  kCheckDuplicate,
  kCheckDuplicateFids,
};

std::string PushedCheckSql(const GroupedQuery& query);

}  // namespace quilmark
