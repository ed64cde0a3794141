// The survey tables as print-ready ResultTables, built from the rounded figures: header rows in
// the standard's layout, one row per unit (or, for ownership and 城镇村, a few rows per unit),
// 合计 first and each township's 小计 above its villages.
#pragma once

#include <vector>

#include "src/report/report_figures.h"
#include "src/report/report_kinds.h"
#include "src/report/unit_rows.h"
#include "src/summary/result_table.h"

namespace quilmark {

// The lines an office fills in and signs: 填报单位 above the table, 单位负责人, 填表人 and 填表日期
// below it; one left empty stands as a blank to write on.
struct SignOff {
  std::string unit, head, preparer, date;
};

ResultTable BuildReportTable(ReportKind kind, const ReportFigures& figures,
                             const std::vector<UnitRow>& rows, const SignOff& sign_off = {});

// The 田坎 (1203) total of the figures, in 公顷.
double TerraceTotal(const ReportFigures& figures);

}  // namespace quilmark
