#include "src/host/live/write_batch.h"

#include <algorithm>
#include <map>
#include <utility>

namespace quilmark {

void SortAndDeduplicate(std::vector<CellWrite>& writes) {
  auto position = [](const CellWrite& w) { return std::pair(w.row, w.column); };
  std::stable_sort(writes.begin(), writes.end(), [&](const CellWrite& a, const CellWrite& b) {
    return position(a) < position(b);
  });
  // Of equal cells, the stable sort keeps the writes in the order they were made: keep the last.
  std::vector<CellWrite> kept;
  kept.reserve(writes.size());
  for (CellWrite& write : writes) {
    if (!kept.empty() && position(kept.back()) == position(write)) {
      kept.back() = std::move(write);
    } else {
      kept.push_back(std::move(write));
    }
  }
  writes = std::move(kept);
}

std::vector<CellBlock> GroupWrites(const std::vector<CellWrite>& sorted_writes, int64_t max_cells) {
  std::vector<CellBlock> blocks;
  // The rectangle that may still grow downwards, by its column run.
  std::map<std::pair<int32_t, int32_t>, size_t> open;
  size_t i = 0;
  while (i < sorted_writes.size()) {
    const int32_t row = sorted_writes[i].row;
    const int32_t left = sorted_writes[i].column;
    int32_t right = left;
    ++i;
    while (i < sorted_writes.size() && sorted_writes[i].row == row &&
           sorted_writes[i].column == right + 1) {
      ++right;
      ++i;
    }
    const int64_t width = right - left + 1;
    auto it = open.find({left, right});
    if (it != open.end()) {
      CellBlock& block = blocks[it->second];
      const int64_t cells = (int64_t{block.bottom} - block.top + 2) * width;
      if (block.bottom == row - 1 && cells <= max_cells) {
        block.bottom = row;
        continue;
      }
    }
    open[{left, right}] = blocks.size();
    blocks.push_back({row, left, row, right});
  }
  return blocks;
}

}  // namespace quilmark
