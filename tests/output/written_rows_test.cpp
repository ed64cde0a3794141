#include "src/output/written_rows.h"

#include <gtest/gtest.h>

#include "src/app/run_driver.h"
#include "tests/summarize.h"
#include "src/host/memory_host.h"
#include "tests/recording_sink.h"

namespace quilmark {
namespace {

TEST(WrittenRows, RecordSurvivesItsTextAndSkipsWhatItCannotRead) {
  const std::vector<WrittenRows> record = {{"Sheet1", 4, 20}, {"规划 表", 30, 31}};
  EXPECT_EQ(ParseWrittenRows(FormatWrittenRows(record)), record);
  EXPECT_EQ(ParseWrittenRows("x/4:3:S/0:2:S/5:9/1:2:A"), (std::vector<WrittenRows>{{"A", 1, 2}}));
  EXPECT_TRUE(ParseWrittenRows("").empty());
}

TEST(WrittenRows, ReadAgainAndUpdated) {
  const std::vector<WrittenRows> record = {{"S", 4, 20}, {"S", 30, 40}, {"T", 1, 5}};
  EXPECT_EQ(RowsReadAgain(record, "S", 35),
            (std::vector<WrittenRows>{{"S", 4, 20}, {"S", 30, 35}}));
  EXPECT_TRUE(RowsReadAgain(record, "S", 3).empty());
  // Rows past the data are gone (deleted, or written over now); other sheets are kept.
  EXPECT_EQ(UpdatedRecord(record, "S", 25, {{"S", 26, 50}}),
            (std::vector<WrittenRows>{{"S", 4, 20}, {"T", 1, 5}, {"S", 26, 50}}));
}

class AskingSink : public RecordingSink {
 public:
  bool Ask(std::string_view warning) override {
    messages.emplace_back(MessageKind::kWarning, std::string(warning));
    return answer;
  }
  bool answer = true;
};

// Two runs on one sheet: the first is as before, the second warns before the confirmation and
// stops untouched when the user cancels.
TEST(WrittenRows, SecondRunWarnsBeforeConfirmation) {
  MemoryHost host;
  MemoryWorkbook& workbook = host.OpenWorkbook("图斑.xlsx");
  MemorySheet& sheet = workbook.AddSheet("Sheet1");
  sheet.SetRow(1, {std::string("A"), std::string("111"), 2.5});
  sheet.SetRow(2, {std::string("B"), std::string("112"), 1.0});
  RunOptions options;
  options.CheckZQStat = true;

  AskingSink first;
  ASSERT_EQ(SummarizeHost(options, host, first).outcome, RunResult::Outcome::kCompleted);
  EXPECT_EQ(first.messages.front().first, MessageKind::kConfirmation);
  EXPECT_EQ(workbook.CustomProperty(kWrittenRowsProperty), "13:15:Sheet1");

  AskingSink second;
  second.answer = false;
  const auto cells = sheet.cells();
  EXPECT_EQ(SummarizeHost(options, host, second).outcome, RunResult::Outcome::kCancelled);
  ASSERT_EQ(second.messages.size(), 1u);
  EXPECT_EQ(second.messages[0].second,
            "注意: 工作表 Sheet1 的第 13-15 行是先前一次统计写入的汇总结果, "
            "本次统计会把这些行当作数据重复计入。");
  EXPECT_EQ(sheet.cells(), cells);
  EXPECT_EQ(workbook.save_count(), 1);

  second.answer = true;
  second.messages.clear();
  ASSERT_EQ(SummarizeHost(options, host, second).outcome, RunResult::Outcome::kCompleted);
  EXPECT_EQ(second.messages[1].first, MessageKind::kConfirmation);
  EXPECT_EQ(workbook.CustomProperty(kWrittenRowsProperty), "13:15:Sheet1/26:29:Sheet1");
}

}  // namespace
}  // namespace quilmark
