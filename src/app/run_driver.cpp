#include "src/app/run_driver.h"

#include <fstream>
#include <memory>
#include <sstream>
#include <utility>
#include <variant>
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
  std::optional<LandUseSettings> land_use;
  std::optional<PlanningMethod> master_plan;
  SheetColumns columns;
  AreaFormat format;
};

// The deduction column, unit and decimals; each empty text is "none".
std::optional<StopReason> CheckFormat(const RunOptions& options, Plan& plan) {
  if (!options.TextKCXSColumn.empty() && plan.land_use) {
    std::optional<int32_t> column = SheetColumn(options.TextKCXSColumn);
    if (!column) return StopReason::kBadDeductionColumn;
    plan.columns.deduction = *column;
    plan.land_use->deduct = true;
  }
  if (!options.ListUnit.empty()) {
    std::optional<AreaUnit> unit = AreaUnitByName(options.ListUnit);
    if (!unit) return StopReason::kBadUnit;
    plan.format.unit = *unit;
  }
  if (!options.TextDecimals.empty()) {
    const std::string& text = options.TextDecimals;
    if (text.size() != 1 || text[0] < '0' || text[0] - '0' > kMaxDecimals) {
      return StopReason::kBadDecimals;
    }
    plan.format.decimals = text[0] - '0';
  }
  plan.format.totals = options.CheckTotals;
  return std::nullopt;
}

// The checks that may stop a run, in the order the user meets them: the methods first, then the
// column numbers that the chosen tasks read (zone and area always, class for land-use or master
// plan; the cross-tab reads its classes from a fixed column).
std::optional<StopReason> CheckPlan(const RunOptions& options, const ClassTable* user_table,
                                    Plan& plan) {
  if (options.CheckTDLY) {
    // A user's table stands in for the method.
    std::optional<LandUseMethod> method = ChosenLandUseMethod(options);
    if (!method && user_table == nullptr) return StopReason::kNoLandUseMethod;
    plan.land_use = LandUseSettings{method.value_or(LandUseMethod::OptClassC_2008), user_table,
                                    options.CheckSplitK, false};
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
  return CheckFormat(options, plan);
}

// The first row of 1..last_row whose deduction coefficient is not a number in [0, 1), with the
// cell's text; a cell that cannot be read is skipped. Read before the pass, which may rewrite
// zone cells, so that a bad coefficient stops the run with nothing changed.
std::optional<std::pair<int32_t, std::string>> FirstBadCoefficient(const Worksheet& sheet,
                                                                   int32_t last_row,
                                                                   int32_t column) {
  for (int32_t row = 1; row <= last_row; ++row) {
    std::optional<CellValue> cell = sheet.Read(row, column);
    if (!cell) continue;
    std::optional<double> coefficient = DeductionCoefficient(*cell);
    if (!coefficient || *coefficient < 0 || *coefficient >= 1) {
      return std::make_pair(row, ValueText(*cell));
    }
  }
  return std::nullopt;
}

// The warning that lists the codes the classification did not know, each with its patches and
// their area, so that a mistyped code is seen.
std::string UnknownCodesText(const std::vector<UnknownCode>& codes) {
  constexpr size_t kListed = 20;
  std::string text = "下列编码不在分类表中, 已各自单列在汇总结果中, 请核对:";
  for (size_t i = 0; i < codes.size() && i < kListed; ++i) {
    text += "\n" + (codes[i].code.empty() ? std::string("(空)") : codes[i].code) + ": " +
            std::to_string(codes[i].patches) + " 个图斑, 面积 " + NumberText(codes[i].area);
  }
  if (codes.size() > kListed) {
    text += "\n另有 " + std::to_string(codes.size() - kListed) + " 个编码未列出。";
  }
  return text;
}

// The selected tasks in their fixed order.
std::vector<std::unique_ptr<RowTask>> ChosenTasks(const RunOptions& options, const Plan& plan,
                                                 LandUseTask*& land_use) {
  std::vector<std::unique_ptr<RowTask>> tasks;
  if (plan.land_use) {
    auto task = std::make_unique<LandUseTask>(*plan.land_use, plan.format);
    land_use = task.get();
    tasks.push_back(std::move(task));
  }
  if (plan.master_plan) {
    tasks.push_back(std::make_unique<MasterPlanTask>(*plan.master_plan, plan.format));
  }
  if (options.CheckZQStat) tasks.push_back(std::make_unique<ZoneTotalsTask>(plan.format));
  if (options.ChkNumArea) tasks.push_back(std::make_unique<CrossTabTask>());
  return tasks;
}

RunResult Stopped(MessageSink& sink, StopReason reason, std::string text = {}) {
  if (text.empty()) text = MessageText(reason);
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
                                    MessageSink& sink, std::vector<UnknownCode>& unknown) {
  LandUseTask* land_use = nullptr;
  std::vector<std::unique_ptr<RowTask>> tasks = ChosenTasks(options, plan, land_use);
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
  if (land_use != nullptr) unknown = land_use->unknown();
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

RunResult Run(const RunOptions& options, const ClassTable* user_table, SpreadsheetHost& host,
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
  if (std::optional<StopReason> stop = CheckPlan(options, user_table, plan)) {
    return Stopped(sink, *stop);
  }
  if (plan.columns.deduction) {
    if (auto bad = FirstBadCoefficient(*sheet, last_row, *plan.columns.deduction)) {
      return Stopped(sink, StopReason::kBadCoefficient, BadCoefficientText(bad->first, bad->second));
    }
  }

  WorksheetRows rows(*sheet, last_row, plan.columns);
  WorksheetTarget target(*sheet, last_row);
  AreaCheck area_check;
  std::vector<UnknownCode> unknown;
  if (std::optional<StopReason> stop =
          Summarize(options, plan, rows, target, area_check, sink, unknown)) {
    return Stopped(sink, *stop);
  }

  sink.Progress("保存工作簿");
  workbook->Save();
  sink.Show(MessageKind::kCompletion, kCompletionText);
  RunResult result{RunResult::Outcome::kCompleted, std::nullopt, std::string(kCompletionText), {}};
  result.warnings = AreaWarnings(area_check, rows, plan.columns.area);
  if (!unknown.empty()) result.warnings.push_back(UnknownCodesText(unknown));
  for (const std::string& warning : result.warnings) sink.Show(MessageKind::kWarning, warning);
  return result;
}

}  // namespace

std::variant<ClassTable, std::string> ReadClassTableFile(const std::string& path) {
  const std::string prefix = "无法读取分类表: " + path + ": ";
  std::ifstream file(path, std::ios::binary);
  if (!file) return prefix + "文件不存在或无法打开";
  std::ostringstream content;
  content << file.rdbuf();
  if (file.bad()) return prefix + "读取失败";
  ParsedTable parsed = ParseClassTable(content.str());
  if (!parsed.table) {
    const std::string where =
        parsed.error.line > 0 ? "第 " + std::to_string(parsed.error.line) + " 行: " : "";
    return prefix + where + parsed.error.what;
  }
  return std::move(*parsed.table);
}

RunResult RunSummary(const RunOptions& options, SpreadsheetHost& host, MessageSink& sink) {
  if (!options.CheckTDLY && !options.CheckZTGH && !options.CheckZQStat && !options.ChkNumArea) {
    return Stopped(sink, StopReason::kNoTask);  // the host is not contacted
  }
  // The one place where a failure of the host itself ends the run: a cell that cannot be read
  // or written is a value the passes skip, but a workbook that cannot be loaded or saved, or a
  // connection that is lost, stops the run without the completion message.
  // A user's table is read before the workbook, and one that cannot be read stops the run as a
  // workbook that cannot be read does.
  std::optional<ClassTable> user_table;
  if (options.CheckTDLY && !options.TextClassTable.empty()) {
    std::variant<ClassTable, std::string> read = ReadClassTableFile(options.TextClassTable);
    if (std::string* error = std::get_if<std::string>(&read)) return HostFailed(sink, *error);
    user_table = std::move(std::get<ClassTable>(read));
  }
  try {
    return Run(options, user_table ? &*user_table : nullptr, host, sink);
  } catch (const HostError& error) {
    return HostFailed(sink, error.what());
  } catch (const std::bad_alloc&) {
    return HostFailed(sink, "内存不足, 统计未完成, 工作簿未保存。");
  }
}

}  // namespace quilmark
