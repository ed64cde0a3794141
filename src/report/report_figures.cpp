#include "src/report/report_figures.h"

#include "src/report/patch_attributes.h"
#include "src/report/report_columns.h"
#include "src/report/split_round.h"
#include "src/summary/area_format.h"

namespace quilmark {
namespace {

SplitFigures Zeros(size_t units, size_t columns, size_t kinds) {
  return SplitFigures(units, std::vector<std::vector<double>>(columns, std::vector<double>(kinds)));
}

// Each figure's parts, rounded to add up to it.
void Split(const std::vector<std::vector<double>>& figures, SplitFigures& parts) {
  for (size_t u = 0; u < parts.size(); ++u) {
    for (size_t c = 0; c < parts[u].size(); ++c) {
      parts[u][c] = SplitRounded(figures[u][c], parts[u][c], kReportDecimals);
    }
  }
}

}  // namespace

ReportFigures ComputeFigures(const std::vector<ReportPart>& parts, size_t units) {
  const ClassColumns& classes = Survey3Columns();
  const size_t columns = classes.level2.size() + 1;  // the unknown codes last
  ReportFigures figures;
  std::vector<std::vector<double>> exact(units, std::vector<double>(columns));
  figures.major = Zeros(units, columns, classes.major.size() + 1);
  figures.ownership = Zeros(units, columns, kOwnershipKinds);
  figures.urban = Zeros(units, columns, kUrbanKinds);
  figures.slope = Zeros(units, columns, kSlopeParts);
  figures.unknown_class.assign(units, 0);
  figures.unknown_major.assign(units, 0);
  figures.unknown_ownership.assign(units, 0);
  figures.unknown_slope.assign(units, 0);
  for (const ReportPart& part : parts) {
    const double area = ConvertArea(part.area, AreaUnit::kHectare);
    const size_t c = part.column == kUnknownColumn ? columns - 1 : part.column;
    const size_t u = part.unit;
    exact[u][c] += area;
    figures.major[u][c][part.major] += area;
    figures.ownership[u][c][part.ownership] += area;
    figures.urban[u][c][part.urban] += area;
    figures.slope[u][c][part.slope] += area;
    if (c == columns - 1) figures.unknown_class[u] += area;
    if (part.major == kUnknownMajor) figures.unknown_major[u] += area;
    if (part.ownership == static_cast<uint8_t>(Ownership::kUnknown)) {
      figures.unknown_ownership[u] += area;
    }
    const bool cultivated =
        c < classes.level2.size() && classes.level2[c].level1 == classes.cultivated;
    if (cultivated && part.slope == kSlopeUnknown) figures.unknown_slope[u] += area;
  }
  figures.level2 = RoundMatrix(exact, kReportDecimals).cells;
  Split(figures.level2, figures.major);
  Split(figures.level2, figures.ownership);
  Split(figures.level2, figures.urban);
  Split(figures.level2, figures.slope);
  return figures;
}

}  // namespace quilmark
