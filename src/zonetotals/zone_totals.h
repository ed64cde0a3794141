// The zone-totals task: total area per zone, without classes.
#pragma once

#include "src/summary/pass_context.h"
#include "src/summary/summary_tables.h"

namespace quilmark {

// For every row: AccumulateZoneTotal with its zone text and area.
void SumZoneTotals(PassContext& context, SummaryTables& tables);

}  // namespace quilmark
