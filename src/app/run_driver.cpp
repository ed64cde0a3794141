#include "src/app/run_driver.h"

#include <fstream>
#include <memory>
#include <sstream>
#include <variant>
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
  std::optional<LandUseSettings> land_use;
  std::optional<PlanningMethod> master_plan;
  Columns columns;
  AreaFormat format;
};

// The column number, decimals and unit of the formatting choices; each empty text is "none".
std::optional<StopReason> CheckFormat(const RunOptions& options, Plan& plan) {
  if (!options.TextKCXSColumn.empty() && plan.land_use) {
    std::optional<int32_t> column = SheetColumn(options.TextKCXSColumn);
    if (!column) return StopReason::kBadDeductionColumn;
    plan.land_use->deduction_column = *column;
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
                                    options.CheckSplitK, std::nullopt};
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
  return CheckFormat(options, plan);
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

// The selected tasks in their fixed order, each handing back its block. Passes only read the
// data rows (the zone-code conversion also rewrites the zone cells), and every block lies below
// them, so the blocks are written after all passes, once the run knows they fit.
std::vector<std::unique_ptr<ResultBlock>> RunTasks(const RunOptions& options, const Plan& plan,
                                                   PassContext& context, MessageSink& sink,
                                                   std::vector<UnknownCode>& unknown) {
  std::vector<std::unique_ptr<ResultBlock>> blocks;
  if (plan.land_use) {
    if (options.CheckZQDM2MC) {
      sink.Progress("转换镇区代码");
      ConvertZoneCodes(context);
    }
    sink.Progress("土地利用情况汇总");
    SummaryTables tables;
    unknown = AccumulateLandUse(context, *plan.land_use, tables);
    blocks.push_back(
        std::make_unique<SummaryBlock>(std::move(tables), SummaryLayout::kByClass, plan.format));
  }
  if (plan.master_plan) {
    sink.Progress("总体规划情况汇总");
    SummaryTables tables;
    AccumulateMasterPlan(context, *plan.master_plan, tables);
    blocks.push_back(
        std::make_unique<SummaryBlock>(std::move(tables), SummaryLayout::kByClass, plan.format));
  }
  if (options.CheckZQStat) {
    sink.Progress("按区域统计");
    SummaryTables tables;
    SumZoneTotals(context, tables);
    blocks.push_back(
        std::make_unique<SummaryBlock>(std::move(tables), SummaryLayout::kZoneTotals, plan.format));
  }
  if (options.ChkNumArea) {
    sink.Progress("宗数和面积统计");
    blocks.push_back(BuildCrossTab(context));
  }
  return blocks;
}

RunResult Stopped(MessageSink& sink, StopReason reason, std::string text = {}) {
  if (text.empty()) text = MessageText(reason);
  sink.Show(MessageKind::kStop, text);
  return {RunResult::Outcome::kStopped, reason, text};
}

RunResult HostFailed(MessageSink& sink, std::string text) {
  sink.Show(MessageKind::kHostFailure, text);
  return {RunResult::Outcome::kHostFailure, std::nullopt, std::move(text)};
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

  std::string text_holder;
  PassContext context{*sheet, last_row, plan.columns, text_holder};
  // Every coefficient is checked before any pass, so a bad one stops the run with nothing changed
  // (the zone-code conversion writes to the sheet).
  if (plan.land_use && plan.land_use->deduction_column) {
    const int32_t column = *plan.land_use->deduction_column;
    if (std::optional<int32_t> row = FirstBadCoefficient(context, column)) {
      std::optional<CellValue> cell = sheet->Read(*row, column);
      return Stopped(sink, StopReason::kBadCoefficient,
                     BadCoefficientText(*row, cell ? ValueText(*cell) : std::string()));
    }
  }
  std::vector<UnknownCode> unknown;
  std::vector<std::unique_ptr<ResultBlock>> blocks =
      RunTasks(options, plan, context, sink, unknown);

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
  if (!unknown.empty()) sink.Show(MessageKind::kWarning, UnknownCodesText(unknown));
  return {RunResult::Outcome::kCompleted, std::nullopt, std::string(kCompletionText)};
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
