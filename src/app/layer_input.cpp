#include "src/app/layer_input.h"

#include <memory>
#include <variant>

#include "src/app/layer_parts.h"
#include "src/app/report_layer.h"
#include "src/app/zone_choice.h"
#include "src/host/gdal/layer_path.h"
#include "src/host/sheet_host.h"
#include "src/host/xlsx/file_guard.h"
#include "src/host/zone_transform.h"
#include "src/output/new_workbook.h"
#include "src/output/output_targets.h"
#include "src/summary/area_format.h"

namespace quilmark {
namespace {

bool AnyTask(const RunOptions& options) {
  return options.CheckTDLY || options.CheckZTGH || options.CheckZQStat || options.ChkNumArea ||
         !options.ListReports.empty();
}

// The survey reports' further fields added to the request, and the units' names; a missing
// field is a stop naming it. Reports key their rows by the codes themselves, so the zone
// transforms are not applied to the rows: the names table names the rows instead.
std::variant<ReportSource, std::string> ReportInput(const RunOptions& options,
                                                    const LayerInput& input,
                                                    LayerRequest& request) {
  const std::string layer = input.layer.empty() ? HidePassword(input.source) : input.layer;
  std::variant<ReportFields, std::string> fields =
      ChooseReportFields(options, LayerFieldNames(input.source, input.layer), layer, request);
  if (std::string* missing = std::get_if<std::string>(&fields)) return std::move(*missing);
  ReportSource source{std::get<ReportFields>(fields), {}};
  if (!options.ZoneNamesFile.empty()) source.zone_names = ReadZoneNames(options.ZoneNamesFile);
  return source;
}

RunResult Failed(MessageSink& sink, RunResult::Outcome outcome, std::optional<StopReason> stop,
                 std::string text) {
  sink.Show(stop ? MessageKind::kStop : MessageKind::kHostFailure, text);
  return {outcome, stop, std::move(text), {}};
}

// Passes the run's messages on, with the completion naming where the tables went.
class WrittenToSink final : public MessageSink {
 public:
  WrittenToSink(MessageSink& sink, std::string completion)
      : sink_(sink), completion_(std::move(completion)) {}
  void Show(MessageKind kind, std::string_view text) override {
    sink_.Show(kind, kind == MessageKind::kCompletion ? std::string_view(completion_) : text);
  }
  bool Ask(std::string_view warning) override { return sink_.Ask(warning); }
  bool Confirm(std::string_view text) override { return sink_.Confirm(text); }
  void Progress(std::string_view stage) override { sink_.Progress(stage); }
  void RowsRead(int64_t done, int64_t total) override { sink_.RowsRead(done, total); }
  bool CancelRequested() override { return sink_.CancelRequested(); }
  bool BeginWriting() override { return sink_.BeginWriting(); }

 private:
  MessageSink& sink_;
  const std::string completion_;
};

// The cross-tab's header of a layer's zones: the zone field's name, or 区域 where the zones are
// not the field's values (named from a names file or from zone codes) or the field has no name.
std::string ZoneHeader(const RunOptions& options, const std::string& zone_field) {
  const bool named = !options.ZoneNamesFile.empty() || (options.CheckTDLY && options.CheckZQDM2MC);
  return named || TrimBlanks(zone_field).empty() ? "区域" : zone_field;
}

}  // namespace

LayerRequest ChosenLayerRequest(const RunOptions& options, const LayerInput& input) {
  LayerRequest request;
  request.source = input.source;
  request.layer = input.layer;
  request.where = input.where;
  request.zone_field = options.TextZQColumn;
  if (options.CheckTDLY || options.CheckZTGH || options.ChkNumArea ||
      !options.ListReports.empty()) {
    request.class_field = options.TextDKStyleColumn;
  }
  if (!TrimBlanks(options.TextAreaColumn).empty()) request.area_field = options.TextAreaColumn;
  if (options.CheckTDLY && !options.TextKCXSColumn.empty()) {
    request.deduction_field = options.TextKCXSColumn;
  }
  if (options.ZonePrefix > 0 && options.ListReports.empty()) {
    request.zone_prefix = options.ZonePrefix;
  }
  return request;
}

namespace {

// What the run reads once the user has confirmed it, and the name of its zone field.
struct OpenedRows {
  std::unique_ptr<RowSource> rows;
  std::string zone_field;
};

// One source: its layer opened, its first feature read (an empty layer stops the run here).
std::variant<OpenedRows, RunResult> OpenOneLayer(const LayerRequest& request,
                                                 const LayerInput& input, MessageSink& sink) {
  OpenedLayer layer = OpenLayer(request);
  const std::string source = HidePassword(input.source);
  if (!sink.Confirm(LayerConfirmationText(layer.name, source))) {
    return RunResult{RunResult::Outcome::kCancelled, std::nullopt, "", {}};
  }
  if (layer.empty) {  // a table of nothing is no result to sign
    return Failed(sink, RunResult::Outcome::kStopped, StopReason::kNoPatch,
                  NoPatchText(input.where, layer.name, source));
  }
  return OpenedRows{std::move(layer.rows), std::move(layer.zone_field)};
}

// Several sources: all checked, then read one after the other as the run goes.
std::variant<OpenedRows, RunResult> OpenLayerParts(const LayerRequest& request,
                                                   const LayerInput& input, MessageSink& sink) {
  std::vector<std::string> sources{input.source};
  sources.insert(sources.end(), input.more_sources.begin(), input.more_sources.end());
  const std::vector<LayerPart> parts = CheckLayerParts(request, sources);
  if (!sink.Confirm(LayerPartsConfirmationText(parts))) {
    return RunResult{RunResult::Outcome::kCancelled, std::nullopt, "", {}};
  }
  auto progress = [&sink](std::string_view stage) { sink.Progress(stage); };
  return OpenedRows{ReadLayerParts(parts, progress), parts.front().request.zone_field};
}

}  // namespace

RunResult RunLayerSummary(const RunOptions& options, const LayerInput& input, ResultTarget& target,
                          MessageSink& sink) {
  if (!AnyTask(options)) {  // nothing is opened
    return Failed(sink, RunResult::Outcome::kStopped, StopReason::kNoTask,
                  std::string(MessageText(StopReason::kNoTask)));
  }
  LayerRequest request = ChosenLayerRequest(options, input);
  std::variant<OpenedRows, RunResult> opened;
  std::optional<ReportSource> reports;
  try {
    sink.Progress("打开图层");
    if (!options.ListReports.empty()) {
      std::variant<ReportSource, std::string> chosen = ReportInput(options, input, request);
      if (std::string* missing = std::get_if<std::string>(&chosen)) {
        return Failed(sink, RunResult::Outcome::kStopped, StopReason::kReportField, *missing);
      }
      reports = std::move(std::get<ReportSource>(chosen));
    }
    opened = input.more_sources.empty() ? OpenOneLayer(request, input, sink)
                                        : OpenLayerParts(request, input, sink);
  } catch (const HostError& error) {
    return Failed(sink, RunResult::Outcome::kHostFailure, std::nullopt, error.what());
  }
  if (RunResult* ended = std::get_if<RunResult>(&opened)) return std::move(*ended);
  OpenedRows& layer = std::get<OpenedRows>(opened);
  std::unique_ptr<RowSource> rows = TransformZones(
      std::move(layer.rows), reports ? ZoneTransform{} : ChosenZoneTransform(options));
  const std::string area_name =
      request.area_field ? "字段 " + *request.area_field : std::string("几何图形的面积");
  try {
    return RunSummaryOnRows(options, *rows, target, sink, area_name,
                            ZoneHeader(options, layer.zone_field), reports ? &*reports : nullptr);
  } catch (const NoPatchInParts&) {
    return Failed(sink, RunResult::Outcome::kStopped, StopReason::kNoPatch,
                  NoPatchInPartsText(input.where, input.more_sources.size() + 1));
  }
}

std::optional<std::filesystem::path> LayerResultPath(const LayerInput& input, bool reports) {
  std::string suffix = reports ? "-统计报表" : "-汇总";
  if (!input.more_sources.empty()) {
    suffix = "等" + std::to_string(input.more_sources.size() + 1) + "个图层" + suffix;
  }
  return DefaultResultPath(input.source, suffix);
}

std::string WrittenToText(const std::filesystem::path& result) {
  return "统计完毕, 汇总结果已写入新的工作簿: " + result.string();
}

RunResult RunLayerToWorkbook(const RunOptions& options, const LayerInput& input,
                             const std::filesystem::path& result, MessageSink& sink) {
  try {
    xlsx::CheckNewWorkbookTarget(result);  // before the layer is read
  } catch (const HostError& error) {
    return Failed(sink, RunResult::Outcome::kHostFailure, std::nullopt, error.what());
  }
  NewWorkbookTarget target(result, DecimalsFromText(options.TextDecimals));
  WrittenToSink written_to(sink, WrittenToText(result));
  RunResult run = RunLayerSummary(options, input, target, written_to);
  if (run.outcome == RunResult::Outcome::kCompleted) run.message = WrittenToText(result);
  return run;
}

RunResult RunSheetToWorkbook(const RunOptions& options, SpreadsheetHost& host,
                             const std::filesystem::path& result, MessageSink& sink) {
  try {
    xlsx::CheckNewWorkbookTarget(result);  // before the workbook is read
  } catch (const HostError& error) {
    return Failed(sink, RunResult::Outcome::kHostFailure, std::nullopt, error.what());
  }
  NewWorkbookTarget target(result, DecimalsFromText(options.TextDecimals));
  WrittenToSink written_to(sink, WrittenToText(result));
  RunResult run = RunSummary(options, host, written_to, &target);
  if (run.outcome == RunResult::Outcome::kCompleted) run.message = WrittenToText(result);
  return run;
}

LayerChoices ReadLayerChoices(const std::string& source, const std::string& layer) {
  LayerChoices choices;
  try {
    choices.layers = LayerNames(source);
    choices.fields = LayerFieldNames(source, layer);
    choices.aliases = LayerFieldAliases(source, layer);
  } catch (const HostError&) {
    return {};
  }
  return choices;
}

}  // namespace quilmark
