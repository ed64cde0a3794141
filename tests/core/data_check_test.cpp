// The data check every run makes between reading and writing: faults a survey would not accept
// stop the run with nothing written, rows that are no patches are left out and said, and warnings
// come before the completion.
#include <gtest/gtest.h>

#include <sstream>

#include "src/app/run_driver.h"
#include "src/host/memory_host.h"
#include "src/output/csv_target.h"
#include "src/summary/total_rows.h"
#include "tests/listed_rows.h"
#include "tests/recording_sink.h"
#include "tests/summarize.h"

namespace quilmark {
namespace {

using Row = std::vector<CellValue>;
CellValue T(const char* text) { return std::string(text); }

SourceRow Patch(int64_t number, CellValue zone, const char* class_text, CellValue area) {
  SourceRow row;
  row.number = number;
  row.zone = std::move(zone);
  row.class_ = T(class_text);
  row.cross_class = row.class_;
  row.area = std::move(area);
  return row;
}

struct SheetRun {
  RunResult result;
  RecordingSink sink;
  int saves = 0;
};

SheetRun RunSheet(const RunOptions& options, const std::vector<Row>& rows) {
  MemoryHost host;
  MemoryWorkbook& workbook = host.OpenWorkbook("图斑.xlsx");
  MemorySheet& sheet = workbook.AddSheet("Sheet1");
  for (size_t i = 0; i < rows.size(); ++i) sheet.SetRow(static_cast<int32_t>(i + 1), rows[i]);
  SheetRun run;
  run.result = SummarizeHost(options, host, run.sink);
  run.saves = workbook.save_count();
  return run;
}

RunOptions ZoneTotals() {
  RunOptions options;
  options.CheckZQStat = true;
  return options;
}

TEST(DataCheck, FaultsStopBeforeAnythingIsWritten) {
  RunOptions negative_accepted = ZoneTotals();
  negative_accepted.AcceptNegative = true;
  struct Case {
    const char* name;
    RunOptions options;
    std::vector<Row> rows;
    std::optional<StopReason> stop;
    const char* said;  // in the stop, or in a warning before the completion
  };
  const Case cases[] = {
      {"negative area",
       ZoneTotals(),
       {{T("A"), T("011"), 5.0}, {T("A"), T("012"), -2.0}},
       StopReason::kDataError,
       "负面积: 1 处 (第 2 行)"},
      {"negative area accepted",
       negative_accepted,
       {{T("A"), T("011"), 5.0}, {T("A"), T("012"), -2.0}},
       std::nullopt,
       "警告 负面积"},
      {"long code as a number",
       ZoneTotals(),
       {{450312211000204522.0, T("011"), 5.0}, {450312211000204563.0, T("012"), 2.0}},
       StopReason::kDataError,
       "长编码存成了浮点数: 2 处"},
      {"area column of texts",
       ZoneTotals(),
       {{T("A"), T("011"), T("x")}, {T("B"), T("012"), T("y")}},
       StopReason::kUselessColumn,
       "面积列无数字"},
      {"zone column empty",
       ZoneTotals(),
       {{CellValue{}, T("011"), 5.0}, {CellValue{}, T("012"), 2.0}},
       StopReason::kUselessColumn,
       "区域列无文字"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SheetRun run = RunSheet(c.options, c.rows);
    EXPECT_EQ(run.result.stop, c.stop);
    std::string said = run.result.message;
    for (const auto& [kind, text] : run.sink.messages) said += "\n" + text;
    EXPECT_NE(said.find(c.said), std::string::npos) << said;
    EXPECT_EQ(run.saves, c.stop ? 0 : 1);
  }
}

TEST(DataCheck, TotalAndTitleRowsAreLeftOutAndSaid) {
  const std::vector<Row> rows = {
      {T("某村土地利用现状表"), CellValue{}, CellValue{}},
      {T("ZLDWDM"), T("DLBM"), T("TBMJ")},
      {T("A"), T("011"), 500.25},
      {T("B"), T("012"), 358.30},
      {T("合 计"), CellValue{}, 858.55},
      {CellValue{}, CellValue{}, 858.55},  // no word, but the sum of the patches above
  };
  SheetRun run = RunSheet(ZoneTotals(), rows);
  ASSERT_EQ(run.result.outcome, RunResult::Outcome::kCompleted);
  ASSERT_EQ(run.sink.messages.size(), 3u);  // confirmation, the warning, then the completion
  EXPECT_EQ(run.sink.messages[1].first, MessageKind::kWarning);
  EXPECT_NE(run.sink.messages[1].second.find(
                "第 1 行 (标题)、第 2 行 (标题)、第 5 行 (合计)、第 6 行 (合计)"),
            std::string::npos);
  EXPECT_EQ(run.sink.messages[2].first, MessageKind::kCompletion);
  // The words at the start only, blanks of either width ignored.
  EXPECT_TRUE(IsTotalText("　总计:"));
  EXPECT_FALSE(IsTotalText("计划村"));
}

TEST(DataCheck, SurveyFieldsOfALayer) {
  // Further fields: KCMJ, QSXZ, TBDLMJ (TBMJ - KCMJ), PDJB, GDLX.
  auto patch = [](int64_t n, const char* dlbm, double area, std::optional<double> kcxs,
                  CellValue kcmj, const char* qsxz, double net_off = 0, CellValue pdjb = 1.0,
                  const char* gdlx = "") {
    SourceRow row = Patch(n, T("450312211000"), dlbm, area);
    row.deduction = kcxs ? CellValue{*kcxs} : CellValue{};
    const double net = area - CellNumber(kcmj).value_or(0) + net_off;
    row.fields = {kcmj, T(qsxz), net, pdjb, T(gdlx)};
    return row;
  };
  struct Case {
    const char* name;
    SourceRow row;
    const char* said;
    bool error = true;
  };
  const Case cases[] = {
      {"KCMJ above TBMJ", patch(2, "0103", 100, 0.1, 120.0, "30"), "扣除面积大于图斑面积"},
      {"KCMJ empty, KCXS above 0", patch(2, "0103", 100, 0.1, CellValue{}, "30"), "缺扣除面积"},
      {"KCXS empty on 耕地", patch(2, "0103", 100, std::nullopt, CellValue{}, "30"),
       "耕地缺扣除系数"},
      {"QSXZ outside its codes", patch(2, "0301", 100, 0.0, 0.0, "50"), "这些值有: 50"},
      {"TBDLMJ off", patch(2, "0103", 100, 0.1, 10.0, "30", 0.5), "图斑地类面积不符", false},
      {"PDJB outside 1-5 on 耕地", patch(2, "0103", 100, 0.1, 10.0, "30", 0, 7.0), "这些值有: 7"},
      {"GDLX outside TT/PD", patch(2, "0103", 100, 0.1, 10.0, "30", 0, T("03"), "ZZ"),
       "这些值有: ZZ"},
      {"PDJB not read off 耕地", patch(2, "0301", 100, 0.0, 0.0, "30", 0, 0.0), nullptr, false},
      {"K the survey never gives", patch(2, "0305K", 100, 0.0, 0.0, "30"), "这些值有: 0305K",
       false},
      {"A the survey never gives", patch(2, "0101A", 100, 0.1, 10.0, "30"), "这些值有: 0101A",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ListedRows rows({patch(1, "0101", 100, 0.1, 10.0, "30"), c.row});
    RunOptions options;
    options.ListReports = "level1,ownership";
    ReportSource reports;
    reports.fields.terrace_area = 0;
    reports.fields.ownership = 1;
    reports.fields.net_area = 2;
    reports.fields.slope = 3;
    reports.fields.terrace_kind = 4;
    const RowsMeaning meaning{"字段 TBMJ", "区域", &reports, std::nullopt};
    std::ostringstream out;
    CsvTarget target(out, std::nullopt, CsvEncoding::kUtf8);
    RecordingSink sink;
    RunRequest request{options, {}, {}};
    request.output.given = &target;
    const RunResult result = RunOnRows(request, rows, meaning, sink);
    std::string said = result.message;
    for (const std::string& warning : result.warnings) said += "\n" + warning;
    EXPECT_EQ(result.stop == StopReason::kDataError, c.error) << said;
    if (c.said == nullptr) {
      EXPECT_EQ(said.find("FID 2"), std::string::npos) << said;
      continue;
    }
    EXPECT_NE(said.find(c.said), std::string::npos) << said;
    const bool by_value = CellText(*c.row.class_).size() == 5;  // K and A codes: no row named
    EXPECT_EQ(said.find("FID 2") != std::string::npos, !by_value) << said;
    EXPECT_EQ(out.str().empty(), c.error);
  }
}

TEST(DataCheck, CheckAloneWritesTheFindingsAndNoSummary) {
  RunOptions options = ZoneTotals();
  options.CheckOnly = true;
  ListedRows rows({Patch(1, T("A"), "011", 5.0), Patch(2, T("A"), "012", -1.0)});
  std::ostringstream out;
  CsvTarget target(out, std::nullopt, CsvEncoding::kUtf8);
  RecordingSink sink;
  const RunResult result = SummarizeRows(options, rows, target, sink, "字段 TBMJ");
  EXPECT_EQ(result.stop, StopReason::kDataError);  // the check's own exit: 1
  EXPECT_NE(out.str().find("负面积"), std::string::npos) << out.str();
  EXPECT_EQ(out.str().find("A,"), std::string::npos) << out.str();  // no zone totals
  EXPECT_NE(sink.messages.back().second.find("数据检查完毕: 1 个错误, 0 个警告。"),
            std::string::npos);
}

TEST(DataCheck, CheckAloneFindsIdentifiersTwiceOnASheetWithABsmColumn) {
  RunOptions options = ZoneTotals();
  options.CheckOnly = true;
  const SheetRun run = RunSheet(options, {{T("ZLDWDM"), T("DLBM"), T("TBMJ"), T(" bsm ")},
                                          {T("A"), T("011"), 5.0, T("B1")},
                                          {T("A"), T("012"), 2.0, T("B2")},
                                          {T("B"), T("011"), 1.0, T("B1")}});
  std::string said = run.result.message;
  for (const std::string& warning : run.result.warnings) said += "\n" + warning;
  EXPECT_EQ(run.result.stop, StopReason::kDataError) << said;
  EXPECT_NE(said.find("标识码重复: 1 处 (第 4 行)"), std::string::npos) << said;
  EXPECT_EQ(run.saves, 0);
}

}  // namespace
}  // namespace quilmark
