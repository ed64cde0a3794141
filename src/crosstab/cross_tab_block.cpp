#include "src/crosstab/cross_tab_block.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "src/summary/summary_tables.h"

namespace quilmark {
namespace {

// The class titles stand one row above the header row.
constexpr int64_t kTitleRowOffset = kHeaderRowOffset - 1;

// Where each zone's 总宗数 and 总面积 stand (0-based).
constexpr size_t kZoneCountColumn = 1;
constexpr size_t kZoneAreaColumn = 2;

CellValue Text(std::string_view text) { return CellValue(std::string(text)); }

// The column of class `place`'s area.
size_t AreaColumn(size_t place) { return static_cast<size_t>(CrossTabCountColumn(place)); }

// Converts and rounds the zones' areas as one matrix (RoundMatrix), so that with decimals a
// zone's class areas sum to its 总面积 and the zones' 总面积 to the grand total; without
// decimals 总面积 stays its rows' areas added in row order, converted. Counts stay as they are.
// With totals a 合计 row follows: the counts summed, the areas the sums of the written column.
void FormatAreas(ResultTable& table, size_t classes, const AreaFormat& format) {
  const auto first = static_cast<size_t>(table.header_rows);
  std::vector<std::vector<double>> areas;
  for (size_t i = first; i < table.cells.size(); ++i) {
    std::vector<double>& row = areas.emplace_back();
    for (size_t j = 0; j < classes; ++j) {
      const double* area = std::get_if<double>(&table.cells[i][AreaColumn(j)]);
      row.push_back(area != nullptr ? ConvertArea(*area, format.unit) : 0.0);
    }
  }
  const RoundedMatrix rounded = RoundMatrix(areas, format.decimals);
  double plain_total = 0;
  for (size_t i = first; i < table.cells.size(); ++i) {
    std::vector<CellValue>& row = table.cells[i];
    // An area left unwritten (none could be read) stays so; it counted as 0.
    for (size_t j = 0; j < classes; ++j) {
      if (std::holds_alternative<double>(row[AreaColumn(j)])) {
        row[AreaColumn(j)] = rounded.cells[i - first][j];
      }
    }
    if (const double* total = std::get_if<double>(&row[kZoneAreaColumn])) {
      row[kZoneAreaColumn] =
          format.decimals ? rounded.row_totals[i - first] : ConvertArea(*total, format.unit);
      plain_total += std::get<double>(row[kZoneAreaColumn]);
    }
  }
  if (!format.totals) return;
  std::vector<CellValue> total_row(table.cells[first].size());
  total_row[0] = Text(kTotalTitle);
  total_row[kZoneAreaColumn] = format.decimals ? rounded.grand_total : plain_total;
  for (size_t j = 0; j < classes; ++j) total_row[AreaColumn(j)] = rounded.column_totals[j];
  // Counts: 总宗数 and each class's 宗数.
  std::vector<size_t> count_columns{kZoneCountColumn};
  for (size_t j = 0; j < classes; ++j) count_columns.push_back(AreaColumn(j) - 1);
  for (size_t column : count_columns) {
    double sum = 0;
    for (size_t i = first; i < table.cells.size(); ++i) {
      if (const double* count = std::get_if<double>(&table.cells[i][column])) sum += *count;
    }
    total_row[column] = sum;
  }
  table.cells.push_back(std::move(total_row));
}

}  // namespace

TableShape CrossTabShape(const CrossTabTables& tables, const AreaFormat& format) {
  const auto zones = static_cast<int64_t>(tables.zones.Count());
  // Class titles and their sub-headers belong to a table with rows under them: with no zone the
  // table is the three headers alone.
  const int64_t columns = zones == 0 ? 3 : CrossTabCountColumn(tables.classes.Count()) - 1;
  const int64_t totals = zones > 0 && format.totals ? 1 : 0;
  return {kTitleRowOffset, zones + 2 + totals, columns};
}

ResultTable CrossTabTable(const CrossTabTables& tables, const AreaFormat& format,
                          std::string_view zone_header) {
  const TableShape shape = CrossTabShape(tables, format);
  const auto width = static_cast<size_t>(shape.columns);
  ResultTable table{std::string(kCrossTabTitle), kTitleRowOffset, 2, {}};
  table.cells.reserve(static_cast<size_t>(shape.rows));
  std::vector<CellValue>& titles = table.cells.emplace_back(width);
  std::vector<CellValue>& headers = table.cells.emplace_back(width);
  if (format.unit_named) titles[0] = UnitLine(format.unit);  // the corner, empty otherwise
  headers[0] = Text(zone_header);
  headers[1] = Text(kTotalCountHeader);
  headers[2] = Text(kTotalAreaHeader);
  table.count_columns.push_back(kZoneCountColumn);
  if (tables.zones.Count() == 0) return table;

  for (size_t j = 0; j < tables.classes.Count(); ++j) {
    const auto column = static_cast<size_t>(CrossTabCountColumn(j)) - 1;
    titles[column] = tables.classes.KeyAt(j);
    table.count_columns.push_back(column);
    headers[column] = Text(kCountHeader);
    headers[column + 1] = Text(kAreaHeader);
  }
  for (size_t i = 0; i < tables.zones.Count(); ++i) {
    std::vector<CellValue>& row = table.cells.emplace_back(width);
    row[0] = tables.zones.KeyAt(i);
    // Like a pair's cells, the totals stay unwritten when the zone has no counted row or no
    // readable area.
    if (i < tables.zone_counts.size() && tables.zone_counts[i] > 0) {
      row[kZoneCountColumn] = static_cast<double>(tables.zone_counts[i]);
    }
    if (i < tables.zone_areas.size() && tables.zone_areas[i]) {
      row[kZoneAreaColumn] = *tables.zone_areas[i];
    }
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
  if (format.unit != AreaUnit::kSquareMetre || format.decimals || format.totals) {
    FormatAreas(table, tables.classes.Count(), format);
  }
  table.decimals = format.decimals;
  return table;
}

}  // namespace quilmark
