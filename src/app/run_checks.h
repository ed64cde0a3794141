// The data check as a run carries it: the rows that are no patches left out, the checks fed beside
// the tasks, and after the pass every finding gathered (the check's own, the area cells', the
// land-use task's), the errors stopping the run before anything is written.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "src/app/run_options.h"
#include "src/host/row_source.h"
#include "src/summary/area_check.h"
#include "src/summary/data_check.h"
#include "src/summary/total_rows.h"

namespace quilmark {

struct ReportSource;

// An error found by the check: the run stops with this reason and text.
struct DataStop {
  bool column = false;  // a useless column rather than faulty patches
  std::string text;
};

// How the check names the columns, and which fields it reads beyond zone, class and area.
struct CheckedColumns {
  std::string zone, class_, area;  // "第 1 列", "字段 ZLDWDM"
  bool class_read = false;
  bool deduction_read = false;
  const ReportSource* reports = nullptr;
  std::optional<size_t> identifier;  // BSM among the further fields
};

// The checks of one run over `rows`; a worksheet's rows (sheet_rows) may hold titles.
class RunChecks {
 public:
  RunChecks(const RunOptions& options, RowSource& rows, bool sheet_rows,
            const CheckedColumns& columns);

  // The rows the tasks read: the source's, the rows that are no patches left out.
  RowSource& patches() { return patches_; }
  // The checks to feed beside the tasks.
  std::vector<RowSink*> sinks() { return {&area_, &data_}; }

  // Every finding once the rows are in, errors first, then the given warnings of the tasks.
  std::vector<Finding> Findings(const std::vector<std::string>& task_warnings) const;

 private:
  RowSource& rows_;
  PatchRowsOnly patches_;
  AreaCheck area_;
  DataCheck data_;
  std::string area_name_;
};

// Throws DataStop when any finding is an error.
void StopOnErrors(const std::vector<Finding>& findings);

// The findings as the warnings said before the completion.
std::vector<std::string> FindingTexts(const std::vector<Finding>& findings);

}  // namespace quilmark
