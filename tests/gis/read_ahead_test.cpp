#include "src/host/read_ahead.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

namespace quilmark {
namespace {

// Counts 1..rows, throwing at row `fail_at` when given.
class CountingRows : public RowSource {
 public:
  CountingRows(int64_t rows, std::optional<int64_t> fail_at) : rows_(rows), fail_at_(fail_at) {}
  bool Next(SourceRow& row) override {
    if (next_ == fail_at_) throw std::runtime_error("lost");
    if (next_ > rows_) return false;
    row.number = next_;
    row.zone = CellValue(std::to_string(next_++));
    return true;
  }
  std::string RowLabel(int64_t number) const override { return "#" + std::to_string(number); }

 private:
  int64_t rows_;
  std::optional<int64_t> fail_at_;
  int64_t next_ = 1;
};

// Across batch boundaries every row arrives once and in order, and a failure arrives where the
// source failed, after the rows before it.
TEST(ReadAheadRows, RowsInOrderAndFailuresInPlace) {
  struct Case {
    int64_t rows;
    std::optional<int64_t> fail_at;
  };
  for (const Case& c : {Case{0, {}}, Case{1, {}}, Case{2048, {}}, Case{10000, {}}, Case{10000, 1},
                        Case{10000, 4097}}) {
    ReadAheadRows rows(std::make_unique<CountingRows>(c.rows, c.fail_at));
    SourceRow row;
    int64_t seen = 0;
    try {
      while (rows.Next(row)) {
        ASSERT_EQ(row.number, ++seen);
        ASSERT_EQ(CellText(*row.zone), std::to_string(seen));
      }
      EXPECT_FALSE(c.fail_at) << c.rows;
      EXPECT_EQ(seen, c.rows);
    } catch (const std::runtime_error&) {
      EXPECT_EQ(seen + 1, c.fail_at.value_or(-1));
    }
    EXPECT_EQ(rows.RowLabel(3), "#3");
  }
}

// A reader dropped part way stops its thread without reading to the end.
TEST(ReadAheadRows, StopsWhenDroppedEarly) {
  auto rows =
      std::make_unique<ReadAheadRows>(std::make_unique<CountingRows>(1000000, std::nullopt));
  SourceRow row;
  ASSERT_TRUE(rows->Next(row));
  rows.reset();
}

// Rows change hands by swapping cells: every pairing of kinds (including a missing cell) must
// arrive whole on both sides.
TEST(SourceRowSwap, TradesEveryKindOfCell) {
  const std::optional<CellValue> cells[] = {std::nullopt,
                                            CellValue(),
                                            CellValue(2.5),
                                            CellValue(std::string("a long zone text, on the heap")),
                                            CellValue(std::string("011")),
                                            CellValue(true)};
  for (const auto& first : cells) {
    for (const auto& second : cells) {
      SourceRow a, b;
      a.number = 1;
      b.number = 2;
      a.zone = a.area = first;
      b.zone = b.area = second;
      swap(a, b);
      EXPECT_EQ(a.number, 2);
      EXPECT_EQ(b.number, 1);
      EXPECT_EQ(a.zone, second);
      EXPECT_EQ(a.area, second);
      EXPECT_EQ(b.zone, first);
      EXPECT_EQ(b.area, first);
    }
  }
}

}  // namespace
}  // namespace quilmark
