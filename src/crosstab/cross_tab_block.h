// The cross-tab's table: class titles in its first row, the fixed headers and each class's
// "宗数"/"面积" pair in the second (the header row), one row per zone below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "src/crosstab/cross_tab.h"
#include "src/summary/result_table.h"

namespace quilmark {

// Fixed texts of the header row (the zone header, kZoneHeader, is in cross_tab.h).
inline constexpr std::string_view kTotalCountHeader = "总宗数";
inline constexpr std::string_view kTotalAreaHeader = "总面积";
inline constexpr std::string_view kCountHeader = "宗数";
inline constexpr std::string_view kAreaHeader = "面积";

// The column holding class `place`'s count (0-based place); its area is the column after it.
inline int64_t CrossTabCountColumn(size_t place) { return 2 * static_cast<int64_t>(place) + 4; }

// The title row and the header row, then one row per zone, and with format.totals a 合计 row.
// With no zone: columns 1 to 3, and only the three fixed headers. Else as wide as the last
// class's area column.
TableShape CrossTabShape(const CrossTabTables& tables, const AreaFormat& format = {});

// A count or area cell holds a value only for a pair some row had (an area only when one of its
// areas could be read); likewise each zone's total count in column 2 and total area in column 3.
// Counts are numbers holding whole values. The format converts and rounds the areas (总面积 and
// every 面积) as one zone x class matrix (RoundMatrix), so that with decimals a zone's class areas
// sum to its 总面积 and the zones' 总面积 to the grand total; with totals a 合计 row follows, the
// counts summed and each area column's written figures summed. 总宗数 and 总面积 already are each
// zone's totals, so no 合计 column is added. The default format leaves the table as the sums come.
// The zone header heads column 1 of the header row.
ResultTable CrossTabTable(const CrossTabTables& tables, const AreaFormat& format = {},
                          std::string_view zone_header = kZoneHeader);

}  // namespace quilmark
