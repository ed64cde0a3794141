#include "src/app/run_input.h"

#include <iostream>

#include "src/app/layer_input.h"
#include "src/host/gdal/layer_path.h"
#include "src/host/live_loader.h"
#include "src/host/xlsx/xlsx_host.h"
#include "src/summary/csv_target.h"

namespace quilmark {
namespace {

// The host when no workbook file is named and no office can be reached: the application
// answers, but no workbook is open.
class NoWorkbookHost final : public SpreadsheetHost {
 public:
  bool Attach() override { return true; }
  Workbook* ActiveWorkbook() override { return nullptr; }
};

// Where a layer's tables go.
std::unique_ptr<ResultTarget> LayerTarget(const RunInput& input) {
  if (input.csv) return std::make_unique<CsvTarget>(std::cout);
  throw HostError("图层的汇总结果暂时只能以 CSV 写到标准输出 (命令行: --format csv)");
}

}  // namespace

bool IsLayerInput(const RunInput& input) {
  return input.workbook && IsLayerPath(input.workbook->string());
}

RunResult RunOnInput(const RunOptions& options, const RunInput& input, MessageSink& sink) {
  if (!IsLayerInput(input)) return RunSummary(options, *OpenInput(input), sink);
  const LayerInput layer{input.workbook->string(), input.layer, input.where};
  try {
    std::unique_ptr<ResultTarget> target = LayerTarget(input);
    return RunLayerSummary(options, layer, *target, sink);
  } catch (const HostError& error) {
    sink.Show(MessageKind::kHostFailure, error.what());
    return {RunResult::Outcome::kHostFailure, std::nullopt, error.what(), {}};
  }
}

bool LiveOfficeBuiltIn() {
#ifdef QUILMARK_HAVE_LIVE
  return true;
#else
  return false;
#endif
}

std::unique_ptr<SpreadsheetHost> OpenInput(const RunInput& input) {
  if (input.workbook) {
    return std::make_unique<XlsxFileHost>(*input.workbook,
                                          XlsxHostOptions{input.sheet, input.output});
  }
#ifdef QUILMARK_HAVE_LIVE
  return LoadLiveHost(
      {LoopbackConnect(input.office_port), input.office_timeout, input.office_timeout});
#else
  return std::make_unique<NoWorkbookHost>();
#endif
}

}  // namespace quilmark
