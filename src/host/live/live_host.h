// The live host: the workbook a user has open in a running LibreOffice Calc, reached over the
// office's UNO socket. The run's result is written into the open document and left there unsaved
// for the user to review.
#pragma once

#include <memory>

#include "src/host/live_contract.h"
#include "src/host/sheet_host.h"

namespace quilmark {

// A host over a running office. Attach connects (false when no office answers in time; throws
// HostError when the office's type libraries are not installed); ActiveWorkbook is the office's
// current spreadsheet document, nullptr when the document in front is none or not a spreadsheet.
// Reads fetch whole columns in bulk; writes reach the document when the workbook's Save is called,
// so a run that stops leaves the document as it was. A lost connection or a document closed
// during the run throws HostError.
std::unique_ptr<SpreadsheetHost> MakeLiveHost(LiveHostOptions options = {});

}  // namespace quilmark
