#include "src/summary/area_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "src/app/run_driver.h"
#include "tests/summarize.h"
#include "src/host/memory_host.h"
#include "tests/recording_sink.h"

namespace quilmark {
namespace {

CellValue T(const char* text) { return std::string(text); }

TEST(IsPlainNumber, WhatCountsAsPlain) {
  struct Case {
    CellValue value;
    bool plain;
  };
  const Case cases[] = {
      {12.5, true},
      {T("12.5"), true},
      {T(" -3 "), true},
      {T("\t+.5\n"), true},
      {T("1e3"), true},
      {T("2.E-4"), true},
      {T("7."), true},
      {T("1,234.5"), false},
      {T("１２３４"), false},
      {T("12.5亩"), false},
      {T("1 2"), false},
      {T("1e"), false},
      {T("."), false},
      {T("-"), false},
      {T("1D3"), false},
      {T("&H10"), false},
      {T(""), false},
      {T("  "), false},
      {CellValue{}, false},
      {true, false},
      {CellValue{CellDate{"2024-01-05"}}, false},
      {CellValue{CellError{"#N/A"}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ValueText(c.value));
    EXPECT_EQ(IsPlainNumber(c.value), c.plain);
  }
}

// Cells the leading-number rule reads silently come back as warnings before the completion
// message; empty cells and plain numbers do not, and the title row is left out (and said). An area column without any number is
// refused before anything is written.
TEST(AreaWarnings, PrecedeTheCompletionMessage) {
  struct Case {
    std::vector<CellValue> areas;  // rows 1.. of the area column, under zone "A" and class "1"
    const char* area_column;
    std::vector<std::string> warnings;
    bool refused = false;  // the column holds no number
  };
  const std::string title =
      "警告 非图斑行: 1 处 (第 1 行 (标题))。这些行是合计、标题或表头, 不是图斑, 已不计入汇总。";
  const Case cases[] = {
      {{T("面积"), 2.0, T("3"), CellValue{}}, "3", {title}},
      {{T("面积"), T("1,234.5"), T("１２３４"), T("12.5亩"), 4.0},
       "3",
       {title, "注意: 地块面积有 3 个单元格不是纯数字, 已按开头的数字计入, 共计入面积 13.5: "
        "第 2 行 \"1,234.5\" 计为 1; 第 3 行 \"１２３４\" 计为 0; 第 4 行 \"12.5亩\" 计为 12.5。"
        "如需按实际面积统计, 请把这些单元格改为数字后重新统计。"}},
      {{T("x"), T("x"), T("x"), T("x"), T("x"), T("x"), T("x")}, "3", {}, true},
      {{2.0, 3.0}, "99", {}, true},
  };
  for (const Case& c : cases) {
    MemoryHost host;
    MemoryWorkbook& workbook = host.OpenWorkbook("w.xlsx");
    MemorySheet& sheet = workbook.AddSheet("S");
    for (size_t i = 0; i < c.areas.size(); ++i) {
      sheet.SetRow(static_cast<int32_t>(i) + 1, {T("A"), T("1"), c.areas[i]});
    }
    RunOptions options;
    options.CheckZQStat = true;
    options.TextAreaColumn = c.area_column;
    RecordingSink sink;
    const RunResult result = SummarizeHost(options, host, sink);
    if (c.refused) {
      EXPECT_EQ(result.stop, StopReason::kUselessColumn);
      EXPECT_NE(result.message.find("面积列无数字"), std::string::npos) << result.message;
      EXPECT_EQ(workbook.save_count(), 0);
      continue;
    }
    ASSERT_EQ(result.outcome, RunResult::Outcome::kCompleted);
    EXPECT_EQ(result.warnings, c.warnings);
    ASSERT_EQ(sink.messages.size(), 2 + c.warnings.size());
    for (size_t i = 0; i < c.warnings.size(); ++i) {
      EXPECT_EQ(sink.messages[1 + i], std::make_pair(MessageKind::kWarning, c.warnings[i]));
    }
    EXPECT_EQ(sink.messages.back().first, MessageKind::kCompletion);
  }
}

}  // namespace
}  // namespace quilmark
