// One run as the user asked for it, whoever asked (the command line, the window, a test): what to
// read, where the tables go, and the choices. Both programs build a request and hand it to
// CarryOut, which opens the source and the target, feeds the rows once through the chosen tasks,
// writes, and ends with the target's word on where the tables went.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "src/app/messages.h"
#include "src/app/run_input.h"
#include "src/app/run_options.h"
#include "src/output/csv_target.h"
#include "src/summary/result_target.h"

namespace quilmark {

struct RunOutput {
  // Empty: below the data of the worksheet read (a layer's tables, having no worksheet, go into
  // a new workbook beside the source); else the name of one of TargetKinds() (targets.h).
  std::string target;
  // Below the data: a copy of the workbook to write instead of the workbook itself. A new
  // workbook: its file (nullopt: beside the first source, see ResultFile).
  std::optional<std::filesystem::path> file;
  std::ostream* stream = nullptr;  // where CSV or a preview print (nullptr: standard output)
  CsvEncoding csv_encoding = CsvEncoding::kUtf8;
  // A target the caller made itself (a test), used in place of `target`; the worksheet is then
  // only read.
  ResultTarget* given = nullptr;
};

struct RunRequest {
  RunOptions options;
  RunInput input;
  RunOutput output;
};

struct RunResult {
  enum class Outcome {
    kCompleted,    // every table written (and saved); the completion message was shown
    kStopped,      // a fixed message stopped the run; nothing was saved
    kHostFailure,  // the host failed (cannot load, save, or reach the sheet); nothing was saved
    kCancelled,    // the user declined to go on after a warning, or cancelled; nothing was saved
  };
  Outcome outcome = Outcome::kCompleted;
  std::optional<StopReason> stop;  // with kStopped
  std::string message;             // the last message before any warning
  std::vector<std::string> warnings;  // shown after the completion message, in this order
};

// Carries the run out, every message going to `sink`. A target that would not be written is
// refused before anything is read; a run with no task chosen contacts nothing.
RunResult CarryOut(const RunRequest& request, MessageSink& sink);

// The refusal of a request that cannot be carried out as asked, before anything is opened: a
// source named twice, several sources that are not all GIS sources, a worksheet column that is
// no number, a new workbook that has no default place. nullopt where it may go ahead.
std::optional<std::string> RequestRefusal(const RunRequest& request);

}  // namespace quilmark
