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

bool AnyTask(const RunOptions& options) {
  return options.CheckTDLY || options.CheckZTGH || options.CheckZQStat || options.ChkNumArea;
}

// The checks that may stop a run, in the order the user meets them: the methods first, then (on
// a sheet) the column numbers that the chosen tasks read.
std::optional<StopReason> CheckMethods(const RunOptions& options, Plan& plan) {
  if (options.CheckTDLY) {
    plan.land_use = ChosenLandUseMethod(options);
    if (!plan.land_use) return StopReason::kNoLandUseMethod;
  }
  if (options.CheckZTGH) {
    plan.master_plan = ChosenPlanningMethod(options);
    if (!plan.master_plan) return StopReason::kNoMasterPlanMethod;
  }
  return std::nullopt;
}

// Zone and area always, class for land-use or master plan; the cross-tab reads its classes from a
// fixed column.
std::optional<StopReason> CheckColumns(const RunOptions& options, Plan& plan) {
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
                                      std::string_view area_name) {
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
    warnings.push_back(NoAreaNumberText(area_name));
  }
  return warnings;
}

// The end of a run that wrote its tables: the completion message, then the warnings.
RunResult Completed(MessageSink& sink, const AreaCheck& area_check, const RowSource& rows,
                    std::string_view area_name) {
  sink.Show(MessageKind::kCompletion, kCompletionText);
  RunResult result{RunResult::Outcome::kCompleted, std::nullopt, std::string(kCompletionText), {}};
  result.warnings = AreaWarnings(area_check, rows, area_name);
  for (const std::string& warning : result.warnings) sink.Show(MessageKind::kWarning, warning);
  return result;
}

RunResult Run(const RunOptions& options, SpreadsheetHost& host, ResultTarget* outside_target,
              MessageSink& sink) {
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
  if (std::optional<StopReason> stop = CheckMethods(options, plan)) return Stopped(sink, *stop);
  if (std::optional<StopReason> stop = CheckColumns(options, plan)) return Stopped(sink, *stop);

  // With the tables going elsewhere the sheet is only read: converted zones show in the tables.
  WorksheetRows rows(
      *sheet, last_row, plan.columns,
      outside_target != nullptr ? WorksheetRows::kReadOnly : WorksheetRows::kWriteZones);
  WorksheetTarget below_data(*sheet, last_row);
  ResultTarget& target = outside_target != nullptr ? *outside_target : below_data;
  AreaCheck area_check;
  if (std::optional<StopReason> stop = Summarize(options, plan, rows, target, area_check, sink)) {
    return Stopped(sink, *stop);
  }
  if (outside_target == nullptr) {
    sink.Progress("保存工作簿");
    workbook->Save();
  }
  return Completed(sink, area_check, rows, "第 " + std::to_string(plan.columns.area) + " 列");
}

RunResult RunRows(const RunOptions& options, RowSource& rows, ResultTarget& target,
                  MessageSink& sink, std::string_view area_name) {
  Plan plan;
  if (std::optional<StopReason> stop = CheckMethods(options, plan)) return Stopped(sink, *stop);
  AreaCheck area_check;
  if (std::optional<StopReason> stop = Summarize(options, plan, rows, target, area_check, sink)) {
    return Stopped(sink, *stop);
  }
  return Completed(sink, area_check, rows, area_name);
}

// The one place where a failure of the host itself ends the run: a cell that cannot be read or
// written is a value the tasks skip, but a workbook that cannot be loaded or saved, or a source
// or connection that is lost, stops the run without the completion message.
template <typename Body>
RunResult Guarded(MessageSink& sink, Body body) {
  try {
    return body();
  } catch (const HostError& error) {
    return HostFailed(sink, error.what());
  } catch (const std::bad_alloc&) {
    return HostFailed(sink, "内存不足, 统计未完成, 工作簿未保存。");
  }
}

}  // namespace

RunResult RunSummary(const RunOptions& options, SpreadsheetHost& host, MessageSink& sink,
                     ResultTarget* target) {
  if (!AnyTask(options)) return Stopped(sink, StopReason::kNoTask);  // the host is not contacted
  return Guarded(sink, [&] { return Run(options, host, target, sink); });
}

RunResult RunSummaryOnRows(const RunOptions& options, RowSource& rows, ResultTarget& target,
                           MessageSink& sink, std::string_view area_name) {
  if (!AnyTask(options)) return Stopped(sink, StopReason::kNoTask);
  return Guarded(sink, [&] { return RunRows(options, rows, target, sink, area_name); });
}

}  // namespace quilmark
