// A workbook whose rows stream to the run as its sheet inflates ends as it would with the sheet
// loaded first: the same tables in the same saved file, the same stops and messages. Checked on
// sheets made for the ways streaming can go wrong, on the workbooks in the repository and on the
// corpus beside the clone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "src/host/xlsx/xlsx_host.h"
#include "src/host/xlsx/xlsx_workbook.h"
#include "tests/recording_sink.h"
#include "tests/summarize.h"
#include "tests/xlsx/round_trip.h"
#include "tests/xlsx/xlsx_fixture.h"

namespace quilmark {
namespace {

namespace fs = std::filesystem;

// A row of zone, class and area.
std::string PatchRow(int row, const std::string& zone, const std::string& code, double area) {
  const std::string r = std::to_string(row);
  return "<row r=\"" + r + "\"><c r=\"A" + r + "\" t=\"inlineStr\"><is><t>" + zone +
         "</t></is></c><c r=\"B" + r + "\" t=\"inlineStr\"><is><t>" + code +
         "</t></is></c><c r=\"C" + r + "\"><v>" + std::to_string(area) + "</v></c></row>";
}

std::string PatchRows(int first, int last) {
  std::string rows;
  for (int row = first; row <= last; ++row) {
    rows += PatchRow(row, row % 3 ? "101" : "102", row % 2 ? "011" : "031", 10.5 + row % 7);
  }
  return rows;
}

RunOptions WithDeduction() {
  RunOptions options = testing::RoundTripOptions();
  options.TextKCXSColumn = "4";
  return options;
}

RunOptions ZoneTotals() {
  RunOptions options;
  options.CheckZQStat = true;
  options.CheckTotals = true;
  return options;
}

struct SheetCase {
  const char* name;
  std::string rows;  // inside <sheetData>
  RunOptions options = testing::RoundTripOptions();
};

std::vector<SheetCase> SheetCases() {
  const std::string header = "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>镇区</t></is></c>"
                             "<c r=\"C1\" t=\"inlineStr\"><is><t>面积</t></is></c></row>";
  return {
      {"gaps between rows", header + PatchRow(2, "101", "011", 5) + PatchRow(7, "102", "031", 6) +
                                PatchRow(40, "101", "012", 7)},
      // The tables land in rows the file already has (empty, or with cells of no value).
      {"empty rows after the data", header + PatchRows(2, 5) + "<row r=\"6\"/><row r=\"15\"/>" +
                                        "<row r=\"16\" ht=\"20\" customHeight=\"1\"><c r=\"B16\"/></row>" +
                                        "<row r=\"40\"/>"},
      {"more rows than are held at once", header + PatchRows(2, 40000) + "<row r=\"40011\"/>"},
      {"rows out of order", header + PatchRow(3, "101", "011", 5) + PatchRow(2, "102", "031", 6) +
                                PatchRows(4, 9)},
      {"a row number twice", header + PatchRows(2, 5) + PatchRow(5, "102", "031", 1) +
                                 PatchRows(6, 8)},
      {"rows without numbers", header + "<row><c t=\"inlineStr\"><is><t>101</t></is></c>"
                                        "<c t=\"inlineStr\"><is><t>011</t></is></c><c><v>3</v></c></row>" +
                                        PatchRows(3, 6)},
      {"damaged in the middle", header + PatchRows(2, 20000) + "<row r=\"20001\"><c r=\"A20001\">" +
                                    PatchRows(20002, 20010)},
      {"a bad deduction coefficient", header + PatchRows(2, 9) +
                                          "<row r=\"10\"><c r=\"A10\" t=\"inlineStr\"><is><t>101</t>"
                                          "</is></c><c r=\"C10\"><v>3</v></c><c r=\"D10\"><v>1.5</v>"
                                          "</c></row>",
       WithDeduction()},
      {"zone totals", header + PatchRows(2, 300), ZoneTotals()},
  };
}

TEST(StreamedRows, EndAsTheLoadedSheetDoesOnSheetsMadeForIt) {
  for (const SheetCase& sheet : SheetCases()) {
    SCOPED_TRACE(sheet.name);
    testing::TempFolder folder;
    const fs::path input = folder / "in.xlsx";
    testing::WriteZip(input, testing::OneSheetWorkbook(testing::SheetXml(sheet.rows)));
    EXPECT_EQ(testing::StreamedDiffers(input, sheet.options, folder.path()), "");
  }
}

TEST(StreamedRows, EndAsTheLoadedSheetDoesOnEveryWorkbook) {
  size_t count = 0;
  testing::TempFolder folder;
  for (const fs::path& corpus : testing::CorpusFolders()) {
    for (const char* kind : {"valid", "broken"}) {
      for (const fs::path& file : testing::WorkbookFiles(corpus / kind)) {
        SCOPED_TRACE(file.filename().string());
        EXPECT_EQ(testing::StreamedDiffers(file, testing::RoundTripOptions(), folder.path()), "");
        EXPECT_EQ(testing::StreamedDiffers(file, WithDeduction(), folder.path()), "");
        ++count;
      }
    }
  }
  EXPECT_GT(count, 0u);
}

// What makes a large sheet cheap: the summed rows are not kept.
TEST(StreamedRows, TheSummedRowsAreNotHeld) {
  testing::TempFolder folder;
  const fs::path input = folder / "in.xlsx";
  testing::WriteZip(input, testing::OneSheetWorkbook(testing::SheetXml(PatchRows(1, 60000))));
  XlsxHostOptions options{"", folder / "out.xlsx"};
  options.stream_rows_from = 0;
  XlsxFileHost host(input, options);
  RecordingSink sink;
  ASSERT_EQ(SummarizeHost(testing::RoundTripOptions(), host, sink).outcome,
            RunResult::Outcome::kCompleted);
  auto* sheet = dynamic_cast<xlsx::XlsxSheet*>(host.ActiveWorkbook()->ActiveSheet());
  ASSERT_NE(sheet, nullptr);
  EXPECT_GT(sheet->LastUsedRow(), 60000);  // the tables below the data
  EXPECT_LT(sheet->model().rows().size(), 20000u);
}

}  // namespace
}  // namespace quilmark
