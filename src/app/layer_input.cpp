#include "src/app/layer_input.h"

#include <memory>
#include <variant>

#include "src/app/layer_parts.h"
#include "src/app/overlay_input.h"
#include "src/app/report_layer.h"
#include "src/app/run_driver.h"
#include "src/app/zone_choice.h"
#include "src/host/ascii_text.h"
#include "src/host/layer_path.h"
#include "src/host/sheet_host.h"
#include "src/host/zone_transform.h"

namespace quilmark {
namespace {

// The survey reports' further fields added to the request, and the units' names; a missing
// field is a stop naming it. Reports key their rows by the codes themselves, so the zone
// transforms are not applied to the rows: the names table names the rows instead.
std::variant<ReportSource, std::string> ReportInput(const RunOptions& options,
                                                    const RunInput& input, LayerRequest& request) {
  const std::string& first = input.sources.front();
  const std::string layer = input.layer.empty() ? HidePassword(first) : input.layer;
  std::variant<ReportFields, std::string> fields =
      ChooseReportFields(options, LayerFieldNames(first, input.layer), layer, request);
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

// The cross-tab's header of a layer's zones: the zone field's name, or 区域 where the zones are
// not the field's values (named from a names file or from zone codes) or the field has no name.
std::string ZoneHeader(const RunOptions& options, const std::string& zone_field) {
  const bool named = !options.ZoneNamesFile.empty() || (options.CheckTDLY && options.CheckZQDM2MC);
  return named || TrimBlanks(zone_field).empty() ? "区域" : zone_field;
}

}  // namespace

std::string AreaName(const LayerRequest& request) {
  switch (request.area_from) {
    case AreaFrom::kEllipsoid:
      return "几何图形的椭球面积";
    case AreaFrom::kPlane:
      return "几何图形的平面面积";
    case AreaFrom::kField:
      break;
  }
  return request.area_field ? "字段 " + *request.area_field : "几何图形的面积";
}

LayerRequest ChosenLayerRequest(const RunOptions& options, const RunInput& input) {
  LayerRequest request;
  request.source = input.sources.front();
  request.layer = input.layer;
  request.where = input.where;
  request.zone_field = options.TextZQColumn;
  if (options.CheckTDLY || options.CheckZTGH || options.ChkNumArea ||
      !options.ListReports.empty()) {
    request.class_field = options.TextDKStyleColumn;
  }
  if (!TrimBlanks(options.TextAreaColumn).empty()) request.area_field = options.TextAreaColumn;
  request.area_from = AreaFromName(input.area_from).value_or(AreaFrom::kField);
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
std::variant<OpenedRows, RunResult> OpenOneLayer(const LayerRequest& request, const RunInput& input,
                                                 MessageSink& sink) {
  OpenedLayer layer = OpenLayer(request);
  const std::string source = HidePassword(input.sources.front());
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
                                                   const RunInput& input, MessageSink& sink) {
  const std::vector<LayerPart> parts = CheckLayerParts(request, input.sources);
  if (!sink.Confirm(LayerPartsConfirmationText(parts))) {
    return RunResult{RunResult::Outcome::kCancelled, std::nullopt, "", {}};
  }
  auto progress = [&sink](std::string_view stage) { sink.Progress(stage); };
  return OpenedRows{ReadLayerParts(parts, progress), parts.front().request.zone_field};
}

// The pieces of the sources cut by the overlay, once the user has confirmed both layers.
std::variant<OpenedRows, RunResult> OpenOverlay(const LayerRequest& request, const RunInput& input,
                                                MessageSink& sink, OverlayReport& report) {
  OverlayPieces pieces = OpenOverlayPieces(request, input, report);
  if (!sink.Confirm(pieces.confirmation)) {
    return RunResult{RunResult::Outcome::kCancelled, std::nullopt, "", {}};
  }
  if (pieces.empty) {
    return Failed(sink, RunResult::Outcome::kStopped, StopReason::kNoPatch,
                  NoPatchText(input.where, pieces.layer, HidePassword(input.sources.front())));
  }
  return OpenedRows{std::move(pieces.rows), request.zone_field};
}

// The layer (or layers) opened, the survey reports' fields chosen where reports are asked for;
// the result where the run ends there.
struct OpenedLayers {
  OpenedRows opened;
  std::optional<ReportSource> reports;
  std::optional<size_t> identifier;  // BSM among the further fields
};

// BSM added to the fields read where every source has it, so that the check finds patches
// counted twice: where several sources are summed as one (overlapping parts), for the survey
// reports and for a check alone. A single layer's plain summary does not pay for reading it (a
// sixth of the run on a shapefile), nor does a server that would sum the patches itself: a
// further field keeps the patches from being grouped there.
std::optional<size_t> AddIdentifierField(const RunOptions& options, const RunInput& input,
                                         LayerRequest& request) {
  constexpr const char* kIdentifier = "BSM";
  const bool wanted =
      options.CheckOnly || !options.ListReports.empty() || input.sources.size() > 1;
  if (!wanted) return std::nullopt;
  if (IsConnectionString(input.sources.front()) && request.extra_fields.empty()) {
    request.checked_identifier = kIdentifier;  // compared by the server where it sums
    return std::nullopt;
  }
  for (const std::string& source : input.sources) {
    if (!HasLayerField(LayerFieldNames(source, input.layer), kIdentifier)) return std::nullopt;
  }
  request.extra_fields.emplace_back(kIdentifier);
  return request.extra_fields.size() - 1;
}

std::variant<OpenedLayers, RunResult> OpenLayers(const RunOptions& options, const RunInput& input,
                                                 LayerRequest& request, MessageSink& sink,
                                                 OverlayReport& overlay) {
  sink.Progress("打开图层");
  OpenedLayers layers;
  if (!options.ListReports.empty()) {
    std::variant<ReportSource, std::string> chosen = ReportInput(options, input, request);
    if (std::string* missing = std::get_if<std::string>(&chosen)) {
      return Failed(sink, RunResult::Outcome::kStopped, StopReason::kReportField, *missing);
    }
    layers.reports = std::move(std::get<ReportSource>(chosen));
  }
  layers.identifier = AddIdentifierField(options, input, request);
  std::variant<OpenedRows, RunResult> opened =
      !input.overlay.empty()       ? OpenOverlay(request, input, sink, overlay)
      : input.sources.size() == 1 ? OpenOneLayer(request, input, sink)
                                  : OpenLayerParts(request, input, sink);
  if (RunResult* ended = std::get_if<RunResult>(&opened)) return std::move(*ended);
  layers.opened = std::move(std::get<OpenedRows>(opened));
  return layers;
}

}  // namespace

RunResult RunOnLayers(const RunRequest& request, MessageSink& sink) {
  const RunOptions& options = request.options;
  const RunInput& input = request.input;
  LayerRequest layer_request = ChosenLayerRequest(options, input);
  std::variant<OpenedLayers, RunResult> opened;
  OverlayReport overlay;  // kept until the pieces are summed
  try {
    opened = OpenLayers(options, input, layer_request, sink, overlay);
  } catch (const HostError& error) {
    return Failed(sink, RunResult::Outcome::kHostFailure, std::nullopt, error.what());
  }
  if (RunResult* ended = std::get_if<RunResult>(&opened)) return std::move(*ended);
  OpenedLayers& layers = std::get<OpenedLayers>(opened);
  std::unique_ptr<RowSource> rows =
      TransformZones(std::move(layers.opened.rows),
                     layers.reports ? ZoneTransform{} : ChosenZoneTransform(options));
  const RowsMeaning meaning{AreaName(layer_request), ZoneHeader(options, layers.opened.zone_field),
                            layers.reports ? &*layers.reports : nullptr, layers.identifier};
  try {
    RunResult result = RunOnRows(request, *rows, meaning, sink);
    if (!input.overlay.empty()) SayOverlay(overlay, result, sink);
    return result;
  } catch (const NoPatchInParts&) {
    return Failed(sink, RunResult::Outcome::kStopped, StopReason::kNoPatch,
                  NoPatchInPartsText(input.where, input.sources.size()));
  }
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
