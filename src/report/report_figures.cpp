#include "src/report/report_figures.h"

#include "src/report/patch_attributes.h"
#include "src/report/report_columns.h"
#include "src/report/split_round.h"
#include "src/summary/area_format.h"

namespace quilmark {
namespace {

// Each figure's parts, rounded to add up to it; `parts` reads a column's exact parts.
template <typename Parts>
SplitFigures Split(const std::vector<std::vector<double>>& figures,
                   const std::vector<std::vector<ColumnSums>>& sums, Parts parts) {
  SplitFigures split(sums.size());
  for (size_t u = 0; u < sums.size(); ++u) {
    for (size_t c = 0; c < sums[u].size(); ++c) {
      std::vector<double> exact;
      for (double area : parts(sums[u][c])) exact.push_back(ConvertArea(area, AreaUnit::kHectare));
      split[u].push_back(SplitRounded(figures[u][c], exact, kReportDecimals));
    }
  }
  return split;
}

double Hectares(double square_metres) { return ConvertArea(square_metres, AreaUnit::kHectare); }

}  // namespace

ReportFigures ComputeFigures(const std::vector<std::vector<ColumnSums>>& sums) {
  const ClassColumns& classes = Survey3Columns();
  ReportFigures figures;
  std::vector<std::vector<double>> exact;
  for (const std::vector<ColumnSums>& unit : sums) {
    exact.emplace_back();
    double unknown_major = 0, unknown_ownership = 0, unknown_slope = 0;
    for (size_t c = 0; c < unit.size(); ++c) {
      exact.back().push_back(Hectares(unit[c].area));
      unknown_major += unit[c].major[kUnknownMajor];
      unknown_ownership += unit[c].ownership[static_cast<size_t>(Ownership::kUnknown)];
      const bool cultivated =
          c < classes.level2.size() && classes.level2[c].level1 == classes.cultivated;
      if (cultivated) unknown_slope += unit[c].slope[kSlopeUnknown];
    }
    figures.unknown_class.push_back(Hectares(unit.back().area));
    figures.unknown_major.push_back(Hectares(unknown_major));
    figures.unknown_ownership.push_back(Hectares(unknown_ownership));
    figures.unknown_slope.push_back(Hectares(unknown_slope));
  }
  figures.level2 = RoundMatrix(exact, kReportDecimals).cells;
  figures.major = Split(figures.level2, sums, [](const ColumnSums& s) { return s.major; });
  figures.ownership = Split(figures.level2, sums, [](const ColumnSums& s) { return s.ownership; });
  figures.urban = Split(figures.level2, sums, [](const ColumnSums& s) { return s.urban; });
  figures.slope = Split(figures.level2, sums, [](const ColumnSums& s) { return s.slope; });
  return figures;
}

}  // namespace quilmark
