#include "src/report/report_task.h"

#include "src/report/report_charts.h"
#include "src/report/report_checks.h"
#include "src/report/report_tables.h"
#include "src/report/unit_rows.h"

namespace quilmark {

ReportTask::ReportTask(ReportSettings settings)
    : settings_(std::move(settings)), sums_(settings_.level, settings_.fields) {}

const ReportFigures& ReportTask::Figures() const {
  if (!figures_) figures_ = ComputeFigures(sums_.sums());
  return *figures_;
}

std::vector<ResultTable> ReportTask::Tables() const {
  const std::vector<UnitRow> rows =
      UnitRows(sums_.units(), sums_.unit_names(), settings_.level, settings_.zone_names);
  std::vector<ResultTable> tables;
  for (ReportKind kind : settings_.kinds) tables.push_back(BuildReportTable(kind, Figures(), rows));
  tables.push_back(ChartDataTable(Figures(), rows));
  return tables;
}

std::vector<TableShape> ReportTask::Shapes() const {
  std::vector<TableShape> shapes;
  for (const ResultTable& table : Tables()) shapes.push_back(table.Shape());
  return shapes;
}

std::optional<std::string> ReportTask::Refusal() const {
  return CheckReports(settings_.kinds, Figures(), sums_.units(), sums_.unknown_codes());
}

}  // namespace quilmark
