// The figures the report's charts draw, as a small table of their own ("图表数据") with two charts:
// the 三大类 structure of the whole layer (a pie) and the level-1 areas of each unit directly
// under the 合计 (the townships at village level; a stacked column each).
#pragma once

#include <vector>

#include "src/report/report_figures.h"
#include "src/report/unit_rows.h"
#include "src/summary/result_table.h"

namespace quilmark {

ResultTable ChartDataTable(const ReportFigures& figures, const std::vector<UnitRow>& rows);

}  // namespace quilmark
