// The live host: the workbook a user has open in a running LibreOffice Calc, reached over the
// office's UNO socket. The run's result is written into the open document and left there unsaved
// for the user to review.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "src/host/sheet_host.h"

namespace quilmark {

inline constexpr std::chrono::seconds kDefaultOfficeTimeout{15};

struct LiveHostOptions {
  // Where the office listens, as given to its --accept option; a "uno:" prefix and a trailing
  // object name are accepted too.
  std::string connect = "socket,host=127.0.0.1,port=2002;urp;";
  // How long the office has to answer the connection (a refused connection ends at once), and
  // how long it may stay silent during any call of a run before the run is stopped and the
  // connection closed. A busy office can take seconds to answer.
  std::chrono::milliseconds attach_timeout{kDefaultOfficeTimeout};
  std::chrono::milliseconds call_timeout{kDefaultOfficeTimeout};
};

// The connection string for an office listening on this loopback port.
inline std::string LoopbackConnect(int port) {
  return "socket,host=127.0.0.1,port=" + std::to_string(port) + ";urp;";
}

// A host over a running office. Attach connects (false when no office answers in time; throws
// HostError when the office's type libraries are not installed); ActiveWorkbook is the office's
// current spreadsheet document, nullptr when the document in front is none or not a spreadsheet.
// Reads fetch whole columns in bulk; writes reach the document when the workbook's Save is called,
// so a run that stops leaves the document as it was. A lost connection or a document closed
// during the run throws HostError.
std::unique_ptr<SpreadsheetHost> MakeLiveHost(LiveHostOptions options = {});

}  // namespace quilmark
