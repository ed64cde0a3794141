#include "src/app/run_driver.h"
#include "tests/summarize.h"

#include <gtest/gtest.h>

#include <span>

#include "src/host/memory_host.h"
#include "tests/recording_sink.h"

namespace quilmark {
namespace {

using Row = std::vector<CellValue>;
const CellValue kEmpty{};

CellValue T(const char* text) { return std::string(text); }

class RunDriverTest : public ::testing::Test {
 protected:
  RunDriverTest() : workbook_(host_.OpenWorkbook("图斑.xlsx")), sheet_(workbook_.AddSheet("Sheet1")) {}

  RunResult Run() { return SummarizeHost(options_, host_, sink_); }

  // Three rows of zone, class and area.
  void FillSmallSheet(int32_t first_row = 1) {
    sheet_.SetRow(first_row, {T("A"), T("111"), 2.5});
    sheet_.SetRow(first_row + 1, {T("B"), T("112"), 1.0});
    sheet_.SetRow(first_row + 2, {T("A"), T("112"), 4.0});
  }

  MemoryHost host_;
  MemoryWorkbook& workbook_;
  MemorySheet& sheet_;
  RunOptions options_;
  RecordingSink sink_;
};

TEST_F(RunDriverTest, NoTaskStopsWithoutContactingTheHost) {
  RunResult result = Run();
  EXPECT_EQ(result.outcome, RunResult::Outcome::kStopped);
  EXPECT_EQ(sink_.texts(), std::vector<std::string>{"没有选择统计汇总工作内容!"});
  EXPECT_EQ(host_.attach_count(), 0);
}

TEST_F(RunDriverTest, ConnectionMessages) {
  options_.CheckZQStat = true;
  MemoryHost no_workbook;
  RecordingSink sink;
  EXPECT_EQ(SummarizeHost(options_, no_workbook, sink).stop, StopReason::kNoWorkbook);
  EXPECT_EQ(sink.texts(), std::vector<std::string>{"当前没有Excel文件被打开!"});

  host_.StopApplication();
  EXPECT_EQ(Run().stop, StopReason::kNoApplication);
  EXPECT_EQ(sink_.texts(), std::vector<std::string>{"当前没有运行Excel程序!"});
}

TEST_F(RunDriverTest, ConfirmationNamesWorkbookAndSheetOnTwoLines) {
  options_.CheckZQStat = true;
  FillSmallSheet();
  RunResult result = Run();
  EXPECT_EQ(result.outcome, RunResult::Outcome::kCompleted);
  ASSERT_EQ(sink_.messages.size(), 2u);
  EXPECT_EQ(sink_.messages[0].first, MessageKind::kConfirmation);
  EXPECT_EQ(sink_.messages[0].second,
            "确认: 需要统计的工作薄为 图斑.xlsx\r                工作表为 Sheet1");
  EXPECT_EQ(sink_.messages[1].first, MessageKind::kCompletion);
  // Three rows of data: the block from its header row, eleven rows below, to its two zones.
  EXPECT_EQ(sink_.messages[1].second,
            "统计完毕, 到Excel工作表查看结果! 汇总结果写在工作表 Sheet1 的第 14-16 行。");
  EXPECT_EQ(workbook_.save_count(), 1);
}

TEST_F(RunDriverTest, ChartSheetStopsBeforeTheConfirmation) {
  options_.CheckZQStat = true;
  FillSmallSheet();
  workbook_.AddChartSheet("图表1");
  EXPECT_EQ(Run().stop, StopReason::kNotWorksheet);
  EXPECT_EQ(sink_.texts(), std::vector<std::string>{"当前活动表不是工作表!"});
  EXPECT_EQ(workbook_.save_count(), 0);
}

TEST_F(RunDriverTest, MissingMethodsStopBeforeAnyPass) {
  FillSmallSheet();
  sheet_.Set(1, 1, T("101"));
  struct Case {
    bool land_use_method;
    bool master_plan_method;
    const char* message;
  };
  const Case cases[] = {
      {false, true, "请选择一种地类占用情况的统计汇总方式!"},
      {true, false, "请选择一种规划用途占用情况的统计汇总方式!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    RunOptions options;
    options.CheckTDLY = options.CheckZTGH = options.CheckZQDM2MC = options.ChkNumArea = true;
    options.OptClassC_2008 = c.land_use_method;
    options.IsNewGH = c.master_plan_method;
    RecordingSink sink;
    RunResult result = SummarizeHost(options, host_, sink);
    EXPECT_EQ(result.outcome, RunResult::Outcome::kStopped);
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[0].first, MessageKind::kConfirmation);
    EXPECT_EQ(sink.messages[1].second, c.message);
    // The zone codes were not converted: a stopped run leaves the sheet as it was.
    EXPECT_EQ(sheet_.write_count(), 0);
    EXPECT_EQ(sheet_.At(1, 1), T("101"));
    EXPECT_EQ(workbook_.save_count(), 0);
  }
}

TEST_F(RunDriverTest, ColumnsAreCheckedZoneClassAreaInThatOrder) {
  FillSmallSheet();
  struct Case {
    bool land_use;
    const char* zone;
    const char* class_;
    const char* area;
    std::optional<StopReason> stop;
  };
  const Case cases[] = {
      {true, "甲", "0", "40000", StopReason::kBadZoneColumn},
      {true, "1", "0", "40000", StopReason::kBadClassColumn},
      {true, "1", "2", "40000", StopReason::kBadAreaColumn},
      {true, "", "2", "3", StopReason::kBadZoneColumn},
      {true, "1", "16385", "3", StopReason::kBadClassColumn},
      {true, "1", "2", "-3", StopReason::kBadAreaColumn},
      {true, " 1 ", "2.5", "3.4", std::nullopt},
      // Zone totals and the cross-tab do not read the class column.
      {false, "1", "x", "3", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.zone) + "/" + c.class_ + "/" + c.area);
    RunOptions options;
    options.CheckTDLY = c.land_use;
    options.OptClassC_2008 = true;
    options.CheckZQStat = !c.land_use;
    options.TextZQColumn = c.zone;
    options.TextDKStyleColumn = c.class_;
    options.TextAreaColumn = c.area;
    MemoryHost host;
    MemoryWorkbook& workbook = host.OpenWorkbook("w.xlsx");
    MemorySheet& sheet = workbook.AddSheet("S");
    sheet.SetRow(1, {T("A"), T("111"), 2.5});
    RecordingSink sink;
    RunResult result = SummarizeHost(options, host, sink);
    EXPECT_EQ(result.stop, c.stop);
    if (c.stop) {
      EXPECT_EQ(sink.texts().back(), MessageText(*c.stop));
      EXPECT_EQ(sheet.write_count(), 0);
      EXPECT_EQ(workbook.save_count(), 0);
    } else {
      EXPECT_EQ(result.outcome, RunResult::Outcome::kCompleted);
    }
  }
}

TEST_F(RunDriverTest, UsedRangeBelowRowOneStillVisitsTheLastRows) {
  options_.CheckZQStat = true;
  FillSmallSheet(3);  // rows 3 to 5: three used rows, the last of them row 5
  ASSERT_EQ(Run().outcome, RunResult::Outcome::kCompleted);
  // Rows 1 and 2 are visited too: their empty zone text is the first zone, with 0.
  EXPECT_EQ(sheet_.At(16, 1), kEmpty);  // the header row of a zone-totals block stays empty
  EXPECT_EQ(sheet_.At(17, 1), kEmpty);
  EXPECT_EQ(sheet_.At(17, 2), CellValue{0.0});
  EXPECT_EQ(sheet_.At(18, 1), T("A"));
  EXPECT_EQ(sheet_.At(18, 2), CellValue{6.5});
  EXPECT_EQ(sheet_.At(19, 1), T("B"));
  EXPECT_EQ(sheet_.At(19, 2), CellValue{1.0});
  for (int32_t row = 6; row <= 16; ++row) {
    for (int32_t column = 1; column <= 3; ++column) EXPECT_EQ(sheet_.At(row, column), kEmpty);
  }
}

TEST_F(RunDriverTest, SecondRunReadsTheFirstRunsBlockAsData) {
  options_.CheckZQStat = true;
  FillSmallSheet();
  ASSERT_EQ(Run().outcome, RunResult::Outcome::kCompleted);
  ASSERT_EQ(sheet_.LastUsedRow(), 16);
  ASSERT_EQ(Run().outcome, RunResult::Outcome::kCompleted);
  // The first block's zones in rows 15-16 are data rows now (their totals stand in column 2,
  // not in the area column), and so are the empty rows 4-14.
  EXPECT_EQ(sheet_.At(28, 1), T("A"));
  EXPECT_EQ(sheet_.At(28, 2), CellValue{6.5});
  EXPECT_EQ(sheet_.At(29, 1), T("B"));
  EXPECT_EQ(sheet_.At(29, 2), CellValue{1.0});
  EXPECT_EQ(sheet_.At(30, 1), kEmpty);
  EXPECT_EQ(sheet_.At(30, 2), CellValue{0.0});
  EXPECT_EQ(sheet_.LastUsedRow(), 30);
}

TEST_F(RunDriverTest, EveryTaskWritesItsOwnBlockBelowTheOneBefore) {
  FillSmallSheet();
  options_.CheckZQStat = options_.ChkNumArea = true;
  ASSERT_EQ(Run().outcome, RunResult::Outcome::kCompleted);
  // Zone totals: base 3, header row 14, zones in 15 and 16; the block ends at row 16.
  EXPECT_EQ(sheet_.At(15, 1), T("A"));
  EXPECT_EQ(sheet_.At(15, 2), CellValue{6.5});
  EXPECT_EQ(sheet_.At(16, 2), CellValue{1.0});
  EXPECT_EQ(sheet_.At(15, 3), kEmpty);  // nothing of the cross-tab in the zone totals block
  // Cross-tab: base 16, class titles in row 26, headers in row 27, zones from row 28.
  EXPECT_EQ(sheet_.At(26, 4), T("111"));
  EXPECT_EQ(sheet_.At(26, 6), T("112"));
  EXPECT_EQ(sheet_.At(27, 1), T("镇区名称"));
  EXPECT_EQ(sheet_.At(27, 2), T("总宗数"));
  EXPECT_EQ(sheet_.At(28, 1), T("A"));
  EXPECT_EQ(sheet_.At(28, 4), CellValue{1.0});
  EXPECT_EQ(sheet_.At(28, 5), CellValue{2.5});
  EXPECT_EQ(sheet_.At(29, 1), T("B"));
  for (int32_t row = 17; row <= 25; ++row) {
    for (int32_t column = 1; column <= 7; ++column) EXPECT_EQ(sheet_.At(row, column), kEmpty);
  }
}

TEST_F(RunDriverTest, BlockPastTheLastRowStopsAndSavesNothing) {
  options_.CheckZQStat = true;
  // The last used row is max - 13, so the header row is max - 2; the empty rows above make one
  // zone, A and B two more: the block would end at max + 1.
  sheet_.SetRow(kMaxRow - 14, {T("A"), T("111"), 1.0});
  sheet_.SetRow(kMaxRow - 13, {T("B"), T("111"), 1.0});
  RunResult result = Run();
  EXPECT_EQ(result.stop, StopReason::kBlockOutsideSheet);
  EXPECT_EQ(sink_.texts().back(), "汇总结果超出工作表范围!");
  EXPECT_EQ(sheet_.write_count(), 0);
  EXPECT_EQ(workbook_.save_count(), 0);

  sheet_.Set(kMaxRow - 13, 1, T("A"));  // two zones: the block ends exactly on the last row
  RecordingSink sink;
  EXPECT_EQ(SummarizeHost(options_, host_, sink).outcome, RunResult::Outcome::kCompleted);
  EXPECT_EQ(sheet_.At(kMaxRow, 1), T("A"));
  EXPECT_EQ(sheet_.At(kMaxRow, 2), CellValue{2.0});
}

TEST_F(RunDriverTest, FailedSaveEndsWithoutTheCompletionMessage) {
  options_.CheckZQStat = true;
  FillSmallSheet();
  workbook_.FailSaves("无法保存工作簿: 磁盘已满");
  RunResult result = Run();
  EXPECT_EQ(result.outcome, RunResult::Outcome::kHostFailure);
  ASSERT_EQ(sink_.messages.size(), 2u);
  EXPECT_EQ(sink_.messages[1].first, MessageKind::kHostFailure);
  EXPECT_EQ(sink_.messages[1].second, "无法保存工作簿: 磁盘已满");
}

TEST_F(RunDriverTest, WorkbookThatCannotBeLoadedStopsTheRun) {
  struct UnreadableHost : SpreadsheetHost {
    bool Attach() override { return true; }
    Workbook* ActiveWorkbook() override { throw HostError("无法读取工作簿: a.xlsx 不是 zip 文件"); }
  } host;
  options_.ChkNumArea = true;
  RunResult result = SummarizeHost(options_, host, sink_);
  EXPECT_EQ(result.outcome, RunResult::Outcome::kHostFailure);
  EXPECT_EQ(sink_.texts(), std::vector<std::string>{"无法读取工作簿: a.xlsx 不是 zip 文件"});
}

TEST_F(RunDriverTest, ZoneCellsReadAsTextWhateverTheyHold) {
  options_.CheckZQStat = true;
  sheet_.SetRow(1, {CellError{"#N/A"}, kEmpty, 1.0});
  sheet_.SetRow(2, {T("  A  "), kEmpty, 2.0});
  sheet_.SetRow(3, {T("a"), kEmpty, 4.0});
  sheet_.SetRow(4, {kEmpty, kEmpty, 8.0});
  sheet_.SetRow(5, {T("A"), kEmpty, T("16亩")});
  ASSERT_EQ(Run().outcome, RunResult::Outcome::kCompleted);
  EXPECT_EQ(sheet_.At(17, 1), T("#N/A"));
  EXPECT_EQ(sheet_.At(17, 2), CellValue{1.0});
  EXPECT_EQ(sheet_.At(18, 1), T("A"));  // blanks trimmed: one zone with row 5
  EXPECT_EQ(sheet_.At(18, 2), CellValue{18.0});
  EXPECT_EQ(sheet_.At(19, 1), T("a"));  // letter case makes another zone
  EXPECT_EQ(sheet_.At(20, 1), kEmpty);  // the empty zone is a zone of its own
  EXPECT_EQ(sheet_.At(20, 2), CellValue{8.0});
}

// A target that keeps the tables it is given; everything fits.
struct KeptTables : ResultTarget {
  bool Fits(std::span<const TableShape>) const override { return true; }
  void Write(std::span<const ResultTable> tables) override {
    kept.assign(tables.begin(), tables.end());
  }
  std::vector<ResultTable> kept;
};

TEST_F(RunDriverTest, TablesGoElsewhereAndTheSheetIsOnlyRead) {
  options_.CheckTDLY = options_.OptQSXZ_ED = options_.CheckZQDM2MC = options_.ChkNumArea = true;
  sheet_.SetRow(1, {T("101"), T("10"), 2.0});
  KeptTables target;
  ASSERT_EQ(SummarizeHost(options_, host_, sink_, &target).outcome, RunResult::Outcome::kCompleted);
  EXPECT_EQ(sheet_.write_count(), 0);
  EXPECT_EQ(workbook_.save_count(), 0);
  ASSERT_EQ(target.kept.size(), 2u);
  EXPECT_EQ(target.kept[0].name, "土地利用情况分区域汇总");
  EXPECT_EQ(target.kept[0].cells[1][0], T("石碣镇"));  // converted for the tables only
  EXPECT_EQ(target.kept[1].name, "宗数和面积统计");
  EXPECT_EQ(target.kept[1].cells[2][0], T("石碣镇"));
}

// Rows from a source other than a sheet: no confirmation, and warnings name its rows and field.
TEST(RunOnRows, NamesRowsAndFieldTheSourceWay) {
  struct Features : RowSource {
    bool Next(SourceRow& row) override {
      if (next == 2) return false;
      row = {++next, T("A"), std::nullopt, std::nullopt, T(next == 1 ? "3" : "12.5亩"), {}};
      return true;
    }
    std::string RowLabel(int64_t number) const override { return "FID " + std::to_string(number); }
    int64_t next = 0;
  } rows;
  RunOptions options;
  options.CheckZQStat = true;
  KeptTables target;
  RecordingSink sink;
  const RunResult result = SummarizeRows(options, rows, target, sink, "字段 MJ");
  ASSERT_EQ(result.outcome, RunResult::Outcome::kCompleted);
  ASSERT_EQ(target.kept.size(), 1u);
  EXPECT_EQ(target.kept[0].cells[1][1], CellValue{15.5});
  ASSERT_EQ(result.warnings.size(), 1u);
  EXPECT_NE(result.warnings[0].find("FID 2 \"12.5亩\" 计为 12.5"), std::string::npos);
  EXPECT_EQ(sink.messages.front().first, MessageKind::kCompletion);
}

}  // namespace
}  // namespace quilmark
