#include "src/report/report_charts.h"

#include <cmath>

#include "src/report/report_columns.h"

namespace quilmark {
namespace {

double Rounded(double x) { return std::round(x * 100) / 100; }

// The rows directly under 合计: the 小计 rows where there are any, else the units.
std::vector<const UnitRow*> TopRows(const std::vector<UnitRow>& rows) {
  std::vector<const UnitRow*> top;
  for (const UnitRow& row : rows) {
    if (row.role == RowRole::kSubtotal) top.push_back(&row);
  }
  if (!top.empty()) return top;
  for (const UnitRow& row : rows) {
    if (row.role == RowRole::kUnit) top.push_back(&row);
  }
  return top;
}

}  // namespace

ResultTable ChartDataTable(const ReportFigures& figures, const std::vector<UnitRow>& rows) {
  const ClassColumns& classes = Survey3Columns();
  ResultTable table;
  table.name = "图表数据";
  table.header_rows = 1;
  const size_t width = classes.level1.size() + 1;
  const auto row = [width](std::vector<CellValue> cells) {
    cells.resize(width);
    return cells;
  };
  table.cells.push_back(row({std::string("三大类"), std::string("面积")}));
  for (size_t m = 0; m < classes.major.size(); ++m) {
    double area = 0;
    for (const auto& column : figures.major[0]) area += column[m];  // the 合计 row's
    table.cells.push_back(row({classes.major[m], Rounded(area)}));
  }
  table.cells.push_back(row({}));
  std::vector<CellValue> titles = {std::string("行政区域")};
  for (const Level1Class& c : classes.level1) titles.emplace_back(ColumnTitle(c.name, c.code));
  table.cells.push_back(titles);
  for (const UnitRow* unit : TopRows(rows)) {
    const std::vector<double>& sums = figures.level1[unit->node];
    // A township is named without its 小计.
    std::string name = unit->name;
    if (unit->role == RowRole::kSubtotal && name.ends_with("小计")) {
      name.resize(name.size() - std::string_view("小计").size());
    }
    std::vector<CellValue> cells = {name.empty() ? unit->code : name};
    for (double sum : sums) cells.emplace_back(Rounded(sum));
    table.cells.push_back(cells);
  }
  const auto last = static_cast<int64_t>(table.cells.size()) - 1;
  table.chart_data = true;
  table.charts = {
      {ChartSpec::Kind::kPie, "三大类面积构成", 0, 1, 3, 0, 1, 1},
      {ChartSpec::Kind::kStackedColumn, "各行政区一级分类面积", 5, 6, last, 0, 1,
       static_cast<int64_t>(classes.level1.size())},
  };
  return table;
}

}  // namespace quilmark
