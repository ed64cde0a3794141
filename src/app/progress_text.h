// The line that tells how far a run has come, the same in the window and on a terminal: the
// stage, the rows read of the total where it is known, the seconds taken and, on a long run,
// about how many are left.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quilmark {

// "汇总图斑 已读 5,000 / 20,000 行 25% … 6 秒, 约剩 18 秒"; `total` 0: not known, only the stage
// and the seconds are said. An empty stage reads "正在统计".
std::string ProgressText(std::string_view stage, int64_t done, int64_t total, double seconds);

}  // namespace quilmark
