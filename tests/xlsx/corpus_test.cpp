// Every workbook of the corpus: the valid ones load, take a block below their data and save with
// every other part unchanged; the broken and hostile ones are refused. Runs on the copies kept
// in the repository, and on the whole corpus when it lies beside the clone.
#include <gtest/gtest.h>

#include "src/host/xlsx/xlsx_host.h"
#include "tests/xlsx/xlsx_fixture.h"

namespace quilmark {
namespace {

namespace fs = std::filesystem;

void CheckValid(const fs::path& file) {
  SCOPED_TRACE(file.filename().string());
  testing::TempFolder folder;
  // A workbook with macros is written under its own kind of name.
  const fs::path out = folder / (file.extension() == ".xlsm" ? "out.xlsm" : "out.xlsx");
  XlsxFileHost host(file, {"", out});
  Workbook* workbook = nullptr;
  try {
    workbook = host.ActiveWorkbook();
  } catch (const HostError& error) {
    ADD_FAILURE() << error.what();
    return;
  }
  Worksheet* sheet = workbook->ActiveSheet();
  if (sheet == nullptr) return;  // a chart, dialog or macro sheet in front
  const int32_t last = sheet->LastUsedRow();
  // The block goes below the data, or beside it on a sheet filled to its last row.
  const bool below = last + 12 <= kMaxRow;
  const int32_t top = below ? last + 11 : 2;
  const int32_t left = below ? 1 : 50;
  std::map<std::pair<int32_t, int32_t>, std::optional<CellValue>> before;
  for (int32_t row = 1; row <= std::min(last, 300); ++row) {
    for (int32_t column = 1; column <= 12; ++column)
      before[{row, column}] = sheet->Read(row, column);
  }
  ASSERT_TRUE(sheet->Write(top, left, std::string("区域")));
  ASSERT_TRUE(sheet->Write(top, left + 1, 0.0));
  ASSERT_TRUE(sheet->Write(top + 1, left, std::string("002")));
  ASSERT_TRUE(sheet->Write(top + 1, left + 1, 1234.5));
  workbook->Save();

  XlsxFileHost again(out);
  Worksheet* saved = again.ActiveWorkbook()->ActiveSheet();
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(saved->Name(), sheet->Name());
  EXPECT_EQ(saved->LastUsedRow(), below ? last + 12 : last);
  EXPECT_EQ(saved->Read(top, left), CellValue{std::string("区域")});
  EXPECT_EQ(saved->Read(top, left + 1), CellValue{0.0});
  EXPECT_EQ(saved->Read(top + 1, left), CellValue{std::string("002")});
  EXPECT_EQ(saved->Read(top + 1, left + 1), CellValue{1234.5});
  for (const auto& [cell, value] : before) {
    EXPECT_EQ(saved->Read(cell.first, cell.second), value) << cell.first << "," << cell.second;
  }

  // Every entry but the one sheet that was written is carried over byte for byte; a template
  // saved as a workbook also declares itself one in its content types.
  const testing::Entries in = testing::ReadZip(file);
  const testing::Entries written = testing::ReadZip(out);
  size_t changed = 0;
  for (const auto& [name, bytes] : in) {
    const auto found = written.find(name);
    ASSERT_NE(found, written.end()) << name;
    if (found->second != bytes && !(file.extension() == ".xltx" && name == "[Content_Types].xml")) {
      ++changed;
    }
  }
  if (file.extension() == ".xltx") {
    EXPECT_NE(written.at("[Content_Types].xml").find("spreadsheetml.sheet.main+xml"),
              std::string::npos);
  }
  EXPECT_LE(changed, 1u);
  EXPECT_EQ(in.size(), written.size());
}

TEST(XlsxCorpus, ValidWorkbooksRoundTrip) {
  size_t count = 0;
  for (const fs::path& folder : testing::CorpusFolders()) {
    for (const fs::path& file : testing::WorkbookFiles(folder / "valid")) {
      CheckValid(file);
      ++count;
    }
  }
  EXPECT_GT(count, 0u);
}

TEST(XlsxCorpus, BrokenWorkbooksAreRefused) {
  for (const fs::path& folder : testing::CorpusFolders()) {
    for (const fs::path& file : testing::WorkbookFiles(folder / "broken")) {
      SCOPED_TRACE(file.filename().string());
      testing::TempFolder temp;
      XlsxFileHost host(file, {"", temp / "out.xlsx"});
      try {
        host.ActiveWorkbook();
        ADD_FAILURE() << "loaded";
      } catch (const HostError& error) {
        EXPECT_TRUE(std::string(error.what()).starts_with("无法读取工作簿: "));
      }
    }
  }
}

}  // namespace
}  // namespace quilmark
