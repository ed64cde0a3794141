// The target a request's tables go to, opened once the run knows where its data ends.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "src/app/run_request.h"
#include "src/summary/result_target.h"

namespace quilmark {

struct OpenedTarget {
  std::unique_ptr<ResultTarget> owned;
  ResultTarget* target = nullptr;  // nullptr: below the data of the worksheet read
};

// The caller's own target, or the one the request names; below_row is the data's last row where
// the rows come from a worksheet.
OpenedTarget OpenTarget(const RunRequest& request, std::optional<int64_t> below_row);

}  // namespace quilmark
