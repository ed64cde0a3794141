// Whole runs of every task on a workbook open in a real office give the same cells as the same
// runs on the in-memory host and on the workbook file, and stay in the open document, unsaved.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "src/app/run_driver.h"
#include "tests/summarize.h"
#include "src/host/live/live_host.h"
#include "src/host/memory_host.h"
#include "src/host/xlsx/xlsx_host.h"
#include "tests/live/office_documents.h"
#include "tests/live/office_process.h"
#include "tests/recording_sink.h"

namespace quilmark {
namespace {

using namespace std::string_literals;

// Zones by name, by code (as text and as a number, with blanks, with text after the code),
// unknown codes, an error value, an empty row; 2008 codes with and without K; areas as numbers
// and as text; planning-zone names in column 4.
const Rows& Data() {
  static const Rows rows = {
      {"镇区"s, "地类编码"s, "面积"s, "规划用途"s},
      {"101"s, "011"s, 2.5, "城镇建设用地区"s},
      {101.0, "0121K"s, 1.25, "一般农地区-一般耕地区"s},
      {" 003 "s, "203"s, 10.0, "基本农田保护区"s},
      {"1010203"s, "011"s, 0.5, "城镇建设用地区"s},
      {"石碣镇"s, "204"s, 3.0, "林业用地区"s},
      {},
      {"002"s, "121k"s, 4.75, "一般性基本农田区"s},
      {CellError{"#N/A"}, "011"s, 1.0, "城镇建设用地区"s},
      {"130"s, "0121K"s, "12.5 亩"s, "工矿用地区"s},
      {"901"s, CellError{"#DIV/0!"}, 2.0, "农村居民点建设用地区"s},
      {"123"s, "031"s, 7.25, "城镇建设用地区"s},
      {"123"s, "031"s, 1.5, "基本农田保护区"s},
  };
  return rows;
}

std::string FileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

struct Case {
  const char* name;
  RunOptions options;
};

std::vector<Case> Cases() {
  std::vector<Case> cases;
  auto add = [&](const char* name, auto set) {
    RunOptions options;
    set(options);
    cases.push_back({name, options});
  };
  add("land use, third-level classes, zone names",
      [](RunOptions& o) { o.CheckTDLY = o.CheckZQDM2MC = o.OptClassC_2008 = true; });
  add("land use, second-survey first-level classes",
      [](RunOptions& o) { o.CheckTDLY = o.OptClassA_ED = true; });
  add("master plan, 09 edition", [](RunOptions& o) {
    o.CheckZTGH = o.IsNewGH = true;
    o.TextDKStyleColumn = "4";
  });
  add("master plan, 06 edition", [](RunOptions& o) {
    o.CheckZTGH = o.IsOldGH = true;
    o.TextDKStyleColumn = "4";
  });
  add("zone totals", [](RunOptions& o) { o.CheckZQStat = true; });
  add("cross-tab", [](RunOptions& o) { o.ChkNumArea = true; });
  add("every task", [](RunOptions& o) {
    o.CheckTDLY = o.CheckZQDM2MC = o.OptClassB_2008 = true;
    o.CheckZTGH = o.IsAllZone = true;
    o.CheckZQStat = o.ChkNumArea = true;
  });
  return cases;
}

TEST(LiveRun, EveryTaskGivesTheCellsOfTheOtherHosts) {
  OfficeProcess& office = SharedOffice();
  CloseAllDocuments(office.control());
  const std::string fixture = office.DocumentFolder() + "/fixture.xlsx";
  CreateWorkbookFile(office.control(), fixture, Data());
  const std::string fixture_bytes = FileBytes(fixture);
  int serial = 0;

  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    // A fresh copy in a fresh folder for every run, as a user would have it open.
    const std::string folder = office.DocumentFolder() + "/run" + std::to_string(++serial);
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/图斑.xlsx";
    std::filesystem::copy_file(fixture, path);
    CloseAllDocuments(office.control());
    const auto document = OpenWorkbook(office.control(), path);

    auto live = MakeLiveHost({.connect = office.connect()});
    RecordingSink live_sink;
    const RunResult live_result = SummarizeHost(c.options, *live, live_sink);

    MemoryHost memory;
    MemorySheet& memory_sheet = memory.OpenWorkbook("图斑.xlsx").AddSheet("Sheet1");
    for (size_t row = 0; row < Data().size(); ++row) memory_sheet.SetRow(row + 1, Data()[row]);
    RecordingSink memory_sink;
    const RunResult memory_result = SummarizeHost(c.options, memory, memory_sink);

    ASSERT_EQ(memory_result.outcome, RunResult::Outcome::kCompleted);
    ASSERT_GT(memory_sheet.write_count(), 0);
    EXPECT_EQ(live_result.outcome, RunResult::Outcome::kCompleted) << live_result.message;
    EXPECT_EQ(live_sink.messages, memory_sink.messages);
    const Cells live_cells = SheetCells(document);
    EXPECT_EQ(live_cells, memory_sheet.cells());
    EXPECT_TRUE(IsModified(document));
    EXPECT_EQ(FileBytes(path), fixture_bytes);  // nothing saved to the file

    // The file host on a copy of the same file, its result as the office reads it back.
    const std::string file_path = folder + "/file.xlsx";
    std::filesystem::copy_file(fixture, file_path);
    XlsxFileHost file(file_path);
    RecordingSink file_sink;
    EXPECT_EQ(SummarizeHost(c.options, file, file_sink).outcome, RunResult::Outcome::kCompleted);
    EXPECT_EQ(SheetCells(OpenWorkbook(office.control(), file_path)), live_cells);
  }
}

TEST(LiveRun, ZoneNamesReplaceCodesInTheOpenDocument) {
  OfficeProcess& office = SharedOffice();
  CloseAllDocuments(office.control());
  const std::string path = office.DocumentFolder() + "/names.xlsx";
  CreateWorkbookFile(office.control(), path, {{"101"s, "011"s, 1.0}, {130.0, "011"s, 2.0}});
  const auto document = OpenWorkbook(office.control(), path);
  RunOptions options;
  options.CheckTDLY = options.CheckZQDM2MC = options.OptClassC_2008 = true;
  auto live = MakeLiveHost({.connect = office.connect()});
  RecordingSink sink;
  ASSERT_EQ(SummarizeHost(options, *live, sink).outcome, RunResult::Outcome::kCompleted);

  const Cells cells = SheetCells(document);
  EXPECT_EQ(cells.at({1, 1}), CellValue("石碣镇"s));
  EXPECT_EQ(cells.at({2, 1}), CellValue("松山湖科技园"s));
  // The block: class keys in the header row (the last row + 11), zones below it.
  EXPECT_EQ(cells.at({13, 2}), CellValue("011"s));
  EXPECT_EQ(cells.at({14, 1}), CellValue("石碣镇"s));
  EXPECT_EQ(cells.at({14, 2}), CellValue(1.0));
}

TEST(LiveRun, ARunThatStopsLeavesTheDocumentAsItWas) {
  // Data reaching the sheet's last rows: the zone names are converted, then the block does not
  // fit below the data and the run stops. None of its writes may reach the document.
  OfficeProcess& office = SharedOffice();
  CloseAllDocuments(office.control());
  const auto document = OpenNewWorkbook(office.control());
  auto live = MakeLiveHost({.connect = office.connect()});
  ASSERT_TRUE(live->Attach());
  Workbook* workbook = live->ActiveWorkbook();
  ASSERT_NE(workbook, nullptr);
  Worksheet* sheet = workbook->ActiveSheet();
  ASSERT_NE(sheet, nullptr);
  ASSERT_TRUE(sheet->Write(1, 1, "101"s));
  ASSERT_TRUE(sheet->Write(1, 2, "011"s));
  ASSERT_TRUE(sheet->Write(kMaxRow - 5, 3, 1.0));
  workbook->Save();
  MarkUnmodified(document);

  RunOptions options;
  options.CheckTDLY = options.CheckZQDM2MC = options.OptClassC_2008 = true;
  RecordingSink sink;
  const RunResult result = SummarizeHost(options, *MakeLiveHost({.connect = office.connect()}), sink);
  EXPECT_EQ(result.stop, StopReason::kBlockOutsideSheet);
  EXPECT_FALSE(IsModified(document));
  EXPECT_EQ(CellAt(document, 1, 1), CellValue("101"s));
}

// The command line's --live reaches the same document as the host does, and prints the run's
// messages as it does for a file.
TEST(LiveRun, CommandLineRunsOnTheOpenDocument) {
  OfficeProcess& office = SharedOffice();
  CloseAllDocuments(office.control());
  const std::string path = office.DocumentFolder() + "/cli.xlsx";
  CreateWorkbookFile(office.control(), path, {{"A"s, "011"s, 1.5}, {"A"s, "011"s, 2.0}});
  const auto document = OpenWorkbook(office.control(), path);
  const std::string port = office.connect().substr(office.connect().find("port=") + 5);
  const std::string command = std::string(QUILMARK_CLI) + " --live --office-port " +
                              port.substr(0, port.find(';')) + " --zone-totals";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[256];
  while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
  EXPECT_EQ(::pclose(pipe), 0);
  EXPECT_NE(output.find("统计完毕, 到Excel工作表查看结果!"), std::string::npos) << output;
  EXPECT_EQ(CellAt(document, 14, 1), CellValue("A"s));
  EXPECT_EQ(CellAt(document, 14, 2), CellValue(3.5));
  EXPECT_TRUE(IsModified(document));  // left unsaved for the user to review
}

}  // namespace
}  // namespace quilmark
