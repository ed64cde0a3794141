#include "src/app/run_driver.h"

#include <memory>
#include <new>
#include <vector>

#include "src/app/columns.h"
#include "src/app/land_use_choice.h"
#include "src/crosstab/cross_tab.h"
#include "src/landuse/land_use.h"
#include "src/masterplan/master_plan.h"
#include "src/summary/pass_context.h"
#include "src/summary/summary_tables.h"
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
  Columns columns;
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
  std::optional<int32_t> area = SheetColumn(options.TextAreaColumn);
  if (!area) return StopReason::kBadAreaColumn;
  plan.columns.area = *area;
  return std::nullopt;
}

// The selected tasks in their fixed order, each handing back its block. Passes only read the
// data rows (the zone-code conversion also rewrites the zone cells), and every block lies below
// them, so the blocks are written after all passes, once the run knows they fit.
std::vector<std::unique_ptr<ResultBlock>> RunTasks(const RunOptions& options, const Plan& plan,
                                                   PassContext& context, MessageSink& sink) {
  std::vector<std::unique_ptr<ResultBlock>> blocks;
  if (plan.land_use) {
    if (options.CheckZQDM2MC) {
      sink.Progress("转换镇区代码");
      ConvertZoneCodes(context);
    }
    sink.Progress("土地利用情况汇总");
    SummaryTables tables;
    AccumulateLandUse(context, *plan.land_use, tables);
    blocks.push_back(std::make_unique<SummaryBlock>(std::move(tables), SummaryLayout::kByClass));
  }
  if (plan.master_plan) {
    sink.Progress("总体规划情况汇总");
    SummaryTables tables;
    AccumulateMasterPlan(context, *plan.master_plan, tables);
    blocks.push_back(std::make_unique<SummaryBlock>(std::move(tables), SummaryLayout::kByClass));
  }
  if (options.CheckZQStat) {
    sink.Progress("按区域统计");
    SummaryTables tables;
    SumZoneTotals(context, tables);
    blocks.push_back(std::make_unique<SummaryBlock>(std::move(tables), SummaryLayout::kZoneTotals));
  }
  if (options.ChkNumArea) {
    sink.Progress("宗数和面积统计");
    blocks.push_back(BuildCrossTab(context));
  }
  return blocks;
}

RunResult Stopped(MessageSink& sink, StopReason reason) {
  const std::string text(MessageText(reason));
  sink.Show(MessageKind::kStop, text);
  return {RunResult::Outcome::kStopped, reason, text};
}

RunResult HostFailed(MessageSink& sink, std::string text) {
  sink.Show(MessageKind::kHostFailure, text);
  return {RunResult::Outcome::kHostFailure, std::nullopt, std::move(text)};
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

  std::string text_holder;
  PassContext context{*sheet, last_row, plan.columns, text_holder};
  std::vector<std::unique_ptr<ResultBlock>> blocks = RunTasks(options, plan, context, sink);

  // Each block starts where the one before it ended; the first where a single block stands.
  std::vector<int32_t> bases;
  int64_t base = last_row;
  for (const auto& block : blocks) {
    const int64_t end = block->EndRow(base);
    if (end > kMaxRow || block->LastColumn() > kMaxColumn) {
      return Stopped(sink, StopReason::kBlockOutsideSheet);
    }
    bases.push_back(static_cast<int32_t>(base));
    base = end;
  }
  sink.Progress("写入汇总结果");
  for (size_t i = 0; i < blocks.size(); ++i) blocks[i]->Write(*sheet, bases[i]);

  sink.Progress("保存工作簿");
  workbook->Save();
  sink.Show(MessageKind::kCompletion, kCompletionText);
  return {RunResult::Outcome::kCompleted, std::nullopt, std::string(kCompletionText)};
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
