// Where a request's tables go: the target's name, the file it writes, and the target itself,
// opened once the run knows where its data ends. Apart from CarryOut, so that the sheet and row
// runs use it without linking every input kind.
#pragma once

#include <cstdint>
#include <memory>
#include <filesystem>
#include <optional>
#include <string>

#include "src/app/run_request.h"
#include "src/summary/result_target.h"

namespace quilmark {

// The file the run writes its tables into: the new workbook (named, or beside the first source
// with -汇总, -统计报表 for the reports, "等3个图层" for several sources), or the workbook itself
// or its copy; nullopt where it writes no file or the source has no place beside it (a database).
std::optional<std::filesystem::path> ResultFile(const RunRequest& request);

// The target a request's tables go to, by name ("" below the data); a layer's default is "xlsx".
std::string TargetName(const RunRequest& request);

struct OpenedTarget {
  std::unique_ptr<ResultTarget> owned;
  ResultTarget* target = nullptr;  // nullptr: below the data of the worksheet read
  // Below the data: the copy the workbook is saved as (-o), which the completion names.
  std::optional<std::filesystem::path> copy;
};

// The caller's own target, or the one the request names; below_row is the data's last row where
// the rows come from a worksheet.
OpenedTarget OpenTarget(const RunRequest& request, std::optional<int64_t> below_row);

}  // namespace quilmark
