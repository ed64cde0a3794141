#include "src/app/run_target.h"

#include "src/output/new_workbook.h"
#include "src/output/targets.h"
#include "src/summary/area_format.h"

namespace quilmark {

std::string TargetName(const RunRequest& request) {
  if (!request.output.target.empty()) return request.output.target;
  return IsLayerInput(request.input) ? "xlsx" : "";
}

std::optional<std::filesystem::path> ResultFile(const RunRequest& request) {
  const std::vector<std::string>& sources = request.input.sources;
  const std::string name = TargetName(request);
  if (name.empty()) {  // below the data
    if (request.output.file || sources.size() != 1) return request.output.file;
    return std::filesystem::path(sources.front());
  }
  const TargetKind* kind = FindTargetKind(name);
  if (kind == nullptr) return std::nullopt;
  if (!kind->writes_file) return kind->into_named_file ? request.output.file : std::nullopt;
  if (request.output.file || sources.empty()) return request.output.file;
  std::string suffix = request.options.ListReports.empty() ? "-汇总" : "-统计报表";
  if (sources.size() > 1) suffix = "等" + std::to_string(sources.size()) + "个图层" + suffix;
  return DefaultResultPath(sources.front(), suffix);
}

OpenedTarget OpenTarget(const RunRequest& request, std::optional<int64_t> below_row) {
  if (request.output.given != nullptr) return {nullptr, request.output.given};
  const TargetKind* kind = FindTargetKind(TargetName(request));
  if (kind == nullptr) return {nullptr, nullptr, request.output.file};
  const TargetPlace place{ResultFile(request), request.output.stream,
                          DecimalsFromText(request.options.TextDecimals), below_row,
                          request.output.csv_encoding};
  OpenedTarget opened{kind->open(place), nullptr};
  opened.target = opened.owned.get();
  return opened;
}

}  // namespace quilmark
