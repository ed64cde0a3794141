// The summary pushed into PostgreSQL: one statement that groups a table's patches on the server
// by zone and class, so that only the groups travel. Pure text; nothing here talks to a server.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quilmark {

// What the statement reads. Column names are spelled as the table spells them.
struct GroupedQuery {
  std::string schema;                 // where the table is; empty: as the session resolves it
  std::string table;                  // the table's own name (without its schema)
  std::string fid;                    // the feature id column: groups come in its order
  std::string zone;                   // read as text; whole-number columns give their digits
  std::optional<std::string> class_;  // read as text; nullopt when no task reads a class
  std::optional<std::string> area;    // nullopt: the planar area of `geometry`
  std::string geometry;
  std::optional<std::string> deduction;   // the 田坎 coefficient, when one is chosen
  std::optional<std::string> identifier;  // BSM, where the data check compares the patches'
  // The filter as pg_filter.h writes it, its literals parameters $1, $2, ...; empty: all.
  std::string where;
  std::vector<std::string> parameters;
  std::string typed_where;         // the filter as the user typed it, for messages
  std::optional<int> zone_prefix;  // keep this many characters of the zone
  // Columns the table is partitioned by: grouping by them too lets each partition (each shard)
  // form its own groups.
  std::vector<std::string> partition_columns;
};

// The columns of each row GroupedSql returns: a zone and class (within a partition), then for
// each of the two groups it holds (kPlainGroup: summed patches without a 田坎 share, kRidgeGroup:
// with one) the columns at GroupColumn, then kGroupSingles.
enum GroupedColumn {
  kGroupZone,      // text; NULL where the zone is NULL
  kGroupClass,     // text; NULL where the class is NULL or not read
  kGroupPatches,   // bigint: the group's patches (0: no such group)
  kGroupArea,      // numeric: their summed area, exact
  kGroupRidge,     // float8: their summed area x coefficient where the coefficient is above 0
  kGroupFirstFid,  // bigint: their lowest feature id, by which the rows are ordered
};
enum GroupKind { kPlainGroup, kRidgeGroup };
inline constexpr int kGroupWidth = kGroupFirstFid - kGroupPatches + 1;
constexpr int GroupColumn(GroupKind kind, GroupedColumn column) {
  return column + kind * kGroupWidth;
}
// boolean: some of the zone and class's patches are not summed here (SinglesSql returns them)
inline constexpr int kGroupSingles = kGroupPatches + 2 * kGroupWidth;

// The columns of each row SinglesSql returns, in this order.
enum SingleColumn { kSingleFid, kSingleZone, kSingleClass, kSingleArea, kSingleCoefficient };

// An identifier quoted for PostgreSQL: in double quotes, each double quote doubled; a name of
// the form schema.table quotes each part. Safe for any text, including quotes and semicolons.
std::string QuoteIdentifier(std::string_view name);
std::string QuoteTableName(std::string_view name);
// The query's table, schema-qualified where its schema is known.
std::string QualifiedTable(const GroupedQuery& query);

// The grouping statement. Zones and classes are trimmed of spaces at both ends (the zone before
// it is cut to the prefix). Patches whose area is NULL, NaN or infinite, or whose coefficient is
// not plainly inside [0, 1), are not summed (kGroupSingles): SinglesSql returns
// them one by one with their own values, so that the run judges each as it judges a patch read
// alone. Patches with a coefficient above 0 and a positive 田坎 share are grouped apart from the
// others, so that the run meets the 田坎 key where it would meet it patch by patch; the caller
// orders the groups by their first feature id. The areas are summed as numeric, exactly: each
// area is taken as its 15 significant digits, as the streaming read takes it through its text, so
// the sum does not depend on the order in which the server's workers add them. The filter takes
// its literals as the statement's parameters.
std::string GroupedSql(const GroupedQuery& query);
std::string SinglesSql(const GroupedQuery& query);

}  // namespace quilmark
