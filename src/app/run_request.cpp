#include "src/app/run_request.h"

#include <set>

#include "src/app/layer_parts.h"
#include "src/app/run_driver.h"
#include "src/app/run_target.h"
#include "src/host/layer_path.h"
#include "src/host/xlsx/file_guard.h"
#include "src/landuse/land_use.h"
#include "src/output/targets.h"

namespace quilmark {
namespace {

RunResult Ended(MessageSink& sink, RunResult::Outcome outcome, std::optional<StopReason> stop,
                std::string text) {
  sink.Show(stop ? MessageKind::kStop : MessageKind::kHostFailure, text);
  return {outcome, stop, std::move(text), {}};
}

constexpr std::string_view kNoDefaultResult =
    "数据库连接没有默认的结果文件名, 请用 -o 指定结果工作簿。";

// Throws HostError where the result could not be written: a copy named empty, a new workbook
// under a name or in a place the file host would refuse, or none where none is named.
void CheckResultWritable(const RunRequest& request) {
  if (request.output.given != nullptr) return;
  if (request.output.file) xlsx::CheckOutputGiven(*request.output.file);
  const TargetKind* kind = FindTargetKind(TargetName(request));
  if (kind == nullptr || kind->check == nullptr) return;
  const std::optional<std::filesystem::path> file = ResultFile(request);
  if (!file && kind->writes_file) throw HostError(std::string(kNoDefaultResult));
  kind->check(TargetPlace{file, request.output.stream, std::nullopt, std::nullopt});
}

// Several sources are summed as one layer; a workbook's tables go below its own data, so several
// workbooks, or workbooks with layers, are not summed together. A source named twice would count
// its patches twice.
std::optional<std::string> SeveralSourcesRefusal(const std::vector<std::string>& sources) {
  if (sources.size() < 2) return std::nullopt;
  std::set<std::string> seen;
  for (const std::string& source : sources) {
    if (!IsLayerPath(source)) {
      return "多个数据源只能都是 GIS 图层 (.shp、.gpkg、.gdb、PG:... 等), 而 " + source +
             " 不是; 工作簿的汇总写在它自己的数据下方, 请每个工作簿单独汇总。";
    }
    std::error_code error;
    const std::filesystem::path path = std::filesystem::weakly_canonical(source, error);
    if (!seen.insert(error ? source : path.string()).second) {
      return "数据源 " + HidePassword(source) +
             " 给了两次, 其图斑会被重复统计; 请每个数据源只给一次。";
    }
  }
  return std::nullopt;
}

// Passes everything on; a run whose zone codes the built-in table names says so, and whose
// place that table is, in its confirmation, where the user can still stop it.
class ZoneTableNoteSink final : public RelaySink {
 public:
  ZoneTableNoteSink(MessageSink& sink, const RunOptions& options) : RelaySink(sink) {
    if (options.CheckTDLY && options.CheckZQDM2MC) {
      note_ = "\r区域代码按内置的" + std::string(kBuiltInZonesPlace) + "镇区名称表转换为名称 (如 " +
              "101 → " + ConvertZoneCode("101") +
              "); 其他地方的数据请用本地的区域代码与名称对照表。";
    }
  }
  bool Confirm(std::string_view text) override {
    return sink_.Confirm(note_.empty() ? std::string(text) : std::string(text) + note_);
  }

 private:
  std::string note_;
};

}  // namespace

std::optional<std::string> RequestRefusal(const RunRequest& request) {
  if (auto refusal = SeveralSourcesRefusal(request.input.sources)) return refusal;
  const TargetKind* kind = FindTargetKind(TargetName(request));
  if (kind != nullptr && kind->writes_file && request.output.given == nullptr &&
      !ResultFile(request)) {
    return std::string(kNoDefaultResult);
  }
  return std::nullopt;
}

RunResult CarryOut(const RunRequest& request, MessageSink& sink) {
  try {
    CheckResultWritable(request);  // before anything is read
  } catch (const HostError& error) {
    return Ended(sink, RunResult::Outcome::kHostFailure, std::nullopt, error.what());
  }
  if (!AnyTask(request.options)) {  // nothing is opened
    return Ended(sink, RunResult::Outcome::kStopped, StopReason::kNoTask,
                 std::string(MessageText(StopReason::kNoTask)));
  }
  // The programs refuse these before they build the request; a caller that did not is told so.
  if (std::optional<std::string> refusal = SeveralSourcesRefusal(request.input.sources)) {
    return Ended(sink, RunResult::Outcome::kHostFailure, std::nullopt, std::move(*refusal));
  }
  ZoneTableNoteSink noted(sink, request.options);
  for (const InputKind& kind : InputKinds()) {
    if (kind.takes(request.input)) return kind.run(request, noted);
  }
  return Ended(sink, RunResult::Outcome::kHostFailure, std::nullopt,
               "无法识别的数据源: 请给出一个 .xlsx 工作簿或 GIS 图层。");
}

}  // namespace quilmark
