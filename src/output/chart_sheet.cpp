#include "src/output/chart_sheet.h"

#include "src/output/new_workbook.h"

namespace quilmark {

std::string AddChartSheet(lxw_workbook* book, const std::string& sheet_name, lxw_row_t top_row,
                          const ChartSpec& spec) {
  const std::string name = SheetNameFor(spec.title);
  lxw_chartsheet* chartsheet = workbook_add_chartsheet(book, name.c_str());
  const bool pie = spec.kind == ChartSpec::Kind::kPie;
  lxw_chart* chart = workbook_add_chart(book, pie ? LXW_CHART_PIE : LXW_CHART_COLUMN_STACKED);
  if (chartsheet == nullptr || chart == nullptr) return "无法建立图表 " + name;
  chart_title_set_name(chart, spec.title.c_str());
  const auto row = [top_row](int64_t r) { return static_cast<lxw_row_t>(top_row + r); };
  const auto column = [](int64_t c) { return static_cast<lxw_col_t>(c); };
  for (int64_t c = spec.first_series_column; c <= spec.last_series_column; ++c) {
    lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
    chart_series_set_categories(series, sheet_name.c_str(), row(spec.first_row),
                                column(spec.category_column), row(spec.last_row),
                                column(spec.category_column));
    chart_series_set_values(series, sheet_name.c_str(), row(spec.first_row), column(c),
                            row(spec.last_row), column(c));
    chart_series_set_name_range(series, sheet_name.c_str(), row(spec.name_row), column(c));
    if (pie) {
      chart_series_set_labels(series);
      chart_series_set_labels_percentage(series);
    }
  }
  if (!pie) chart_axis_set_name(chart->y_axis, "公顷");
  chart_legend_set_position(chart, pie ? LXW_CHART_LEGEND_RIGHT : LXW_CHART_LEGEND_BOTTOM);
  chartsheet_set_landscape(chartsheet);
  chartsheet_set_paper(chartsheet, 8);  // A3, as the tables
  return chartsheet_set_chart(chartsheet, chart) == LXW_NO_ERROR ? std::string()
                                                                 : "无法建立图表 " + name;
}

}  // namespace quilmark
