// The run itself, once CarryOut has chosen the input's kind: the checks that may stop it before
// any pass, the one pass over the rows feeding every chosen task in the fixed order land-use,
// master plan, zone totals, cross-tab, reports, the tables written once all are known to fit, and
// the completion with its warnings. A run that stops has written nothing.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>

#include "src/app/run_request.h"
#include "src/crosstab/cross_tab.h"
#include "src/host/row_source.h"
#include "src/host/sheet_host.h"
#include "src/landuse/class_table.h"
#include "src/report/report_task.h"
#include "src/summary/result_target.h"

namespace quilmark {

// The run over the active worksheet of the host's workbook in front: attaches, warns of rows an
// earlier run wrote, confirms, checks the methods, columns and coefficients, and writes the
// tables below the data (saving the workbook) or to the request's target (the sheet only read).
RunResult RunOnSheet(const RunRequest& request, SpreadsheetHost& host, MessageSink& sink);

// What a run over rows that do not come from a worksheet knows of them: how a warning names the
// area ("第 3 列", "字段 SHAPE_Area"), the cross-tab's header of its zones, and where the survey
// reports' further fields sit (nullptr: the rows have none, and a run that chose reports stops).
struct ReportSource {
  ReportFields fields;
  std::unordered_map<std::string, std::string> zone_names;  // code -> name
};
struct RowsMeaning {
  std::string area_name;
  std::string zone_header = std::string(kZoneHeader);
  const ReportSource* reports = nullptr;
  std::optional<size_t> identifier;  // where the rows' further fields hold BSM
};

// The run over such rows: they already read the fields the user chose, so no column number is
// checked; no confirmation and nothing saved; the tables go to the request's target.
RunResult RunOnRows(const RunRequest& request, RowSource& rows, const RowsMeaning& meaning,
                    MessageSink& sink);

// The stop a run on a worksheet would give for the column options the chosen tasks read (zone,
// class, area, deduction), before it touches the host.
std::optional<StopReason> CheckSheetColumnOptions(const RunOptions& options);

// Whether the options choose any task.
bool AnyTask(const RunOptions& options);

// A user's classification table from its file; else the message that says which file and what is
// wrong with it (the line, where one is to blame).
std::variant<ClassTable, std::string> ReadClassTableFile(const std::string& path);

}  // namespace quilmark
