#include "src/app/layer_input.h"

#include <memory>

#include "src/app/zone_choice.h"
#include "src/host/gdal/layer_path.h"
#include "src/host/sheet_host.h"
#include "src/host/zone_transform.h"

namespace quilmark {
namespace {

bool AnyTask(const RunOptions& options) {
  return options.CheckTDLY || options.CheckZTGH || options.CheckZQStat || options.ChkNumArea;
}

RunResult Failed(MessageSink& sink, RunResult::Outcome outcome, std::optional<StopReason> stop,
                 std::string text) {
  sink.Show(stop ? MessageKind::kStop : MessageKind::kHostFailure, text);
  return {outcome, stop, std::move(text), {}};
}

}  // namespace

LayerRequest ChosenLayerRequest(const RunOptions& options, const LayerInput& input) {
  LayerRequest request;
  request.source = input.source;
  request.layer = input.layer;
  request.where = input.where;
  request.zone_field = options.TextZQColumn;
  if (options.CheckTDLY || options.CheckZTGH || options.ChkNumArea) {
    request.class_field = options.TextDKStyleColumn;
  }
  if (!TrimBlanks(options.TextAreaColumn).empty()) request.area_field = options.TextAreaColumn;
  if (options.CheckTDLY && !options.TextKCXSColumn.empty()) {
    request.deduction_field = options.TextKCXSColumn;
  }
  return request;
}

RunResult RunLayerSummary(const RunOptions& options, const LayerInput& input, ResultTarget& target,
                          MessageSink& sink) {
  if (!AnyTask(options)) {  // nothing is opened
    return Failed(sink, RunResult::Outcome::kStopped, StopReason::kNoTask,
                  std::string(MessageText(StopReason::kNoTask)));
  }
  const LayerRequest request = ChosenLayerRequest(options, input);
  std::unique_ptr<RowSource> rows;
  try {
    sink.Progress("打开图层");
    OpenedLayer layer = OpenLayer(request);
    sink.Show(MessageKind::kConfirmation,
              ConfirmationText(LayerSourceName(input.source), layer.name));
    rows = TransformZones(std::move(layer.rows), ChosenZoneTransform(options));
  } catch (const HostError& error) {
    return Failed(sink, RunResult::Outcome::kHostFailure, std::nullopt, error.what());
  }
  const std::string area_name =
      request.area_field ? "字段 " + *request.area_field : std::string("几何图形的面积");
  return RunSummaryOnRows(options, *rows, target, sink, area_name);
}

}  // namespace quilmark
