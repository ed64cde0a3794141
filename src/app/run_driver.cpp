#include "src/app/run_driver.h"

#include <memory>
#include <new>
#include <vector>

#include "src/app/columns.h"
#include "src/app/land_use_choice.h"
#include "src/crosstab/cross_tab.h"
#include "src/host/worksheet_rows.h"
#include "src/landuse/land_use.h"
#include "src/masterplan/master_plan.h"
#include "src/summary/area_check.h"
#include "src/summary/row_feed.h"
#include "src/summary/worksheet_target.h"
#include "src/zonetotals/zone_totals.h"

namespace quilmark {
namespace {

std::optional<PlanningMethod> ChosenPlanningMethod(const RunOptions& options) {
  if (options.IsAllZone) return PlanningMethod::IsAllZone;
  if (options.IsOldGH) return PlanningMethod::IsOldGH;
  if (options.IsNewGH) return PlanningMethod::IsNewGH;
  return std::nullopt;
}

// Everything the checks settle before the first pass.
struct Plan {
  std::optional<LandUseMethod> land_use;
  std::optional<PlanningMethod> master_plan;
  SheetColumns columns;
};

// The checks that may stop a run, in the order the user meets them: the methods first, then the
// column numbers that the chosen tasks read (zone and area always, class for land-use or master
// plan; the cross-tab reads its classes from a fixed column).
std::optional<StopReason> CheckPlan(const RunOptions& options, Plan& plan) {
  if (options.CheckTDLY) {
    plan.land_use = ChosenLandUseMethod(options);
    if (!plan.land_use) return StopReason::kNoLandUseMethod;
  }
  if (options.CheckZTGH) {
    plan.master_plan = ChosenPlanningMethod(options);
    if (!plan.master_plan) return StopReason::kNoMasterPlanMethod;
  }
  std::optional<int32_t> zone = SheetColumn(options.TextZQColumn);
  if (!zone) return StopReason::kBadZoneColumn;
  plan.columns.zone = *zone;
  if (options.CheckTDLY || options.CheckZTGH) {
    std::optional<int32_t> class_column = SheetColumn(options.TextDKStyleColumn);
    if (!class_column) return StopReason::kBadClassColumn;
    plan.columns.class_ = *class_column;
  }
  if (options.ChkNumArea) plan.columns.cross_class = kCrossTabClassColumn;
  std::optional<int32_t> area = SheetColumn(options.TextAreaColumn);
  if (!area) return StopReason::kBadAreaColumn;
  plan.columns.area = *area;
  return std::nullopt;
}

// The selected tasks in their fixed order.
std::vector<std::unique_ptr<RowTask>> ChosenTasks(const RunOptions& options, const Plan& plan) {
  std::vector<std::unique_ptr<RowTask>> tasks;
  if (plan.land_use) tasks.push_back(std::make_unique<LandUseTask>(*plan.land_use));
  if (plan.master_plan) tasks.push_back(std::make_unique<MasterPlanTask>(*plan.master_plan));
  if (options.CheckZQStat) tasks.push_back(std::make_unique<ZoneTotalsTask>());
  if (options.ChkNumArea) tasks.push_back(std::make_unique<CrossTabTask>());
  return tasks;
}

RunResult Stopped(MessageSink& sink, StopReason reason) {
  const std::string text(MessageText(reason));
  sink.Show(MessageKind::kStop, text);
  return {RunResult::Outcome::kStopped, reason, text, {}};
}

RunResult HostFailed(MessageSink& sink, std::string text) {
  sink.Show(MessageKind::kHostFailure, text);
  return {RunResult::Outcome::kHostFailure, std::nullopt, std::move(text), {}};
}

// One pass over the rows feeds every task; the tables go to the target once all of them are known
// to fit, so a run that stops has written nothing. The zone-code conversion rewrites a row's zone
// before the tasks see it.
std::optional<StopReason> Summarize(const RunOptions& options, const Plan& plan, RowSource& rows,
                                    ResultTarget& target, AreaCheck& area_check,
                                    MessageSink& sink) {
  std::vector<std::unique_ptr<RowTask>> tasks = ChosenTasks(options, plan);
  std::vector<RowSink*> sinks;
  for (const auto& task : tasks) sinks.push_back(task.get());
  sinks.push_back(&area_check);
  const bool convert = plan.land_use && options.CheckZQDM2MC;
  sink.Progress("汇总图斑");
  FeedRows(rows, convert ? &ConvertedZone : nullptr, sinks);

  std::vector<TableShape> shapes;
  for (const auto& task : tasks) shapes.push_back(task->Shape());
  if (!target.Fits(shapes)) return StopReason::kBlockOutsideSheet;
  std::vector<ResultTable> tables;
  for (const auto& task : tasks) tables.push_back(task->Table());
  sink.Progress("写入汇总结果");
  target.Write(tables);
  return std::nullopt;
}

// The warnings of a run that completed, in the order they are shown.
std::vector<std::string> AreaWarnings(const AreaCheck& check, const RowSource& rows,
                                      int32_t area_column) {
  std::vector<std::string> warnings;
  if (check.odd_count() > 0) {
    std::vector<std::string> first;
    for (const AreaCheck::OddCell& cell : check.first_odd()) {
      first.push_back(rows.RowLabel(cell.row) + " \"" + cell.text + "\" 计为 " +
                      NumberText(cell.counted));
    }
    warnings.push_back(OddAreasText(check.odd_count(), check.odd_area(), first));
  }
  if (check.NoNumber()) {
    warnings.push_back(NoAreaNumberText("第 " + std::to_string(area_column) + " 列"));
  }
  return warnings;
}

RunResult Run(const RunOptions& options, SpreadsheetHost& host, MessageSink& sink) {
  if (!host.Attach()) return Stopped(sink, StopReason::kNoApplication);
  sink.Progress("读取工作簿");
  Workbook* workbook = host.ActiveWorkbook();
  if (workbook == nullptr) return Stopped(sink, StopReason::kNoWorkbook);
  const std::string workbook_name = workbook->Name();
  Worksheet* sheet = workbook->ActiveSheet();
  if (sheet == nullptr) return Stopped(sink, StopReason::kNotWorksheet);
  sink.Show(MessageKind::kConfirmation, ConfirmationText(workbook_name, sheet->Name()));

  // The last row of the used range, not its row count: a used range that starts below row 1
  // still has every data row visited.
  const int32_t last_row = sheet->LastUsedRow();
  Plan plan;
  if (std::optional<StopReason> stop = CheckPlan(options, plan)) return Stopped(sink, *stop);

  WorksheetRows rows(*sheet, last_row, plan.columns);
  WorksheetTarget target(*sheet, last_row);
  AreaCheck area_check;
  if (std::optional<StopReason> stop = Summarize(options, plan, rows, target, area_check, sink)) {
    return Stopped(sink, *stop);
  }

  sink.Progress("保存工作簿");
  workbook->Save();
  sink.Show(MessageKind::kCompletion, kCompletionText);
  RunResult result{RunResult::Outcome::kCompleted, std::nullopt, std::string(kCompletionText), {}};
  result.warnings = AreaWarnings(area_check, rows, plan.columns.area);
  for (const std::string& warning : result.warnings) sink.Show(MessageKind::kWarning, warning);
  return result;
}

}  // namespace

RunResult RunSummary(const RunOptions& options, SpreadsheetHost& host, MessageSink& sink) {
  if (!options.CheckTDLY && !options.CheckZTGH && !options.CheckZQStat && !options.ChkNumArea) {
    return Stopped(sink, StopReason::kNoTask);  // the host is not contacted
  }
  // The one place where a failure of the host itself ends the run: a cell that cannot be read
  // or written is a value the passes skip, but a workbook that cannot be loaded or saved, or a
  // connection that is lost, stops the run without the completion message.
  try {
    return Run(options, host, sink);
  } catch (const HostError& error) {
    return HostFailed(sink, error.what());
  } catch (const std::bad_alloc&) {
    return HostFailed(sink, "内存不足, 统计未完成, 工作簿未保存。");
  }
}

}  // namespace quilmark
