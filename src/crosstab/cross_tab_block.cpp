#include "src/crosstab/cross_tab_block.h"

#include <optional>
#include <string>

#include "src/summary/summary_tables.h"

namespace quilmark {
namespace {

// The run checks that the block fits in the sheet before writing, so rows and columns of the
// block stay within 32 bits; a write the sheet refuses anyway is skipped.
void WriteCell(Worksheet& sheet, int64_t row, int64_t column, CellValue value) {
  sheet.Write(static_cast<int32_t>(row), static_cast<int32_t>(column), value);
}

void WriteText(Worksheet& sheet, int64_t row, int64_t column, std::string_view text) {
  WriteCell(sheet, row, column, std::string(text));
}

}  // namespace

int64_t CrossTabBlock::EndRow(int64_t base_row) const {
  return HeaderRow(base_row) + static_cast<int64_t>(tables_.zones.Count());
}

int64_t CrossTabBlock::LastColumn() const {
  if (tables_.zones.Count() == 0) return 3;
  return CrossTabCountColumn(tables_.classes.Count()) - 1;
}

void CrossTabBlock::Write(Worksheet& sheet, int32_t base_row) const {
  WriteCrossTabBlock(sheet, base_row, tables_);
}

void WriteCrossTabBlock(Worksheet& sheet, int32_t base_row, const CrossTabTables& tables) {
  const int64_t header_row = HeaderRow(base_row);
  WriteText(sheet, header_row, 1, kZoneHeader);
  WriteText(sheet, header_row, 2, kTotalCountHeader);
  WriteText(sheet, header_row, 3, kTotalAreaHeader);
  // Class titles and their sub-headers belong to a table with rows under them: with no zone the
  // block is the three headers alone.
  if (tables.zones.Count() == 0) return;

  for (size_t j = 0; j < tables.classes.Count(); ++j) {
    const int64_t column = CrossTabCountColumn(j);
    WriteText(sheet, header_row - 1, column, tables.classes.KeyAt(j));
    WriteText(sheet, header_row, column, kCountHeader);
    WriteText(sheet, header_row, column + 1, kAreaHeader);
  }

  for (size_t i = 0; i < tables.zones.Count(); ++i) {
    const int64_t row = header_row + 1 + static_cast<int64_t>(i);
    WriteText(sheet, row, 1, tables.zones.KeyAt(i));
    // The totals under "总宗数" and "总面积"; like a pair's cells, left unwritten when the zone
    // has no counted row or no readable area.
    if (i < tables.zone_counts.size() && tables.zone_counts[i] > 0) {
      WriteCell(sheet, row, 2, static_cast<double>(tables.zone_counts[i]));
    }
    if (i < tables.zone_areas.size() && tables.zone_areas[i]) {
      WriteCell(sheet, row, 3, *tables.zone_areas[i]);
    }
    for (size_t j = 0; j < tables.classes.Count(); ++j) {
      const PairKey key{static_cast<uint32_t>(i), static_cast<uint32_t>(j)};
      const int64_t column = CrossTabCountColumn(j);
      if (auto count = tables.counts.find(key); count != tables.counts.end()) {
        WriteCell(sheet, row, column, static_cast<double>(count->second));
      }
      if (auto area = tables.areas.find(key); area != tables.areas.end()) {
        WriteCell(sheet, row, column + 1, area->second);
      }
    }
  }
}

}  // namespace quilmark
