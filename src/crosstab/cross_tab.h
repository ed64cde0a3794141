// The count-and-area cross-tab: for every zone and every class of column 2, the number of rows
// and their total area, zones down and a count-and-area column pair per class across.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "src/summary/pass_context.h"
#include "src/summary/result_block.h"
#include "src/summary/summary_tables.h"

namespace quilmark {

// The cross-tab always takes its classes from this column, whatever the class column is.
inline constexpr int32_t kCrossTabClassColumn = 2;

struct CrossTabTables {
  OrderedTable zones;
  OrderedTable classes;
  std::unordered_map<PairKey, int64_t, PairKeyHash> counts;
  std::unordered_map<PairKey, double, PairKeyHash> areas;
  // By zone place: the rows counted for the zone, and their readable areas summed in row order
  // (nullopt where none of them had one). Both always as long as `zones`.
  std::vector<int64_t> zone_counts;
  std::vector<std::optional<double>> zone_areas;
};

// Counts and sums every row by its (zone, class) pair.
void CountAreaPass(PassContext& context, CrossTabTables& tables);

// The cross-tab's block: class titles in base_row + 10, headers in base_row + 11, one row per
// zone below.
std::unique_ptr<ResultBlock> BuildCrossTab(PassContext& context);

}  // namespace quilmark
