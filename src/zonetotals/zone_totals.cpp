#include "src/zonetotals/zone_totals.h"

namespace quilmark {

void ZoneTotalsTask::AddRow(const PatchRow& row) {
  // An unreadable zone adds nothing; an unreadable area still registers the zone.
  AccumulateZoneTotal(tables_, row.zone, row.area);
}

}  // namespace quilmark
