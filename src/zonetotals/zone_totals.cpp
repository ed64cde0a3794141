#include "src/zonetotals/zone_totals.h"

#include <cstdint>

namespace quilmark {

void SumZoneTotals(PassContext& context, SummaryTables& tables) {
  const int32_t last_row = context.last_row;  // fixed when the pass starts
  for (int32_t row = 1; row <= last_row; ++row) {
    // An unreadable zone adds nothing; an unreadable area still registers the zone.
    AccumulateZoneTotal(tables, context.Text(row, context.columns.zone),
                        context.Number(row, context.columns.area));
  }
}

}  // namespace quilmark
