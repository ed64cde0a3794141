// The zone-by-class tables that the land-use, master-plan and zone-totals passes fill, and the
// block they become below the data.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "src/summary/area_format.h"
#include "src/summary/ordered_table.h"
#include "src/summary/result_table.h"

namespace quilmark {

// The (zone, class) pair itself, as places in the zone and class tables: two different pairs
// never share a key, whatever their texts hold.
struct PairKey {
  uint32_t zone = 0;
  uint32_t class_ = 0;
  friend bool operator==(PairKey, PairKey) = default;
};
struct PairKeyHash {
  size_t operator()(PairKey key) const {
    return std::hash<uint64_t>{}((uint64_t{key.zone} << 32) | key.class_);
  }
};

struct SummaryTables {
  OrderedTable zones;    // rows of the block, top to bottom
  OrderedTable classes;  // columns of the block, left to right
  // Area sums by pair (land-use, master plan); a pair absent here had no readable area.
  std::unordered_map<PairKey, double, PairKeyHash> areas;
  // Area sums by zone place (zone totals); nullopt where no row of the zone had a readable area.
  std::vector<std::optional<double>> zone_totals;
};

// One row of the land-use or master-plan pass: registers the class key, then the zone, then adds
// the area under the pair. A zone that could not be read (nullopt) registers nothing and adds
// nothing; an area that could not be read adds nothing.
void AccumulateRow(SummaryTables& tables, std::optional<std::string_view> zone,
                   std::string_view class_key, std::optional<double> area);

// The area added under the pair of the two places.
void AddPairArea(SummaryTables& tables, size_t zone_place, size_t class_place, double area);

// One row of the zone-totals pass: registers the zone, then adds the area under it.
void AccumulateZoneTotal(SummaryTables& tables, std::optional<std::string_view> zone,
                         std::optional<double> area);

// How far below its base row a table's header row stands: the ten rows after the data stay
// empty (the cross-tab puts its class titles in the tenth).
inline constexpr int64_t kHeaderRowOffset = 11;

enum class SummaryLayout {
  kByClass,     // zones down column 1, class keys across the header row, a sum at each crossing
  kZoneTotals,  // zones down column 1, each zone's total area in column 2, no header
};

// The table of a summary task, its header row first. With no zone it has no rows at all.
// kByClass: the class keys across the header row from column 2, then one row per zone with its
// sum for every class, the whole number 0 where no row had the pair. kZoneTotals: an empty header
// row, then one row per zone with its total in column 2, written empty where it has none. The
// format converts and rounds the areas and adds the 合计 row (and, in kByClass, the 合计 column).
TableShape SummaryShape(const SummaryTables& tables, SummaryLayout layout,
                        const AreaFormat& format = {});
ResultTable SummaryTable(std::string name, const SummaryTables& tables, SummaryLayout layout,
                         const AreaFormat& format = {});

}  // namespace quilmark
