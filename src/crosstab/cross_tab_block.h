// The block the cross-tab writes below the data: class titles one row above the header row,
// the fixed headers and each class's "宗数"/"面积" pair in the header row, one row per zone below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

#include "src/crosstab/cross_tab.h"
#include "src/host/sheet_host.h"
#include "src/summary/result_block.h"

namespace quilmark {

// Fixed texts of the header row.
inline constexpr std::string_view kZoneHeader = "镇区名称";
inline constexpr std::string_view kTotalCountHeader = "总宗数";
inline constexpr std::string_view kTotalAreaHeader = "总面积";
inline constexpr std::string_view kCountHeader = "宗数";
inline constexpr std::string_view kAreaHeader = "面积";

// The column holding class `place`'s count (0-based place); its area is the column after it.
inline int64_t CrossTabCountColumn(size_t place) { return 2 * static_cast<int64_t>(place) + 4; }

class CrossTabBlock : public ResultBlock {
 public:
  explicit CrossTabBlock(CrossTabTables tables) : tables_(std::move(tables)) {}
  // The header row and one row per zone: the three fixed headers are there even with no zone.
  int64_t EndRow(int64_t base_row) const override;
  // Column 3 with no zone; else the area column of the last class.
  int64_t LastColumn() const override;
  void Write(Worksheet& sheet, int32_t base_row) const override;
  const CrossTabTables& tables() const { return tables_; }

 private:
  CrossTabTables tables_;
};

// Writes the block with its header row at HeaderRow(base_row). With no zone only the three fixed
// headers are written. A count or area cell is written only for a pair some row had (an area
// only when one of its areas could be read); likewise each zone's total count in column 2 and
// total area in column 3. Counts are written as numbers holding whole values. A write that fails
// is skipped.
void WriteCrossTabBlock(Worksheet& sheet, int32_t base_row, const CrossTabTables& tables);

}  // namespace quilmark
