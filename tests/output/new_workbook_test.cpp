#include "src/output/new_workbook.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "src/host/xlsx/xlsx_host.h"
#include "tests/xlsx/xlsx_fixture.h"

namespace quilmark {
namespace {

using testing::ReadZip;
using testing::TempFolder;

CellValue T(const char* text) { return std::string(text); }

TEST(DefaultResultPath, BesideTheInputNamedAfterIt) {
  const struct {
    const char* input;
    const char* result;  // "" when there is none
  } cases[] = {
      {"地块/layer.gpkg", "地块/layer-汇总.xlsx"},
      {"survey.gdb", "survey-汇总.xlsx"},
      {"/data/survey.gdb/", "/data/survey-汇总.xlsx"},
      {"tb.shp", "tb-汇总.xlsx"},
      {"PG:dbname=land host=db", ""},
  };
  for (const auto& c : cases) {
    const auto path = DefaultResultPath(c.input);
    EXPECT_EQ(path ? path->string() : "", c.result) << c.input;
  }
}

TEST(SheetNameFor, ReplacesForbiddenCharactersAndCuts) {
  EXPECT_EQ(SheetNameFor("土地利用情况分区域汇总"), "土地利用情况分区域汇总");
  EXPECT_EQ(SheetNameFor("a/b:c[d]*?\\"), "a_b_c_d____");
  EXPECT_EQ(SheetNameFor(std::string(40, 'x')), std::string(31, 'x'));
}

// The written workbook read back: one sheet per grid, values in place, header bold and frozen,
// the decimals' format, and a width for the Chinese column.
TEST(WriteNewWorkbook, OneSheetPerTaskReadBack) {
  TempFolder folder;
  const auto target = folder / "layer-汇总.xlsx";
  ResultTable land_use{"土地利用情况分区域汇总",
                       11,
                       1,
                       {{{}, T("建设用地"), T("耕地")}, {T("南城区第一街道办事处"), 12.5, 0.0}}};
  ResultTable totals{"按区域统计", 12, 0, {{T("南城区"), 3.25}}};
  WriteNewWorkbook(target, std::vector<ResultTable>{land_use, totals}, 2);

  for (const ResultTable* grid : {&land_use, &totals}) {
    XlsxFileHost host(target, {grid->name, {}});
    Worksheet* sheet = host.ActiveWorkbook()->ActiveSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->Name(), grid->name);
    for (size_t r = 0; r < grid->cells.size(); ++r) {
      for (size_t c = 0; c < grid->cells[r].size(); ++c) {
        EXPECT_EQ(sheet->Read(static_cast<int32_t>(r + 1), static_cast<int32_t>(c + 1)),
                  grid->cells[r][c]);
      }
    }
  }
  const auto entries = ReadZip(target);
  const std::string& first = entries.at("xl/worksheets/sheet1.xml");
  EXPECT_NE(first.find("state=\"frozen\""), std::string::npos);
  EXPECT_NE(first.find("width=\"22"), std::string::npos);  // 20 columns of text, 2 spare
  EXPECT_EQ(entries.at("xl/worksheets/sheet2.xml").find("frozen"), std::string::npos);
  EXPECT_NE(entries.at("xl/styles.xml").find("formatCode=\"0.00\""), std::string::npos);
  EXPECT_NE(entries.at("xl/styles.xml").find("<b/>"), std::string::npos);
}

TEST(WriteNewWorkbook, ReplacesKeepingModeAndFailsLeavingNothing) {
  TempFolder folder;
  const auto target = folder / "out.xlsx";
  testing::WriteZip(target, {{"x", "old"}});
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  WriteNewWorkbook(target, std::vector<ResultTable>{{"按区域统计", 12, 0, {{T("A"), 1.0}}}});
  struct stat info {};
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(ReadZip(target).count("x"), 0u);

  // A cell the format cannot hold fails the save, and the old file stays.
  const std::string before = testing::ReadFile(target);
  ResultTable too_long{"按区域统计", 12, 0, {{CellValue(std::string(40000, 'a'))}}};
  EXPECT_THROW(WriteNewWorkbook(target, std::vector<ResultTable>{too_long}), HostError);
  EXPECT_EQ(testing::ReadFile(target), before);
  EXPECT_THROW(
      WriteNewWorkbook(folder / "missing" / "out.xlsx", std::vector<ResultTable>{too_long}),
      HostError);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

}  // namespace
}  // namespace quilmark
