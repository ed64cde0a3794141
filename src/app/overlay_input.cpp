#include "src/app/overlay_input.h"

#include <utility>
#include <vector>

#include "src/host/layer_path.h"
#include "src/host/source_sequence.h"

namespace quilmark {

OverlayPieces OpenOverlayPieces(const LayerRequest& request, const RunInput& input,
                                OverlayReport& report) {
  OverlayChoice choice = ParseOverlayChoice(input.overlay);
  choice.layer = input.overlay_layer;
  std::shared_ptr<const OverlayLayer> overlay = ReadOverlayFor(request, choice, report);
  report.inside_only = input.overlay_inside;
  OverlayPieces pieces;
  const std::string first = HidePassword(input.sources.front());
  if (input.sources.size() == 1) {
    OpenedLayer opened = OpenOverlayRows(request, overlay, report, input.overlay_inside);
    pieces.rows = std::move(opened.rows);
    pieces.layer = opened.name;
    pieces.empty = opened.empty;
  } else {
    std::vector<SourceSequence::Part> parts;
    for (const std::string& source : input.sources) {
      LayerRequest part = request;
      part.source = source;
      parts.push_back({HidePassword(source), [part, overlay, &report, &input] {
                         return OpenOverlayRows(part, overlay, report, input.overlay_inside).rows;
                       }});
    }
    pieces.rows = std::make_unique<SourceSequence>(std::move(parts), 1, [](size_t) {});
    pieces.layer = request.layer;
  }
  pieces.confirmation =
      "确认: 需要统计的图层为 " + (pieces.layer.empty() ? first : pieces.layer) + ", 数据源为 " +
      first +
      (input.sources.size() > 1 ? " 等 " + std::to_string(input.sources.size()) + " 个"
                                : std::string()) +
      "; 叠加图层为 " + overlay->name + ", 数据源为 " + HidePassword(choice.source);
  return pieces;
}

void SayOverlay(const OverlayReport& report, RunResult& result, MessageSink& sink) {
  if (result.outcome != RunResult::Outcome::kCompleted) return;
  for (std::string& word : report.Words()) {
    sink.Show(MessageKind::kWarning, word);
    result.warnings.push_back(std::move(word));
  }
}

}  // namespace quilmark
