#include "src/summary/summary_tables.h"

namespace quilmark {

void AccumulateRow(SummaryTables& tables, std::optional<std::string_view> zone,
                   std::string_view class_key, std::optional<double> area) {
  const size_t class_place = tables.classes.Add(class_key);
  if (!zone) return;
  const size_t zone_place = tables.zones.Add(*zone);
  if (area) AddPairArea(tables, zone_place, class_place, *area);
}

void AddPairArea(SummaryTables& tables, size_t zone_place, size_t class_place, double area) {
  const PairKey key{static_cast<uint32_t>(zone_place), static_cast<uint32_t>(class_place)};
  auto [it, inserted] = tables.areas.try_emplace(key, area);
  if (!inserted) it->second += area;
}

void AccumulateZoneTotal(SummaryTables& tables, std::optional<std::string_view> zone,
                         std::optional<double> area) {
  if (!zone) return;
  const size_t zone_place = tables.zones.Add(*zone);
  if (tables.zone_totals.size() <= zone_place) tables.zone_totals.resize(zone_place + 1);
  if (!area) return;
  std::optional<double>& total = tables.zone_totals[zone_place];
  total = total ? *total + *area : *area;
}

TableShape SummaryShape(const SummaryTables& tables, SummaryLayout layout,
                        const AreaFormat& format) {
  const auto zones = static_cast<int64_t>(tables.zones.Count());
  if (zones == 0) return {kHeaderRowOffset, 0, 0};  // no zone: not even the header row
  const int64_t totals = format.totals ? 1 : 0;
  const int64_t columns = layout == SummaryLayout::kZoneTotals
                              ? 2
                              : static_cast<int64_t>(tables.classes.Count()) + 1 + totals;
  return {kHeaderRowOffset, zones + 1 + totals, columns};
}

ResultTable SummaryTable(std::string name, const SummaryTables& tables, SummaryLayout layout,
                         const AreaFormat& format) {
  const TableShape shape = SummaryShape(tables, layout);
  ResultTable table{std::move(name), kHeaderRowOffset, 1, {}};
  if (shape.rows == 0) return table;
  const auto width = static_cast<size_t>(shape.columns);
  table.cells.reserve(static_cast<size_t>(shape.rows));
  std::vector<CellValue>& header = table.cells.emplace_back(width);
  // The corner above the zones, empty otherwise.
  if (format.unit_named) header[0] = UnitLine(format.unit);
  if (layout == SummaryLayout::kByClass) {
    for (size_t j = 0; j < tables.classes.Count(); ++j) header[j + 1] = tables.classes.KeyAt(j);
  }
  for (size_t i = 0; i < tables.zones.Count(); ++i) {
    std::vector<CellValue>& row = table.cells.emplace_back(width);
    row[0] = tables.zones.KeyAt(i);
    if (layout == SummaryLayout::kZoneTotals) {
      const std::optional<double> total =
          i < tables.zone_totals.size() ? tables.zone_totals[i] : std::nullopt;
      // A zone none of whose rows gave an area shows an empty cell.
      row[1] = total ? CellValue(*total) : CellValue(std::string());
      continue;
    }
    for (size_t j = 0; j < tables.classes.Count(); ++j) {
      auto it = tables.areas.find({static_cast<uint32_t>(i), static_cast<uint32_t>(j)});
      row[j + 1] = it != tables.areas.end() ? it->second : 0.0;
    }
  }
  FormatAreaGrid(table.cells, 1, format, layout == SummaryLayout::kByClass);
  table.decimals = format.decimals;
  return table;
}

}  // namespace quilmark
