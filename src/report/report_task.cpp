#include "src/report/report_task.h"

#include "src/report/report_charts.h"
#include "src/report/report_checks.h"
#include "src/report/report_tables.h"
#include "src/report/unit_rows.h"

namespace quilmark {

ReportTask::ReportTask(ReportSettings settings)
    // Summed by village whatever the level asked, so that a township's or county's figures are
    // rounded from the same cells, and come out the same, at every level.
    : settings_(std::move(settings)), sums_(UnitLevel::kVillage, settings_.fields) {}

const ReportFigures& ReportTask::Figures() const {
  if (!figures_) figures_ = ComputeFigures(sums_.units(), sums_.sums());
  return *figures_;
}

std::vector<UnitRow> ReportTask::Rows() const {
  const ReportFigures& figures = Figures();
  std::vector<std::string> layer_names(figures.rows.size());
  for (size_t u = 0; u < sums_.units().size(); ++u) {
    layer_names[figures.leaf_node[u]] = sums_.unit_names()[u];
  }
  return UnitRows(figures.rows, figures.node_codes, layer_names, settings_.level,
                  settings_.zone_names);
}

std::vector<ResultTable> ReportTask::Tables() const {
  const std::vector<UnitRow> rows = Rows();
  std::vector<ResultTable> tables;
  for (ReportKind kind : settings_.kinds) tables.push_back(BuildReportTable(kind, Figures(), rows, settings_.sign_off));
  tables.push_back(ChartDataTable(Figures(), rows));
  return tables;
}

std::vector<TableShape> ReportTask::Shapes() const {
  std::vector<TableShape> shapes;
  for (const ResultTable& table : Tables()) shapes.push_back(table.Shape());
  return shapes;
}

std::vector<std::string> ReportTask::Notices() const {
  const std::vector<std::string> unnamed = UnnamedUnits(Rows());
  if (unnamed.empty()) return {};
  std::string list;
  for (const std::string& code : unnamed) list += (list.empty() ? "" : "、") + code;
  return {"统计报表中行政区 " + list +
          " 没有名称 (--zone-names 的名称表中没有这些代码), 名称一栏将空着; " +
          "如需名称, 请把它们加入名称表后重新统计。"};
}

std::optional<std::string> ReportTask::Refusal() const {
  return CheckReports(settings_.kinds, Figures(), sums_.units(), sums_.unknown_codes());
}

}  // namespace quilmark
