// RunSummary: one run from the confirm button (or the command line) to its last message.
//
// It refuses an empty selection before touching the host; attaches to the application, its
// workbook in front and that workbook's active worksheet; shows the confirmation; checks the
// methods and the column numbers before any pass, so a run that stops has written nothing; runs
// the selected tasks in the fixed order land-use, master plan, zone totals, cross-tab; writes each
// task's block below the one before it; saves once; and ends with the completion message.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "src/app/messages.h"
#include "src/app/run_options.h"
#include "src/crosstab/cross_tab.h"
#include "src/host/row_source.h"
#include "src/host/sheet_host.h"
#include "src/landuse/class_table.h"
#include "src/report/report_task.h"
#include "src/summary/result_target.h"

namespace quilmark {

struct RunResult {
  enum class Outcome {
    kCompleted,    // every block written and saved; the completion message was shown
    kStopped,      // a fixed message stopped the run; nothing was saved
    kHostFailure,  // the host failed (cannot load, save, or reach the sheet); nothing was saved
    kCancelled,    // the user declined to go on after a warning, or cancelled; nothing was saved
  };
  Outcome outcome = Outcome::kCompleted;
  std::optional<StopReason> stop;  // with kStopped
  std::string message;             // the last message before any warning
  std::vector<std::string> warnings;  // shown after the completion message, in this order
};

// With a target, the tables go there instead of below the data: the sheet is then only read
// (zone codes converted by the run show in the tables, the sheet keeps its own) and the workbook
// is not saved.
RunResult RunSummary(const RunOptions& options, SpreadsheetHost& host, MessageSink& sink,
                     ResultTarget* target = nullptr);

// A run over rows that do not come from a spreadsheet host (a GIS layer, a database table): the
// source already reads the fields the user chose, so the column numbers of the options are not
// checked. No confirmation and nothing saved; the tables go to the target. area_name names the
// area column or field in a warning ("第 3 列", "字段 SHAPE_Area"); zone_header heads the
// cross-tab's zones. `reports` says where the survey reports' further fields sit in the rows and
// names the units; without it a run that chose reports stops (they read a layer's fields).
struct ReportSource {
  ReportFields fields;
  std::unordered_map<std::string, std::string> zone_names;  // code -> name
};
RunResult RunSummaryOnRows(const RunOptions& options, RowSource& rows, ResultTarget& target,
                           MessageSink& sink, std::string_view area_name,
                           std::string_view zone_header = kZoneHeader,
                           const ReportSource* reports = nullptr);

// The stop a run on a worksheet would give for the column options the chosen tasks read (zone,
// class, area, deduction), before it touches the host: the command line refuses such options
// before it opens anything, the run itself only after its confirmation.
std::optional<StopReason> CheckSheetColumnOptions(const RunOptions& options);

// A user's classification table from its file; else the message that says which file and what is
// wrong with it (the line, where one is to blame).
std::variant<ClassTable, std::string> ReadClassTableFile(const std::string& path);

}  // namespace quilmark
