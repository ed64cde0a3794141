#include "src/app/run_input.h"

#include <memory>

#include "src/app/layer_input.h"
#include "src/app/run_driver.h"
#include "src/app/run_target.h"
#include "src/app/run_request.h"
#include "src/host/live_loader.h"
#include "src/host/xlsx/xlsx_host.h"

namespace quilmark {
namespace {

// The host when no workbook file is named and no office can be reached in this build: the
// application answers, but no workbook is open.
class NoWorkbookHost final : public SpreadsheetHost {
 public:
  bool Attach() override { return true; }
  Workbook* ActiveWorkbook() override { return nullptr; }
};

bool HasRows(const RunInput& input) { return input.rows != nullptr; }
bool HasHost(const RunInput& input) { return input.host != nullptr; }
bool NoSource(const RunInput& input) { return input.sources.empty(); }
bool IsWorkbookFile(const RunInput& input) { return input.sources.size() == 1; }

RunResult RunGivenRows(const RunRequest& request, MessageSink& sink) {
  return RunOnRows(request, *request.input.rows, RowsMeaning{request.input.rows_area}, sink);
}

RunResult RunGivenHost(const RunRequest& request, MessageSink& sink) {
  return RunOnSheet(request, *request.input.host, sink);
}

// The file is loaded when the run attaches (its rows streamed to the pass where the run can take
// them so), and written back (or into its copy) only when the tables go below its data; else it
// is only read and not checked for writing.
RunResult RunWorkbookFile(const RunRequest& request, MessageSink& sink) {
  const bool below_data = request.output.given == nullptr && TargetName(request).empty();
  XlsxFileHost host(request.input.sources.front(),
                    XlsxHostOptions{request.input.sheet,
                                    below_data ? request.output.file : std::nullopt, !below_data,
                                    kStreamRowsFrom});
  return RunOnSheet(request, host, sink);
}

// The office's plugin is loaded, and the office reached, when the run attaches.
RunResult RunLiveOffice(const RunRequest& request, MessageSink& sink) {
  if (!LiveOfficeBuiltIn()) {
    NoWorkbookHost none;
    return RunOnSheet(request, none, sink);
  }
  const RunInput& input = request.input;
  std::unique_ptr<SpreadsheetHost> host = LoadLiveHost(
      {LoopbackConnect(input.office_port), input.office_timeout, input.office_timeout});
  return RunOnSheet(request, *host, sink);
}

constexpr InputKind kInputKinds[] = {
    {"rows", HasRows, RunGivenRows},
    {"host", HasHost, RunGivenHost},
    {"live office", NoSource, RunLiveOffice},
    {"layer", IsLayerInput, RunOnLayers},
    {"workbook file", IsWorkbookFile, RunWorkbookFile},
};

}  // namespace

std::span<const InputKind> InputKinds() { return kInputKinds; }

bool LiveOfficeBuiltIn() {
#ifdef QUILMARK_HAVE_LIVE
  return true;
#else
  return false;
#endif
}

}  // namespace quilmark
