#include "src/crosstab/cross_tab_block.h"

#include <optional>
#include <string>
#include <vector>

#include "src/summary/summary_tables.h"

namespace quilmark {
namespace {

// The class titles stand one row above the header row.
constexpr int64_t kTitleRowOffset = kHeaderRowOffset - 1;

CellValue Text(std::string_view text) { return CellValue(std::string(text)); }

}  // namespace

TableShape CrossTabShape(const CrossTabTables& tables) {
  const auto zones = static_cast<int64_t>(tables.zones.Count());
  // Class titles and their sub-headers belong to a table with rows under them: with no zone the
  // table is the three headers alone.
  const int64_t columns = zones == 0 ? 3 : CrossTabCountColumn(tables.classes.Count()) - 1;
  return {kTitleRowOffset, zones + 2, columns};
}

ResultTable CrossTabTable(const CrossTabTables& tables) {
  const TableShape shape = CrossTabShape(tables);
  const auto width = static_cast<size_t>(shape.columns);
  ResultTable table{std::string(kCrossTabTitle), kTitleRowOffset, 2, {}};
  table.cells.reserve(static_cast<size_t>(shape.rows));
  std::vector<CellValue>& titles = table.cells.emplace_back(width);
  std::vector<CellValue>& headers = table.cells.emplace_back(width);
  headers[0] = Text(kZoneHeader);
  headers[1] = Text(kTotalCountHeader);
  headers[2] = Text(kTotalAreaHeader);
  if (tables.zones.Count() == 0) return table;

  for (size_t j = 0; j < tables.classes.Count(); ++j) {
    const auto column = static_cast<size_t>(CrossTabCountColumn(j)) - 1;
    titles[column] = tables.classes.KeyAt(j);
    headers[column] = Text(kCountHeader);
    headers[column + 1] = Text(kAreaHeader);
  }
  for (size_t i = 0; i < tables.zones.Count(); ++i) {
    std::vector<CellValue>& row = table.cells.emplace_back(width);
    row[0] = tables.zones.KeyAt(i);
    // Like a pair's cells, the totals stay unwritten when the zone has no counted row or no
    // readable area.
    if (i < tables.zone_counts.size() && tables.zone_counts[i] > 0) {
      row[1] = static_cast<double>(tables.zone_counts[i]);
    }
    if (i < tables.zone_areas.size() && tables.zone_areas[i]) row[2] = *tables.zone_areas[i];
    for (size_t j = 0; j < tables.classes.Count(); ++j) {
      const PairKey key{static_cast<uint32_t>(i), static_cast<uint32_t>(j)};
      const auto column = static_cast<size_t>(CrossTabCountColumn(j)) - 1;
      if (auto count = tables.counts.find(key); count != tables.counts.end()) {
        row[column] = static_cast<double>(count->second);
      }
      if (auto area = tables.areas.find(key); area != tables.areas.end()) {
        row[column + 1] = area->second;
      }
    }
  }
  return table;
}

}  // namespace quilmark
