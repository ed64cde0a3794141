// The land-use and cross-tab tasks keep each text's key and places by the text's id; fed the same
// rows, they must fill their tables exactly as deriving everything row by row from the texts does.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "src/crosstab/cross_tab.h"
#include "src/landuse/land_use.h"
#include "src/summary/row_feed.h"
#include "tests/listed_rows.h"

namespace quilmark {
namespace {

// Land-use and cross-tab as they would be without ids: every row's key and places from its texts.
class TextByTextSink : public RowSink {
 public:
  explicit TextByTextSink(LandUseMethod method) : method_(method) {}
  void AddRow(const PatchRow& row) override {
    if (row.class_text) {
      key_ = LandUseClassKey(method_, *row.class_text);
    } else if (!key_) {
      key_ = LandUseClassKey(method_, "");
    }
    AccumulateRow(land_use, row.zone, *key_, row.area);
    CountAreaRow(cross_tab, row.zone, row.cross_class, row.area);
  }
  SummaryTables land_use;
  CrossTabTables cross_tab;

 private:
  LandUseMethod method_;
  std::optional<std::string> key_;
};

// Cells drawn from a few values each, some unreadable, numbers among the texts; sometimes more
// rows than the loop reads in one batch, so that the tasks take them on a second thread.
std::vector<SourceRow> RandomRows(unsigned seed) {
  const std::vector<std::optional<CellValue>> zones = {CellValue(std::string("Z1")),
                                                       CellValue(std::string(" Z1 ")),
                                                       CellValue(std::string("Z2")),
                                                       CellValue(7.0),
                                                       CellValue(),
                                                       std::nullopt};
  const std::vector<std::optional<CellValue>> classes = {CellValue(std::string("011")),
                                                         CellValue(std::string("012K")),
                                                         CellValue(std::string("2")),
                                                         CellValue(std::string("0101")),
                                                         CellValue(11.0),
                                                         CellValue(),
                                                         std::nullopt};
  std::mt19937 random(seed);
  const size_t counts[] = {300, 1024, 2055, 3500};
  std::vector<SourceRow> rows(counts[seed % 4]);
  for (size_t i = 0; i < rows.size(); ++i) {
    SourceRow& row = rows[i];
    row.number = static_cast<int64_t>(i) + 1;
    row.zone = zones[random() % zones.size()];
    row.class_ = classes[random() % classes.size()];
    row.cross_class = random() % 2 == 0 ? row.class_ : classes[random() % classes.size()];
    if (random() % 5 != 0) row.area = CellValue(0.25 * static_cast<double>(random() % 100));
  }
  return rows;
}

TEST(TextIds, TasksFillTheirTablesAsRowByRowDerivation) {
  for (const LandUseMethod method : {LandUseMethod::OptClassC_2008, LandUseMethod::OptClassA_2008,
                                     LandUseMethod::kSurvey3Level2}) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
      LandUseTask land_use(method);
      CrossTabTask cross_tab;
      TextByTextSink expected(method);
      RowSink* sinks[] = {&land_use, &cross_tab, &expected};
      ListedRows rows(RandomRows(seed));
      FeedRows(rows, nullptr, sinks);

      SCOPED_TRACE(testing::Message() << "method " << static_cast<int>(method) << " seed " << seed);
      EXPECT_EQ(land_use.tables().zones.keys(), expected.land_use.zones.keys());
      EXPECT_EQ(land_use.tables().classes.keys(), expected.land_use.classes.keys());
      EXPECT_EQ(land_use.tables().areas, expected.land_use.areas);
      EXPECT_EQ(cross_tab.tables().zones.keys(), expected.cross_tab.zones.keys());
      EXPECT_EQ(cross_tab.tables().classes.keys(), expected.cross_tab.classes.keys());
      EXPECT_EQ(cross_tab.tables().counts, expected.cross_tab.counts);
      EXPECT_EQ(cross_tab.tables().areas, expected.cross_tab.areas);
      EXPECT_EQ(cross_tab.tables().zone_counts, expected.cross_tab.zone_counts);
      EXPECT_EQ(cross_tab.tables().zone_areas, expected.cross_tab.zone_areas);
    }
  }
}

// A failure on either side of the loop reaches its caller, whether it comes before, at or after
// the point where the tasks move to a second thread, and no row after it reaches the tasks.
TEST(FeedRows, AFailureOfTheSourceOrATaskIsThrown) {
  struct Failing : RowSink {
    int64_t fail_at = 0;
    int64_t last = 0;
    void AddRow(const PatchRow& row) override {
      EXPECT_EQ(row.cells.number, last + 1);  // in order, none skipped
      last = row.cells.number;
      if (last == fail_at) throw std::runtime_error("task");
    }
  };
  class FailingRows : public ListedRows {
   public:
    FailingRows(std::vector<SourceRow> rows, int64_t fail_at)
        : ListedRows(std::move(rows)), fail_at_(fail_at) {}
    bool Next(SourceRow& row) override {
      if (++read_ == fail_at_) throw std::runtime_error("source");
      return ListedRows::Next(row);
    }

   private:
    int64_t fail_at_, read_ = 0;
  };
  for (const bool in_task : {false, true}) {
    for (const int64_t at : {5, 1024, 1025, 1500, 3400}) {
      SCOPED_TRACE(testing::Message() << (in_task ? "task" : "source") << " fails at " << at);
      Failing sink;
      sink.fail_at = in_task ? at : 0;
      RowSink* sinks[] = {&sink};
      FailingRows rows(RandomRows(3), in_task ? 0 : at);
      EXPECT_THROW(FeedRows(rows, nullptr, sinks), std::runtime_error);
      EXPECT_LE(sink.last, at);
    }
  }
}

}  // namespace
}  // namespace quilmark
