#include "src/host/xlsx/xlsx_host.h"

#include "src/host/xlsx/file_guard.h"
#include "src/host/xlsx/xlsx_workbook.h"

namespace quilmark {

XlsxFileHost::XlsxFileHost(std::filesystem::path workbook, XlsxHostOptions options)
    : path_(std::move(workbook)), options_(std::move(options)) {}

XlsxFileHost::~XlsxFileHost() = default;

Workbook* XlsxFileHost::ActiveWorkbook() {
  if (!workbook_) {
    if (!options_.read_only) xlsx::CheckRunTarget(path_, options_.output);
    workbook_ =
        std::make_unique<xlsx::XlsxWorkbook>(path_, options_.sheet, options_.output.value_or(""),
                                             options_.stream_rows_from);
  }
  return workbook_.get();
}

}  // namespace quilmark
