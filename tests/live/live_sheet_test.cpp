// The host operations on a document open in a real office: what reads give, when writes reach
// the document, and how the workbook and its active sheet are found.
#include <gtest/gtest.h>

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <filesystem>

#include "src/host/live/live_host.h"
#include "tests/live/office_documents.h"
#include "tests/live/office_process.h"

namespace quilmark {
namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;

const std::string kText011 = "011";

// A workbook with these rows, open in front in the shared office, and a live host attached.
// Open's assertions end only Open: call it inside ASSERT_NO_FATAL_FAILURE.
class LiveSheetTest : public testing::Test {
 protected:
  void Open(const Rows& rows) {
    office_ = &SharedOffice();
    CloseAllDocuments(office_->control());
    const std::string folder = office_->DocumentFolder() + "/" + std::to_string(++serial_);
    std::filesystem::create_directories(folder);
    path_ = folder + "/book.xlsx";
    CreateWorkbookFile(office_->control(), path_, rows);
    document_ = OpenWorkbook(office_->control(), path_);
    host_ = MakeLiveHost({.connect = office_->connect()});
    ASSERT_TRUE(host_->Attach());
    workbook_ = host_->ActiveWorkbook();
    ASSERT_NE(workbook_, nullptr);
    sheet_ = workbook_->ActiveSheet();
    ASSERT_NE(sheet_, nullptr);
  }

  static inline int serial_ = 0;
  OfficeProcess* office_ = nullptr;
  std::string path_;
  Reference<css::sheet::XSpreadsheetDocument> document_;
  std::unique_ptr<SpreadsheetHost> host_;
  Workbook* workbook_ = nullptr;
  Worksheet* sheet_ = nullptr;
};

TEST_F(LiveSheetTest, ReadsWhatTheDocumentHolds) {
  ASSERT_NO_FATAL_FAILURE(Open({
      {kText011, 2.5, {}, std::string("  padded ")},
      {CellError{"#N/A"}, CellError{"#DIV/0!"}, 101.0},
  }));
  struct Case {
    int32_t row;
    int32_t column;
    std::optional<CellValue> value;
  };
  const Case cases[] = {
      {1, 1, kText011},  // a text that looks like a number stays a text
      {1, 2, 2.5},
      {1, 3, CellValue{}},
      {1, 4, std::string("  padded ")},
      {2, 1, CellError{"#N/A"}},
      {2, 2, CellError{"#DIV/0!"}},
      {2, 3, 101.0},
      {100, 50, CellValue{}},  // outside the used area
      {0, 1, std::nullopt},
      {1, 0, std::nullopt},
      {kMaxRow + 1, 1, std::nullopt},
      {1, kMaxColumn + 1, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "row " << c.row << " column " << c.column);
    EXPECT_EQ(sheet_->Read(c.row, c.column), c.value);
  }
  EXPECT_EQ(sheet_->LastUsedRow(), 2);
}

TEST_F(LiveSheetTest, WritesAreSeenAtOnceAndReachTheDocumentOnSave) {
  ASSERT_NO_FATAL_FAILURE(Open({{std::string("101"), 1.0}, {std::string("102"), 2.0}}));
  const Cells before = SheetCells(document_);

  ASSERT_EQ(sheet_->Read(1, 1), CellValue(std::string("101")));  // fetches column 1
  EXPECT_TRUE(sheet_->Write(1, 1, std::string("002")));          // a fetched column
  EXPECT_TRUE(sheet_->Write(2, 2, CellValue{}));                 // a column not fetched yet
  EXPECT_TRUE(sheet_->Write(50, 3, 9.5));                        // below the used area
  EXPECT_TRUE(sheet_->Write(3, 1, std::string("=1+1")));
  EXPECT_FALSE(sheet_->Write(0, 1, 1.0));
  EXPECT_FALSE(sheet_->Write(1, kMaxColumn + 1, 1.0));

  EXPECT_EQ(sheet_->Read(1, 1), CellValue(std::string("002")));
  EXPECT_EQ(sheet_->Read(2, 2), CellValue{});
  EXPECT_EQ(sheet_->Read(50, 3), CellValue(9.5));
  EXPECT_EQ(sheet_->LastUsedRow(), 50);
  EXPECT_EQ(SheetCells(document_), before);
  EXPECT_FALSE(IsModified(document_));

  workbook_->Save();
  Cells after = before;
  after[{1, 1}] = std::string("002");  // still a text: the office did not turn it into 2
  after.erase({2, 2});
  after[{50, 3}] = 9.5;
  after[{3, 1}] = std::string("=1+1");  // a text, not a formula
  EXPECT_EQ(SheetCells(document_), after);
  // Changed, but left unsaved for the user to review.
  EXPECT_TRUE(IsModified(document_));
}

TEST_F(LiveSheetTest, UsedRowsEndAtTheLastRowWithAValue) {
  ASSERT_NO_FATAL_FAILURE(Open({{}, {}, {{}, std::string("x")}, {}, {1.0}}));
  EXPECT_EQ(sheet_->LastUsedRow(), 5);  // the last row, although the data starts in row 3

  CloseAllDocuments(office_->control());
  OpenNewWorkbook(office_->control());
  ASSERT_TRUE(host_->Attach());
  Workbook* empty = host_->ActiveWorkbook();
  ASSERT_NE(empty, nullptr);
  Worksheet* empty_sheet = empty->ActiveSheet();
  ASSERT_NE(empty_sheet, nullptr);
  EXPECT_EQ(empty_sheet->LastUsedRow(), 0);
}

TEST_F(LiveSheetTest, FindsTheWorkbookAndSheetTheUserHasInFront) {
  ASSERT_NO_FATAL_FAILURE(Open({{1.0}}));
  EXPECT_EQ(workbook_->Name(), "book.xlsx");
  EXPECT_EQ(sheet_->Name(), "Sheet1");
  EXPECT_TRUE(CheckXSheet("Sheet1", workbook_));
  EXPECT_FALSE(CheckXSheet("Sheet9", workbook_));

  Reference<css::sheet::XSpreadsheets> sheets = document_->getSheets();
  sheets->insertNewByName(FromUtf8("第二页"), 1);
  Reference<css::sheet::XSpreadsheet> second(sheets->getByName(FromUtf8("第二页")),
                                             UNO_QUERY_THROW);
  Reference<css::sheet::XSpreadsheetView>(
      Reference<css::frame::XModel>(document_, UNO_QUERY_THROW)->getCurrentController(),
      UNO_QUERY_THROW)
      ->setActiveSheet(second);
  Worksheet* active = workbook_->ActiveSheet();
  ASSERT_NE(active, nullptr);
  EXPECT_EQ(active->Name(), "第二页");
  EXPECT_TRUE(CheckXSheet("第二页", workbook_));
}

}  // namespace
}  // namespace quilmark
