#include "src/host/live/write_batch.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace quilmark {
namespace {

std::vector<CellWrite> Writes(const std::vector<std::pair<int32_t, int32_t>>& cells) {
  std::vector<CellWrite> writes;
  for (const auto& [row, column] : cells) writes.push_back({row, column, 1.0});
  return writes;
}

TEST(GroupWrites, CoversExactlyTheWrittenCells) {
  struct Case {
    const char* name;
    std::vector<std::pair<int32_t, int32_t>> cells;  // sorted
    std::vector<CellBlock> blocks;
  };
  const Case cases[] = {
      {"nothing", {}, {}},
      {"one cell", {{5, 2}}, {{5, 2, 5, 2}}},
      {"a column", {{1, 1}, {2, 1}, {3, 1}}, {{1, 1, 3, 1}}},
      {"a column with a gap", {{1, 1}, {2, 1}, {4, 1}}, {{1, 1, 2, 1}, {4, 1, 4, 1}}},
      {"a table", {{7, 1}, {7, 2}, {8, 1}, {8, 2}}, {{7, 1, 8, 2}}},
      // A summary block: class keys from column 2 in the header row, zones and sums below.
      {"header above a wider body",
       {{10, 2}, {10, 3}, {11, 1}, {11, 2}, {11, 3}, {12, 1}, {12, 2}, {12, 3}},
       {{10, 2, 10, 3}, {11, 1, 12, 3}}},
      {"rows with different runs", {{1, 1}, {1, 2}, {2, 2}, {2, 3}}, {{1, 1, 1, 2}, {2, 2, 2, 3}}},
      {"two runs in one row", {{3, 1}, {3, 3}, {4, 1}, {4, 3}}, {{3, 1, 4, 1}, {3, 3, 4, 3}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(GroupWrites(Writes(c.cells), 1000), c.blocks);
  }
}

TEST(GroupWrites, SplitsRectanglesLargerThanTheLimit) {
  std::vector<std::pair<int32_t, int32_t>> cells;
  for (int32_t row = 1; row <= 7; ++row) {
    cells.push_back({row, 1});
    cells.push_back({row, 2});
  }
  const std::vector<CellBlock> expected = {{1, 1, 3, 2}, {4, 1, 6, 2}, {7, 1, 7, 2}};
  EXPECT_EQ(GroupWrites(Writes(cells), 6), expected);
  // A row wider than the limit still goes whole.
  EXPECT_EQ(GroupWrites(Writes({{1, 1}, {1, 2}, {1, 3}}), 2),
            (std::vector<CellBlock>{{1, 1, 1, 3}}));
}

TEST(SortAndDeduplicate, OrdersByRowThenColumnAndKeepsTheLastWrite) {
  std::vector<CellWrite> writes = {
      {2, 1, std::string("first")},
      {1, 3, 1.0},
      {2, 1, std::string("second")},
      {1, 2, CellValue{}},
  };
  SortAndDeduplicate(writes);
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(std::pair(writes[0].row, writes[0].column), std::pair(1, 2));
  EXPECT_EQ(std::pair(writes[1].row, writes[1].column), std::pair(1, 3));
  EXPECT_EQ(writes[2].value, CellValue(std::string("second")));
}

}  // namespace
}  // namespace quilmark
