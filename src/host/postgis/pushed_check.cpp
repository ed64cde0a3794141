#include "src/host/postgis/pushed_check.h"

namespace quilmark {
namespace {

// The first five feature ids of the patches the test holds for, in id order.
std::string FirstIds(const std::string& test) {
  return "coalesce((array_agg(f ORDER BY f) FILTER (WHERE " + test + "))[1:5], '{}')";
}

}  // namespace

std::string PushedCheckSql(const GroupedQuery& query) {
  const std::string zone = QuoteIdentifier(query.zone);
  const std::string area = query.area ? QuoteIdentifier(*query.area) + "::float8"
                                      : "ST_Area(" + QuoteIdentifier(query.geometry) + ")";
  // Only a float column can have lost digits; its value is read through its text so that the
  // statement is valid whatever the column's type. 2^53 is the first integer a float8 may miss,
  // 2^24 the first a float4 may.
  const std::string value = "abs((" + zone + ")::text::float8)";
  const std::string inexact =
      "CASE pg_typeof(" + zone + ") WHEN 'double precision'::regtype THEN " + value +
      " >= 9007199254740992 WHEN 'real'::regtype THEN " + value + " >= 16777216 ELSE false END";
  // An identifier compared by its trimmed text, an empty one by none; every patch after the
  // first (in feature id order) of its identifier counts.
  const std::string id =
      query.identifier ? "NULLIF(btrim((" + QuoteIdentifier(*query.identifier) + ")::text), '')"
                       : "NULL::text";
  std::string patches = "SELECT " + QuoteIdentifier(query.fid) + "::bigint AS f, " + area +
                        " AS a, " + inexact + " AS lost, " + id + " AS id FROM " +
                        QualifiedTable(query);
  if (!query.where.empty()) patches += " WHERE (" + query.where + ")";
  const std::string dup =
      query.identifier ? "id IS NOT NULL AND row_number() OVER (PARTITION BY id ORDER BY f) > 1"
                       : "false";
  patches = "SELECT f, a, lost, " + dup + " AS dup FROM (" + patches + ") AS patch";
  return "SELECT count(*) FILTER (WHERE a < 0), " + FirstIds("a < 0") +
         ", count(*) FILTER (WHERE lost), " + FirstIds("lost") + ", count(*) FILTER (WHERE dup), " +
         FirstIds("dup") + " FROM (" + patches + ") AS patch";
}

}  // namespace quilmark
