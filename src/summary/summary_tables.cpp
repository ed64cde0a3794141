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

std::vector<std::vector<CellValue>> SummaryGrid(const SummaryTables& tables,
                                                SummaryLayout layout) {
  std::vector<std::vector<CellValue>> cells;
  const size_t zones = tables.zones.Count();
  if (zones == 0) return cells;  // no zone: not even the header row
  const size_t classes = tables.classes.Count();
  if (layout == SummaryLayout::kByClass) {
    std::vector<CellValue> header{CellValue()};
    for (size_t j = 0; j < classes; ++j) header.emplace_back(tables.classes.KeyAt(j));
    cells.push_back(std::move(header));
  }
  for (size_t i = 0; i < zones; ++i) {
    std::vector<CellValue> row{tables.zones.KeyAt(i)};
    if (layout == SummaryLayout::kZoneTotals) {
      const std::optional<double> total =
          i < tables.zone_totals.size() ? tables.zone_totals[i] : std::nullopt;
      // A zone none of whose rows gave an area shows an empty cell.
      row.push_back(total ? CellValue(*total) : CellValue(std::string()));
    } else {
      for (size_t j = 0; j < classes; ++j) {
        auto it = tables.areas.find({static_cast<uint32_t>(i), static_cast<uint32_t>(j)});
        row.emplace_back(it != tables.areas.end() ? it->second : 0.0);
      }
    }
    cells.push_back(std::move(row));
  }
  return cells;
}

void WriteSummaryBlock(Worksheet& sheet, int32_t base_row, const SummaryTables& tables,
                       SummaryLayout layout, const AreaFormat& format) {
  std::vector<std::vector<CellValue>> cells = SummaryGrid(tables, layout);
  const size_t header_rows = layout == SummaryLayout::kByClass ? 1 : 0;
  FormatAreaGrid(cells, header_rows, format, layout == SummaryLayout::kByClass);
  // The zone-totals block has no header row: its first zone stands where a header would.
  const auto first_row = static_cast<int32_t>(HeaderRow(base_row)) + (header_rows == 0 ? 1 : 0);
  for (size_t i = 0; i < cells.size(); ++i) {
    for (size_t j = 0; j < cells[i].size(); ++j) {
      if (IsEmpty(cells[i][j])) continue;  // the header's corner: not written
      const CellValue& value = cells[i][j];
      const std::string* text = std::get_if<std::string>(&value);
      // The empty text stands for an empty cell (a zone without area).
      sheet.Write(first_row + static_cast<int32_t>(i), static_cast<int32_t>(j) + 1,
                  text != nullptr && text->empty() ? CellValue() : value);
    }
  }
}

int64_t SummaryBlock::EndRow(int64_t base_row) const {
  const size_t zones = tables_.zones.Count();
  if (zones == 0) return base_row;
  return HeaderRow(base_row) + static_cast<int64_t>(zones) + (format_.totals ? 1 : 0);
}

int64_t SummaryBlock::LastColumn() const {
  if (tables_.zones.Count() == 0) return 0;
  if (layout_ == SummaryLayout::kZoneTotals) return 2;
  return static_cast<int64_t>(tables_.classes.Count()) + 1 + (format_.totals ? 1 : 0);
}

void SummaryBlock::Write(Worksheet& sheet, int32_t base_row) const {
  WriteSummaryBlock(sheet, base_row, tables_, layout_, format_);
}

}  // namespace quilmark
