#include "src/summary/summary_tables.h"

namespace quilmark {

void AccumulateRow(SummaryTables& tables, const std::optional<std::string>& zone,
                   const std::string& class_key, std::optional<double> area) {
  const size_t class_place = tables.classes.Add(class_key);
  if (!zone) return;
  const size_t zone_place = tables.zones.Add(*zone);
  if (!area) return;
  const PairKey key{static_cast<uint32_t>(zone_place), static_cast<uint32_t>(class_place)};
  auto [it, inserted] = tables.areas.try_emplace(key, *area);
  if (!inserted) it->second += *area;
}

void AccumulateZoneTotal(SummaryTables& tables, const std::optional<std::string>& zone,
                         std::optional<double> area) {
  if (!zone) return;
  const size_t zone_place = tables.zones.Add(*zone);
  if (tables.zone_totals.size() <= zone_place) tables.zone_totals.resize(zone_place + 1);
  if (!area) return;
  std::optional<double>& total = tables.zone_totals[zone_place];
  total = total ? *total + *area : *area;
}

void WriteSummaryBlock(Worksheet& sheet, int32_t base_row, const SummaryTables& tables,
                       SummaryLayout layout) {
  const size_t zones = tables.zones.Count();
  if (zones == 0) return;  // no zone: not even the header row
  const auto header_row = static_cast<int32_t>(HeaderRow(base_row));
  if (layout == SummaryLayout::kByClass) {
    for (size_t j = 0; j < tables.classes.Count(); ++j) {
      sheet.Write(header_row, static_cast<int32_t>(j) + 2, tables.classes.KeyAt(j));
    }
  }
  for (size_t i = 0; i < zones; ++i) {
    const int32_t row = header_row + static_cast<int32_t>(i) + 1;
    sheet.Write(row, 1, tables.zones.KeyAt(i));
    if (layout == SummaryLayout::kZoneTotals) {
      const std::optional<double> total =
          i < tables.zone_totals.size() ? tables.zone_totals[i] : std::nullopt;
      // A zone none of whose rows gave an area shows an empty cell.
      sheet.Write(row, 2, total ? CellValue(*total) : CellValue());
      continue;
    }
    for (size_t j = 0; j < tables.classes.Count(); ++j) {
      auto it = tables.areas.find({static_cast<uint32_t>(i), static_cast<uint32_t>(j)});
      sheet.Write(row, static_cast<int32_t>(j) + 2, it != tables.areas.end() ? it->second : 0.0);
    }
  }
}

int64_t SummaryBlock::EndRow(int64_t base_row) const {
  const size_t zones = tables_.zones.Count();
  return zones == 0 ? base_row : HeaderRow(base_row) + static_cast<int64_t>(zones);
}

int64_t SummaryBlock::LastColumn() const {
  if (tables_.zones.Count() == 0) return 0;
  if (layout_ == SummaryLayout::kZoneTotals) return 2;
  return static_cast<int64_t>(tables_.classes.Count()) + 1;
}

void SummaryBlock::Write(Worksheet& sheet, int32_t base_row) const {
  WriteSummaryBlock(sheet, base_row, tables_, layout_);
}

}  // namespace quilmark
