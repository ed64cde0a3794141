#include "src/app/run_target.h"

#include "src/output/targets.h"
#include "src/summary/area_format.h"

namespace quilmark {

OpenedTarget OpenTarget(const RunRequest& request, std::optional<int64_t> below_row) {
  if (request.output.given != nullptr) return {nullptr, request.output.given};
  const TargetKind* kind = FindTargetKind(TargetName(request));
  if (kind == nullptr) return {};
  const TargetPlace place{ResultFile(request), request.output.stream,
                          DecimalsFromText(request.options.TextDecimals), below_row};
  OpenedTarget opened{kind->open(place), nullptr};
  opened.target = opened.owned.get();
  return opened;
}

}  // namespace quilmark
