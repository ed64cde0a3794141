#include "src/app/progress_text.h"

#include <algorithm>
#include <cmath>

namespace quilmark {
namespace {

// A run this long says about how long it has left; before that the guess is too rough.
constexpr double kEstimateAfter = 5.0;

// 20000 as "20,000".
std::string Grouped(int64_t number) {
  std::string digits = std::to_string(number);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(at, ",");
  return digits;
}

}  // namespace

std::string ProgressText(std::string_view stage, int64_t done, int64_t total, double seconds) {
  std::string text = stage.empty() ? "正在统计" : std::string(stage);
  const bool share = total > 0 && done > 0;
  if (share) {
    done = std::min(done, total);
    text += " 已读 " + Grouped(done) + " / " + Grouped(total) + " 行 " +
            std::to_string(done * 100 / total) + "%";
  }
  text += " … " + std::to_string(static_cast<int64_t>(seconds)) + " 秒";
  if (share && done < total && seconds >= kEstimateAfter) {
    const double left = seconds * static_cast<double>(total - done) / static_cast<double>(done);
    text += ", 约剩 " + std::to_string(static_cast<int64_t>(std::ceil(left))) + " 秒";
  }
  return text;
}

}  // namespace quilmark
