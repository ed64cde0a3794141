#include "src/app/run_input.h"

#include "src/host/gdal/layer_path.h"
#include "src/host/live_loader.h"
#include "src/host/xlsx/xlsx_host.h"

namespace quilmark {
namespace {

// The host when no workbook file is named and no office can be reached: the application
// answers, but no workbook is open.
class NoWorkbookHost final : public SpreadsheetHost {
 public:
  bool Attach() override { return true; }
  Workbook* ActiveWorkbook() override { return nullptr; }
};

}  // namespace

bool IsLayerInput(const RunInput& input) {
  return input.workbook && IsLayerPath(input.workbook->string());
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
    return std::make_unique<XlsxFileHost>(
        *input.workbook, XlsxHostOptions{input.sheet, input.output, input.read_only});
  }
#ifdef QUILMARK_HAVE_LIVE
  return LoadLiveHost(
      {LoopbackConnect(input.office_port), input.office_timeout, input.office_timeout});
#else
  return std::make_unique<NoWorkbookHost>();
#endif
}

}  // namespace quilmark
