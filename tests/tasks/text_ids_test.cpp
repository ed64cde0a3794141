// The land-use and cross-tab tasks keep each text's key and places by the text's id; fed the same
// rows, they must fill their tables exactly as deriving everything row by row from the texts does.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "src/crosstab/cross_tab.h"
#include "src/landuse/land_use.h"
#include "src/summary/row_feed.h"

namespace quilmark {
namespace {

class ListedRows : public RowSource {
 public:
  explicit ListedRows(std::vector<SourceRow> rows) : rows_(std::move(rows)) {}
  bool Next(SourceRow& row) override {
    if (at_ == rows_.size()) return false;
    row = rows_[at_++];
    return true;
  }
  std::string RowLabel(int64_t number) const override { return std::to_string(number); }

 private:
  std::vector<SourceRow> rows_;
  size_t at_ = 0;
};

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

// Cells drawn from a few values each, some unreadable, numbers among the texts.
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
  std::vector<SourceRow> rows(300);
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

}  // namespace
}  // namespace quilmark
