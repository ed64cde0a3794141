#include "src/host/source_sequence.h"

#include <gtest/gtest.h>

#include <optional>

#include "src/host/read_ahead.h"
#include "src/host/sheet_host.h"

namespace quilmark {
namespace {

// Rows 1..rows of one part, each zone "part:row"; fails at row `fail_at` when given.
class PartRows : public RowSource {
 public:
  PartRows(std::string part, int64_t rows, std::optional<int64_t> fail_at)
      : part_(std::move(part)), rows_(rows), fail_at_(fail_at) {}
  bool Next(SourceRow& row) override {
    if (next_ == fail_at_) throw HostError("lost");
    if (next_ > rows_) return false;
    row.number = next_;
    row.zone = CellValue(part_ + ":" + std::to_string(next_++));
    return true;
  }
  std::string RowLabel(int64_t number) const override { return "FID " + std::to_string(number); }

 private:
  std::string part_;
  int64_t rows_;
  std::optional<int64_t> fail_at_;
  int64_t next_ = 1;
};

struct PartCase {
  int64_t rows;
  std::optional<int64_t> fail_at;  // 0: the part cannot be opened
};

// The parts' rows in order, numbered on; the parts entered in order; a part that cannot be opened
// or fails part way throws with its name, after the rows before it; labels name their part.
TEST(SourceSequence, PartsInOrderNumberedOnAndNamedInFailures) {
  struct Case {
    std::vector<PartCase> parts;
    size_t open_at_once;
    std::optional<std::string> failure;
  };
  const Case cases[] = {
      {{{3, {}}, {0, {}}, {5000, {}}, {2, {}}}, 1, {}},
      {{{3, {}}, {0, {}}, {5000, {}}, {2, {}}}, 3, {}},
      {{{0, {}}, {0, {}}}, 2, {}},
      {{{3, {}}, {10, 0}, {2, {}}}, 2, "第 2/3 个数据源 p1: closed"},
      {{{3, {}}, {3000, 2500}, {2, {}}}, 2, "第 2/3 个数据源 p1: lost"},
  };
  for (const Case& c : cases) {
    std::vector<SourceSequence::Part> parts;
    std::vector<std::string> expected;  // the zones, in order
    bool failed = false;
    for (size_t i = 0; i < c.parts.size(); ++i) {
      const PartCase part = c.parts[i];
      const std::string name = "p" + std::to_string(i);
      parts.push_back({name, [=]() -> std::unique_ptr<RowSource> {
                         if (part.fail_at == 0) throw HostError("closed");
                         return std::make_unique<ReadAheadRows>(
                             std::make_unique<PartRows>(name, part.rows, part.fail_at));
                       }});
      for (int64_t row = 1; !failed && part.fail_at != 0 && row <= part.rows && row != part.fail_at;
           ++row) {
        expected.push_back(name + ":" + std::to_string(row));
      }
      failed = failed || part.fail_at.has_value();
    }
    std::vector<size_t> entered;
    SourceSequence rows(std::move(parts), c.open_at_once, [&](size_t i) { entered.push_back(i); });
    std::vector<std::string> zones;
    SourceRow row;
    std::optional<std::string> failure;
    try {
      while (rows.Next(row)) {
        zones.push_back(CellText(*row.zone));
        ASSERT_EQ(row.number, static_cast<int64_t>(zones.size()));
      }
    } catch (const HostError& error) {
      failure = error.what();
    }
    SCOPED_TRACE(c.parts.size());
    EXPECT_EQ(failure, c.failure);
    EXPECT_EQ(zones, expected);
    if (!c.failure) EXPECT_EQ(entered.size(), c.parts.size());
    if (c.parts[0].rows == 3 && !c.failure) {
      EXPECT_EQ(rows.RowLabel(3), "p0 FID 3");
      EXPECT_EQ(rows.RowLabel(4), "p2 FID 1");
      EXPECT_EQ(rows.RowLabel(5005), "p3 FID 2");
    }
  }
}

}  // namespace
}  // namespace quilmark
