#include <gtest/gtest.h>

#include <sstream>

#include "src/host/sheet_host.h"
#include "src/output/preview_target.h"
#include "src/output/preview_table.h"
#include "src/output/text_width.h"
#include "src/output/csv_target.h"

namespace quilmark {
namespace {

CellValue T(const char* text) { return std::string(text); }

TEST(DisplayWidth, CountsWideCharactersTwice) {
  const struct {
    const char* text;
    size_t width;
  } cases[] = {
      {"", 0},
      {"ABC 12", 6},
      {"南城区", 6},
      {"建设用地A", 9},
      {"ＡＢ", 4},              // fullwidth Latin
      {"，。", 4},              // fullwidth and ideographic punctuation
      {"e\xCC\x81", 1},         // e with a combining acute accent
      {"\xF0\xA0\x80\x80", 2},  // a CJK ideograph beyond U+FFFF
      {"\xE4\xB8", 2},          // a cut sequence: each byte one column
      {"a\x1B", 1},             // control characters take no column
  };
  for (const auto& c : cases) EXPECT_EQ(DisplayWidth(c.text), c.width) << c.text;
}

TEST(CsvField, QuotesOnlyWhatNeedsIt) {
  const struct {
    const char* text;
    const char* field;
  } cases[] = {
      {"南城区", "南城区"},
      {"", ""},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {"cr\r", "\"cr\r\""},
  };
  for (const auto& c : cases) EXPECT_EQ(CsvField(c.text), c.field) << c.text;
}

// Numbers as a spreadsheet shows them: a sum's binary noise is not written, and rounded tables
// keep their decimals (5.20, not 5.2) except in count columns.
TEST(CsvBlocks, TitlesBlankLinesAndShownNumbers) {
  ResultTable first{"土地利用情况分区域汇总",
                    11,
                    1,
                    {{{}, T("耕地"), T("林,地")}, {T("南城区"), 0.1 + 0.2, 12.0}}};
  ResultTable second{"按区域统计", 12, 1, {{{}, {}}, {T("A"), 2.5}, {T("B")}}};
  EXPECT_EQ(CsvBlocks(std::vector<ResultTable>{first, second}),
            "土地利用情况分区域汇总\r\n"
            ",耕地,\"林,地\"\r\n"
            "南城区,0.3,12\r\n"
            "\r\n"
            "按区域统计\r\n"
            "A,2.5\r\n"
            "B,\r\n");
  ResultTable noise{"按区域统计", 12, 1, {{{}, {}}, {T("A"), 46871.880000000005}}};
  EXPECT_EQ(CsvBlocks(std::vector<ResultTable>{noise}), "按区域统计\r\nA,46871.88\r\n");
  ResultTable rounded{"宗数和面积统计", 10, 1, {{T("区域"), T("宗数"), T("面积")}, {T("A"), 3.0, 5.2}}};
  rounded.count_columns = {1};
  rounded.decimals = 2;
  EXPECT_EQ(CsvBlocks(std::vector<ResultTable>{rounded}),
            "宗数和面积统计\r\n区域,宗数,面积\r\nA,3,5.20\r\n");
  EXPECT_EQ(PreviewTable(rounded), "宗数和面积统计\n区域  宗数  面积\n----------------\nA        3  5.20\n");
}

TEST(PreviewTable, AlignsByDisplayWidthAndNeutralisesControls) {
  ResultTable grid{"宗数和面积统计",
                   11,
                   1,
                   {{{}, T("耕地"), T("x")}, {T("南城区"), 5.0, T("a\nb\x1B[2J\xC2\x9B")}, {T("B"), 12.5}}};
  EXPECT_EQ(PreviewTable(grid, 47),
            "宗数和面积统计 (第 47-49 行)\n"
            "        耕地  x\n"
            "----------------------\n"
            "南城区     5  a b [2J\n"
            "B       12.5\n");
}

// Tables placed below the data one after the other, as the worksheet would take them.
TEST(PreviewTarget, NamesTheRowsEachTableWouldTake) {
  std::ostringstream out;
  PreviewTarget target(out, 36);
  const std::vector<ResultTable> tables = {{"甲", 11, 1, {{T("x")}, {T("A")}}},
                                           {"乙", 11, 0, {{T("B"), 1.0}}}};
  std::vector<TableShape> shapes = {tables[0].Shape(), tables[1].Shape()};
  EXPECT_TRUE(target.Fits(shapes));
  target.Write(tables);
  EXPECT_EQ(out.str(), "\n甲 (第 47-48 行)\nx\n-\nA\n\n乙 (第 59 行)\nB  1\n");
  shapes[1].rows = kMaxRow;
  EXPECT_FALSE(target.Fits(shapes));
}

}  // namespace
}  // namespace quilmark
