// What a reviewing office checks between the survey tables before it accepts them: every area
// the tables leave unplaced is a contradiction between them (a table's 合计 short of the 国土调查
// 总面积 of the first table, 国有 and 集体 short of a unit's total, 耕地 by slope short of 耕地),
// and the 城镇村 rows may not exceed the classes they are part of.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "src/report/report_figures.h"
#include "src/report/report_kinds.h"

namespace quilmark {

// The first contradiction among the chosen tables, as a message naming the table, the unit (by
// code, in code order) and the difference in 公顷, and what in the layer causes it; nullopt
// when the tables agree.
std::optional<std::string> CheckReports(const std::vector<ReportKind>& kinds,
                                        const ReportFigures& figures,
                                        const std::vector<std::string>& unit_codes,
                                        const std::map<std::string, double>& unknown_codes);

}  // namespace quilmark
