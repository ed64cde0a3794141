#include "src/app/run_driver.h"

#include <fstream>
#include <memory>
#include <new>
#include <sstream>
#include <utility>
#include <variant>
#include <vector>

#include "src/app/columns.h"
#include "src/app/run_target.h"
#include "src/app/land_use_choice.h"
#include "src/app/plan_choice.h"
#include "src/app/run_checks.h"
#include "src/app/watched_rows.h"
#include "src/app/zone_choice.h"
#include "src/crosstab/cross_tab.h"
#include "src/host/deduction_range.h"
#include "src/host/worksheet_rows.h"
#include "src/host/zone_transform.h"
#include "src/landuse/land_use.h"
#include "src/masterplan/master_plan.h"
#include "src/output/worksheet_target.h"
#include "src/output/written_rows.h"
#include "src/summary/area_check.h"
#include "src/summary/area_format.h"
#include "src/summary/row_feed.h"
#include "src/zonetotals/zone_totals.h"

namespace quilmark {
namespace {

// Everything the checks settle before the first pass.
struct Plan {
  std::optional<LandUseSettings> land_use;
  std::optional<PlanningMethod> master_plan;
  std::optional<ReportSettings> report;
  SheetColumns columns;
  AreaFormat format;
  std::string_view zone_header = kZoneHeader;  // of the cross-tab
};

// The deduction column, unit and decimals; each empty text is "none". Rows that do not come from
// a sheet (sheet_columns false) read the deduction field the user chose themselves.
std::optional<StopReason> CheckFormat(const RunOptions& options, bool sheet_columns, Plan& plan) {
  if (!options.TextKCXSColumn.empty() && plan.land_use) {
    if (sheet_columns) {
      std::optional<int32_t> column = SheetColumn(options.TextKCXSColumn);
      if (!column) return StopReason::kBadDeductionColumn;
      plan.columns.deduction = *column;
    }
    plan.land_use->deduct = true;
  }
  if (!options.ListUnit.empty()) {
    std::optional<AreaUnit> unit = AreaUnitByName(options.ListUnit);
    if (!unit) return StopReason::kBadUnit;
    plan.format.unit = *unit;
    plan.format.unit_named = true;
  }
  if (!options.TextDecimals.empty()) {
    plan.format.decimals = DecimalsFromText(options.TextDecimals);
    if (!plan.format.decimals) return StopReason::kBadDecimals;
  }
  plan.format.totals = options.CheckTotals;
  return std::nullopt;
}


// The reports chosen, over rows whose further fields `source` places; nullopt and the reason
// where the names are unknown or the rows have no such fields.
std::optional<StopReason> CheckReports(const RunOptions& options, const ReportSource* source,
                                       Plan& plan) {
  if (options.ListReports.empty()) return std::nullopt;
  if (source == nullptr) return StopReason::kReportNeedsLayer;
  std::optional<std::vector<ReportKind>> kinds = ParseReportList(options.ListReports);
  std::optional<UnitLevel> level = UnitLevelByName(options.ListReportLevel);
  if (!kinds || !level) return StopReason::kBadReport;
  plan.report = ReportSettings{std::move(*kinds), *level, source->fields, source->zone_names,
                               {options.TextReportUnit, options.TextReportHead,
                                options.TextReportPreparer, options.TextReportDate}};
  return std::nullopt;
}

// The checks that may stop a run, in the order the user meets them: the methods first, then (on
// a sheet) the column numbers that the chosen tasks read, then the deduction, unit and decimals.
std::optional<StopReason> CheckMethods(const RunOptions& options, const ClassTable* user_table,
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

// The first row of 1..last_row whose deduction coefficient is not a number in [0, 1), with the
// cell's text; a cell that cannot be read is skipped. Read before the pass, which may rewrite
// zone cells, so that a bad coefficient stops the run with nothing changed.
bool IsBadCoefficient(const CellValue& cell) {
  std::optional<double> coefficient = DeductionCoefficient(cell);
  return !coefficient || !InDeductionRange(*coefficient);
}

std::optional<std::pair<int32_t, std::string>> FirstBadCoefficient(const Worksheet& sheet,
                                                                   int32_t last_row,
                                                                   int32_t column) {
  for (int32_t row = 1; row <= last_row; ++row) {
    std::optional<CellValue> cell = sheet.Read(row, column);
    if (cell && IsBadCoefficient(*cell)) return std::make_pair(row, ValueText(*cell));
  }
  return std::nullopt;
}

// A source read once, as it streams (a layer), cannot be checked before the pass: its rows are
// checked as they come, and the first bad coefficient ends the run before any table is written.
struct BadCoefficientRow {
  std::string text;  // the stop's message, naming the row
};

class CoefficientCheckedRows final : public RowSource {
 public:
  // `sheet_rows`: the rows are a worksheet's, and the stop names the row as for a sheet checked
  // before its pass.
  explicit CoefficientCheckedRows(RowSource& inner, bool sheet_rows = false)
      : inner_(inner), sheet_rows_(sheet_rows) {}
  bool Next(SourceRow& row) override {
    if (!inner_.Next(row)) return false;
    if (row.deduction && IsBadCoefficient(*row.deduction)) {
      const std::string text = ValueText(*row.deduction);
      throw BadCoefficientRow{
          sheet_rows_ ? BadCoefficientText(static_cast<int32_t>(row.number), text)
                      : BadSourceCoefficientText(inner_.RowLabel(row.number), text)};
    }
    return true;
  }
  std::string RowLabel(int64_t number) const override { return inner_.RowLabel(number); }
  bool RewriteZone(const SourceRow& row, std::string_view text) override {
    return inner_.RewriteZone(row, text);
  }
  int64_t RowCount() const override { return inner_.RowCount(); }
  bool ReadAhead() const override { return inner_.ReadAhead(); }

 private:
  RowSource& inner_;
  const bool sheet_rows_;
};

// The selected tasks in their fixed order.
std::vector<std::unique_ptr<RowTask>> ChosenTasks(const RunOptions& options, const Plan& plan,
                                                  LandUseTask*& land_use) {
  std::vector<std::unique_ptr<RowTask>> tasks;
  if (plan.land_use) {
    auto task = std::make_unique<LandUseTask>(*plan.land_use, plan.format);
    land_use = task.get();
    tasks.push_back(std::move(task));
  }
  // A check alone keeps the land-use task for the families its class codes belong to.
  if (options.CheckOnly) return tasks;
  if (plan.master_plan) {
    tasks.push_back(std::make_unique<MasterPlanTask>(*plan.master_plan, plan.format));
  }
  if (options.CheckZQStat) tasks.push_back(std::make_unique<ZoneTotalsTask>(plan.format));
  if (options.ChkNumArea) {
    tasks.push_back(std::make_unique<CrossTabTask>(plan.format, plan.zone_header));
  }
  if (plan.report) tasks.push_back(std::make_unique<ReportTask>(*plan.report));
  return tasks;
}

// Where rows that an earlier run wrote its tables into are among the rows this run reads, says
// so and asks whether to go on; true to go on. A sheet with no such rows is not even measured.
bool WarnOfDoubleCount(const std::vector<WrittenRows>& record, const Worksheet& sheet,
                       MessageSink& sink) {
  if (record.empty()) return true;
  const std::vector<WrittenRows> again = RowsReadAgain(record, sheet.Name(), sheet.LastUsedRow());
  return again.empty() || sink.Ask(DoubleCountWarning(again));
}

RunResult Stopped(MessageSink& sink, StopReason reason, std::string text = {}) {
  if (text.empty()) text = MessageText(reason);
  sink.Show(MessageKind::kStop, text);
  return {RunResult::Outcome::kStopped, reason, text, {}};
}

RunResult Cancelled(MessageSink& sink) {
  sink.Show(MessageKind::kStop, kCancelledText);
  return {RunResult::Outcome::kCancelled, std::nullopt, std::string(kCancelledText), {}};
}

RunResult HostFailed(MessageSink& sink, std::string text) {
  sink.Show(MessageKind::kHostFailure, text);
  return {RunResult::Outcome::kHostFailure, std::nullopt, std::move(text), {}};
}

// One pass over the rows feeds every task; the tables go to the target once all of them are known
// to fit, so a run that stops has written nothing. The zone-code conversion rewrites a row's zone
// before the tasks see it.
// A task that refuses its tables stops the run with its text, before anything is written.
struct Refused {
  std::string text;
};

// The chosen tasks, fed with every row, and what the data check found.
struct SummedTasks {
  std::vector<std::unique_ptr<RowTask>> tasks;
  LandUseTask* land_use = nullptr;
  std::unique_ptr<ZoneCodeCheck> zone_codes;  // where codes were rewritten by the built-in table
  std::vector<Finding> findings;  // warnings only, unless the run checks alone
};

// `rows` are the checks' patches, perhaps wrapped further; an error found stops the run here
// (DataStop), before anything is written, unless the run checks alone.
SummedTasks SumRows(const RunOptions& options, const Plan& plan, RowSource& rows, RunChecks& checks,
                    MessageSink& sink) {
  SummedTasks summed;
  summed.tasks = ChosenTasks(options, plan, summed.land_use);
  std::vector<RowSink*> sinks;
  for (const auto& task : summed.tasks) sinks.push_back(task.get());
  for (RowSink* check : checks.sinks()) sinks.push_back(check);
  const bool convert = plan.land_use && options.CheckZQDM2MC;
  if (convert) {
    summed.zone_codes = std::make_unique<ZoneCodeCheck>();
    sinks.push_back(summed.zone_codes.get());
  }
  sink.Progress(options.CheckOnly ? "检查数据" : "汇总图斑");
  WatchedRows watched(rows, rows.RowCount(), sink);
  FeedRows(watched, convert ? &ConvertedZone : nullptr, sinks);
  std::vector<std::string> warnings;
  if (summed.land_use != nullptr) warnings = summed.land_use->Warnings();
  if (summed.zone_codes != nullptr) {
    if (std::optional<std::string> warning = summed.zone_codes->Warning()) {
      warnings.push_back(std::move(*warning));
    }
  }
  summed.findings = checks.Findings(std::move(warnings));
  if (options.CheckOnly) return summed;
  StopOnErrors(summed.findings);
  for (const auto& task : summed.tasks) {
    if (std::optional<std::string> refusal = task->Refusal()) throw Refused{std::move(*refusal)};
  }
  return summed;
}

// What goes to the target: the tasks' tables (not when the run checks alone), and the data
// check's findings as a table of their own where the target is a new workbook or the run checks
// alone.
std::vector<ResultTable> TablesWritten(const RunOptions& options, const SummedTasks& summed,
                                       bool findings_table) {
  std::vector<ResultTable> tables;
  if (!options.CheckOnly) {
    for (const auto& task : summed.tasks) {
      for (ResultTable& table : task->Tables()) tables.push_back(std::move(table));
    }
  }
  if (findings_table && (options.CheckOnly || !summed.findings.empty())) {
    tables.push_back(FindingsTable(summed.findings));
  }
  return tables;
}

std::optional<StopReason> WriteTables(const RunOptions& options, SummedTasks& summed,
                                      ResultTarget& target, bool findings_table,
                                      MessageSink& sink) {
  std::vector<TableShape> shapes;
  if (!options.CheckOnly) {
    for (const auto& task : summed.tasks) {
      for (const TableShape& shape : task->Shapes()) shapes.push_back(shape);
    }
  }
  if (findings_table && (options.CheckOnly || !summed.findings.empty())) {
    shapes.push_back(FindingsTable(summed.findings).Shape());
  }
  if (!target.Fits(shapes)) return StopReason::kBlockOutsideSheet;
  for (const auto& task : summed.tasks) {
    for (const std::string& notice : task->Notices()) sink.Show(MessageKind::kWarning, notice);
  }
  if (!sink.BeginWriting()) throw RunCancelled{};
  sink.Progress("写入汇总结果");
  target.Write(TablesWritten(options, summed, findings_table));
  return std::nullopt;
}

// The end of a run that wrote its result: the findings said first, then the completion. A run
// that checks alone ends with the count of its findings, stopped where one is an error.
RunResult Completed(const RunOptions& options, MessageSink& sink, const SummedTasks& summed,
                    std::string text, bool findings_written) {
  RunResult result{RunResult::Outcome::kCompleted, std::nullopt, std::move(text),
                   FindingTexts(summed.findings)};
  if (options.CheckOnly) {
    size_t errors = 0;
    for (const Finding& f : summed.findings) errors += f.severity != Severity::kWarning;
    result.message = "数据检查完毕: " + std::to_string(errors) + " 个错误, " +
                     std::to_string(summed.findings.size() - errors) + " 个警告。" +
                     result.message;
    if (errors > 0) {
      result.outcome = RunResult::Outcome::kStopped;
      result.stop = StopReason::kDataError;
    }
    if (findings_written) result.warnings.clear();  // the table holds them
  }
  sink.Complete(result.message, result.warnings);
  return result;
}

// The worksheet a run reads, once the user has confirmed it.
struct OpenedSheet {
  Workbook* workbook = nullptr;
  Worksheet* sheet = nullptr;
  std::vector<WrittenRows> record;  // where earlier runs wrote their tables
};

// Attaches, finds the workbook in front and its active worksheet, warns of rows an earlier run
// wrote among the data, and asks for the confirmation; the result where the run ends there.
std::variant<OpenedSheet, RunResult> OpenSheet(SpreadsheetHost& host, MessageSink& sink) {
  if (!host.Attach()) return Stopped(sink, StopReason::kNoApplication);
  sink.Progress("读取工作簿");
  Workbook* workbook = host.ActiveWorkbook();
  if (workbook == nullptr) return Stopped(sink, StopReason::kNoWorkbook);
  const std::string workbook_name = workbook->Name();
  Worksheet* sheet = workbook->ActiveSheet();
  if (sheet == nullptr) return Stopped(sink, StopReason::kNotWorksheet);
  const std::string sheet_name = sheet->Name();
  if (sink.CancelRequested()) throw RunCancelled{};  // while the workbook loaded
  OpenedSheet opened{workbook, sheet,
                     ParseWrittenRows(workbook->CustomProperty(kWrittenRowsProperty).value_or(""))};
  if (!WarnOfDoubleCount(opened.record, *sheet, sink) ||
      !sink.Confirm(ConfirmationText(workbook_name, sheet_name))) {
    return RunResult{RunResult::Outcome::kCancelled, std::nullopt, "", {}};
  }
  return opened;
}

// The checks of a run on a worksheet, in the order the user meets them; the stop, if one.
std::optional<RunResult> PlanSheetRun(const RunOptions& options, const ClassTable* user_table,
                                      const Worksheet& sheet, int32_t last_row, Plan& plan,
                                      MessageSink& sink) {
  if (auto stop = CheckMethods(options, user_table, plan)) return Stopped(sink, *stop);
  if (auto stop = CheckColumns(options, plan)) return Stopped(sink, *stop);
  if (auto stop = CheckFormat(options, true, plan)) return Stopped(sink, *stop);
  if (plan.columns.deduction) {
    if (auto bad = FirstBadCoefficient(sheet, last_row, *plan.columns.deduction)) {
      return Stopped(sink, StopReason::kBadCoefficient,
                     BadCoefficientText(bad->first, bad->second));
    }
  }
  return std::nullopt;
}

// Records where the tables went below the data, so that a later run can warn of them, and saves.
void SaveBelowData(const OpenedSheet& opened, int32_t last_row, const WorksheetTarget& written,
                   MessageSink& sink) {
  const std::string sheet_name = opened.sheet->Name();
  const std::vector<WrittenRows> placed = PlacedRows(sheet_name, last_row, written.written());
  opened.workbook->SetCustomProperty(
      kWrittenRowsProperty,
      FormatWrittenRows(UpdatedRecord(opened.record, sheet_name, last_row, placed)));
  sink.Progress("保存工作簿");
  opened.workbook->Save();
}

// Whether the findings go to the target as a table of their own: into a new workbook beside
// the tables (not into a target the caller made), and wherever a run that checks alone writes.
bool FindingsTableWritten(const RunRequest& request) {
  if (request.options.CheckOnly) return true;
  return request.output.given == nullptr && TargetName(request) == "xlsx";
}

// The target's completion; for a check alone only a file's name (a preview or CSV speaks of
// a summary to be written).
std::string TargetCompletion(const RunRequest& request, const ResultTarget& target) {
  if (request.options.CheckOnly && TargetName(request) != "xlsx") return {};
  return target.Completion();
}

// The target a run opens: none for a run that checks alone without a target named (its findings
// are then only said), nothing below the data either.
OpenedTarget ChosenTarget(const RunRequest& request, std::optional<int64_t> below_row) {
  const RunOutput& output = request.output;
  if (request.options.CheckOnly && output.target.empty() && output.given == nullptr) return {};
  return OpenTarget(request, below_row);
}

// After the pass: the tables go below the last row or to the target the request opened, and a
// workbook written into is saved. A run that checks alone never writes below the data.
RunResult WriteSheetRun(const RunRequest& request, OpenedTarget& outside, const OpenedSheet& opened,
                        int32_t last_row, SummedTasks& summed, MessageSink& sink) {
  const RunOptions& options = request.options;
  if (options.CheckOnly && outside.target == nullptr) {
    return Completed(options, sink, summed, "", false);
  }
  WorksheetTarget below_data(*opened.sheet, last_row, outside.copy);
  ResultTarget& target = outside.target != nullptr ? *outside.target : below_data;
  if (std::optional<StopReason> stop =
          WriteTables(options, summed, target, FindingsTableWritten(request), sink)) {
    return Stopped(sink, *stop);
  }
  if (outside.target == nullptr) SaveBelowData(opened, last_row, below_data, sink);
  return Completed(options, sink, summed, TargetCompletion(request, target), true);
}

// Where the tables would stand below the data; nowhere for a check alone, which writes none there.
std::optional<int64_t> CheckedBelow(const RunOptions& options, int32_t last_row) {
  if (options.CheckOnly) return std::nullopt;
  return last_row;
}

// How the check names a worksheet's columns.
CheckedColumns SheetChecked(const Plan& plan) {
  const auto named = [](std::optional<int32_t> column) {
    return column ? "第 " + std::to_string(*column) + " 列" : std::string();
  };
  CheckedColumns checked;
  checked.zone = named(plan.columns.zone);
  checked.class_ = named(plan.columns.class_);
  checked.area = named(plan.columns.area);
  checked.class_read = plan.columns.class_.has_value();
  checked.deduction_read = plan.columns.deduction.has_value();
  if (plan.columns.identifier) checked.identifier = 0;
  return checked;
}

// A sheet that gives its rows as they are read is summed as it loads, so that its rows are never
// all held. Not where the last row must be known before the pass (an earlier run's tables to
// look for among the rows) nor where the pass writes zone cells. nullopt where the sheet's cells
// are to be read instead: it cannot stream, or its rows turned out not to stand in order.
std::optional<RunResult> RunStreamed(const RunRequest& request, const ClassTable* user_table,
                                     const OpenedSheet& opened, MessageSink& sink) {
  const RunOptions& options = request.options;
  Plan plan;
  if (!opened.record.empty() || (options.CheckTDLY && options.CheckZQDM2MC)) return std::nullopt;
  if (auto stop = CheckMethods(options, user_table, plan)) return Stopped(sink, *stop);
  if (auto stop = CheckColumns(options, plan)) return Stopped(sink, *stop);
  if (auto stop = CheckFormat(options, true, plan)) return Stopped(sink, *stop);
  plan.columns.identifier = options.CheckOnly;  // as for a single layer: BSM for a check alone
  std::unique_ptr<RowSource> streamed = opened.sheet->StreamedRows(plan.columns);
  if (streamed == nullptr) return std::nullopt;
  std::unique_ptr<RowSource> rows = TransformZones(std::move(streamed), ChosenZoneTransform(options));
  // The first bad coefficient stops the run as the check before a loaded sheet's pass does.
  RunChecks checks(options, *rows, true, SheetChecked(plan));
  CoefficientCheckedRows checked(checks.patches(), true);
  SummedTasks summed;
  try {
    summed = SumRows(options, plan, checked, checks, sink);
  } catch (const RowsNotInOrder&) {
    return std::nullopt;
  } catch (const BadCoefficientRow& bad) {
    return Stopped(sink, StopReason::kBadCoefficient, bad.text);
  }
  const int32_t last_row = opened.sheet->LastUsedRow();
  OpenedTarget outside = ChosenTarget(request, CheckedBelow(options, last_row));
  return WriteSheetRun(request, outside, opened, last_row, summed, sink);
}

RunResult Run(const RunRequest& request, const ClassTable* user_table, SpreadsheetHost& host,
              MessageSink& sink) {
  std::variant<OpenedSheet, RunResult> open = OpenSheet(host, sink);
  if (RunResult* ended = std::get_if<RunResult>(&open)) return std::move(*ended);
  const OpenedSheet& opened = std::get<OpenedSheet>(open);
  if (std::optional<RunResult> streamed = RunStreamed(request, user_table, opened, sink)) {
    return std::move(*streamed);
  }
  // The last row of the used range, not its row count: a used range that starts below row 1
  // still has every data row visited.
  const int32_t last_row = opened.sheet->LastUsedRow();
  const RunOptions& options = request.options;
  Plan plan;
  if (auto stopped = PlanSheetRun(options, user_table, *opened.sheet, last_row, plan, sink)) {
    return std::move(*stopped);
  }
  // With the tables going elsewhere the sheet is only read: converted zones show in the tables.
  // The zone transforms apply to the sheet's rows as to any source's.
  plan.columns.identifier = options.CheckOnly;
  OpenedTarget outside = ChosenTarget(request, CheckedBelow(options, last_row));
  const bool read_only = outside.target != nullptr || options.CheckOnly;
  std::unique_ptr<RowSource> rows =
      TransformZones(std::make_unique<WorksheetRows>(
                         *opened.sheet, last_row, plan.columns,
                         read_only ? WorksheetRows::kReadOnly : WorksheetRows::kWriteZones),
                     ChosenZoneTransform(options));
  RunChecks checks(options, *rows, true, SheetChecked(plan));
  SummedTasks summed = SumRows(options, plan, checks.patches(), checks, sink);
  return WriteSheetRun(request, outside, opened, last_row, summed, sink);
}

// How the check names a layer's fields.
CheckedColumns RowsChecked(const RunOptions& options, const RowsMeaning& meaning, bool deduct) {
  CheckedColumns checked;
  checked.zone = "字段 " + options.TextZQColumn;
  checked.class_ = "字段 " + options.TextDKStyleColumn;
  checked.area = meaning.area_name;
  checked.class_read =
      options.CheckTDLY || options.CheckZTGH || options.ChkNumArea || meaning.reports != nullptr;
  checked.deduction_read = deduct;
  checked.reports = meaning.reports;
  checked.identifier = meaning.identifier;
  return checked;
}

RunResult RunRows(const RunRequest& request, const ClassTable* user_table, RowSource& rows,
                  const RowsMeaning& meaning, MessageSink& sink) {
  const RunOptions& options = request.options;
  Plan plan;
  plan.zone_header = meaning.zone_header;
  if (auto stop = CheckMethods(options, user_table, plan)) return Stopped(sink, *stop);
  if (auto stop = CheckReports(options, meaning.reports, plan)) return Stopped(sink, *stop);
  if (auto stop = CheckFormat(options, false, plan)) return Stopped(sink, *stop);
  // Every row of such a source is a patch: its first area is no title, an empty one a doubt.
  // The reports read KCXS whenever the layer has it; its range stops the run only where the
  // tables take the 田坎 area from it, not where the layer gives KCMJ (the check compares them).
  const bool deduct = (plan.land_use && plan.land_use->deduct) || plan.report;
  const bool from_coefficient = (plan.land_use && plan.land_use->deduct) ||
                                (plan.report && !plan.report->fields.terrace_area);
  RunChecks checks(options, rows, false, RowsChecked(options, meaning, deduct));
  CoefficientCheckedRows checked(checks.patches());
  RowSource& read = from_coefficient ? checked : checks.patches();
  OpenedTarget target = ChosenTarget(request, std::nullopt);
  SummedTasks summed;
  try {
    summed = SumRows(options, plan, read, checks, sink);
  } catch (const BadCoefficientRow& bad) {
    return Stopped(sink, StopReason::kBadCoefficient, bad.text);
  } catch (const Refused& refused) {
    return Stopped(sink, StopReason::kReportsDisagree, refused.text);
  }
  if (target.target == nullptr) return Completed(options, sink, summed, "", false);
  if (std::optional<StopReason> stop =
          WriteTables(options, summed, *target.target, FindingsTableWritten(request), sink)) {
    return Stopped(sink, *stop);
  }
  return Completed(options, sink, summed, TargetCompletion(request, *target.target), true);
}

// Reads the user's classification table where the run names one. A table that cannot be read
// stops the run as a workbook that cannot be read does: the message is returned.
std::optional<std::string> ReadUserTable(const RunOptions& options,
                                         std::optional<ClassTable>& table) {
  if (!options.CheckTDLY || options.TextClassTable.empty()) return std::nullopt;
  std::variant<ClassTable, std::string> read = ReadClassTableFile(options.TextClassTable);
  if (std::string* error = std::get_if<std::string>(&read)) return std::move(*error);
  table = std::move(std::get<ClassTable>(read));
  return std::nullopt;
}

// The one place where a failure of the host itself ends the run: a cell that cannot be read or
// written is a value the tasks skip, but a workbook that cannot be loaded or saved, or a source
// or connection that is lost, stops the run without the completion message. A user's table is
// read first, before the workbook.
template <typename Body>
RunResult Guarded(const RunOptions& options, MessageSink& sink, Body body) {
  std::optional<ClassTable> user_table;
  if (std::optional<std::string> error = ReadUserTable(options, user_table)) {
    return HostFailed(sink, *error);
  }
  try {
    return body(user_table ? &*user_table : nullptr);
  } catch (const HostError& error) {
    // A server statement the user's cancel stopped fails: the run was cancelled, not lost.
    if (sink.CancelRequested()) return Cancelled(sink);
    return HostFailed(sink, error.what());
  } catch (const RunCancelled&) {
    return Cancelled(sink);
  } catch (const DataStop& stop) {
    return Stopped(sink, stop.column ? StopReason::kUselessColumn : StopReason::kDataError,
                   stop.text);
  } catch (const std::bad_alloc&) {
    return HostFailed(sink, "内存不足, 统计未完成, 工作簿未保存。");
  }
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

std::optional<StopReason> CheckSheetColumnOptions(const RunOptions& options) {
  Plan plan;
  if (auto stop = CheckColumns(options, plan)) return stop;
  if (options.CheckTDLY && !options.TextKCXSColumn.empty() &&
      !SheetColumn(options.TextKCXSColumn)) {
    return StopReason::kBadDeductionColumn;
  }
  return std::nullopt;
}

bool AnyTask(const RunOptions& options) {
  return options.CheckTDLY || options.CheckZTGH || options.CheckZQStat || options.ChkNumArea ||
         !options.ListReports.empty();
}

RunResult RunOnSheet(const RunRequest& request, SpreadsheetHost& host, MessageSink& sink) {
  if (!request.options.ListReports.empty()) return Stopped(sink, StopReason::kReportNeedsLayer);
  return Guarded(request.options, sink, [&](const ClassTable* user_table) {
    return Run(request, user_table, host, sink);
  });
}

RunResult RunOnRows(const RunRequest& request, RowSource& rows, const RowsMeaning& meaning,
                    MessageSink& sink) {
  return Guarded(request.options, sink, [&](const ClassTable* user_table) {
    return RunRows(request, user_table, rows, meaning, sink);
  });
}

}  // namespace quilmark
