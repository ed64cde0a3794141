// An office that dies, stops answering or refuses a write, or a document that is closed, while a
// run is going on stops the run with its own message in plain words, never with the completion
// message.
#include <gtest/gtest.h>

#include <chrono>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/util/XProtectable.hpp>
#include <functional>

#include "src/app/run_driver.h"
#include "tests/summarize.h"
#include "src/host/live/live_host.h"
#include "tests/live/office_documents.h"
#include "tests/live/office_process.h"
#include "tests/recording_sink.h"

namespace quilmark {
namespace {

using namespace std::string_literals;

// Does something to the office while the confirmation is on screen, after the run has attached.
class ActingSink : public RecordingSink {
 public:
  explicit ActingSink(std::function<void()> act) : act_(std::move(act)) {}
  void Show(MessageKind kind, std::string_view text) override {
    RecordingSink::Show(kind, text);
    if (kind == MessageKind::kConfirmation) act_();
  }

 private:
  std::function<void()> act_;
};

RunOptions LandUseWithZoneNames() {
  RunOptions options;
  options.CheckTDLY = options.CheckZQDM2MC = options.OptClassC_2008 = true;
  return options;
}

css::uno::Reference<css::sheet::XSpreadsheetDocument> OpenSmallWorkbook(OfficeProcess& office,
                                                                        bool read_only = false) {
  CloseAllDocuments(office.control());
  const std::string path = office.DocumentFolder() + "/small.xlsx";
  CreateWorkbookFile(office.control(), path, {{"101"s, "011"s, 1.0}, {"102"s, "011"s, 2.0}});
  return OpenWorkbook(office.control(), path, read_only);
}

TEST(LiveFailure, AnOfficeThatDiesStopsTheRunWithTheConnectionMessage) {
  OfficeProcess office;  // its own: this test ends it
  OpenSmallWorkbook(office);
  auto host = MakeLiveHost({.connect = office.connect()});
  ActingSink sink([&] { office.Kill(); });

  const RunResult result = SummarizeHost(LandUseWithZoneNames(), *host, sink);

  EXPECT_EQ(result.outcome, RunResult::Outcome::kHostFailure);
  ASSERT_EQ(sink.messages.size(), 2u);
  EXPECT_EQ(sink.messages[1].first, MessageKind::kHostFailure);
  EXPECT_EQ(sink.messages[1].second, "与 LibreOffice 的连接已断开, 统计未完成。");
}

TEST(LiveFailure, ADocumentClosedDuringTheRunStopsItWithTheClosedMessage) {
  OfficeProcess& office = SharedOffice();
  OpenSmallWorkbook(office);
  auto host = MakeLiveHost({.connect = office.connect()});
  ActingSink sink([&] { CloseAllDocuments(office.control()); });

  const RunResult result = SummarizeHost(LandUseWithZoneNames(), *host, sink);

  EXPECT_EQ(result.outcome, RunResult::Outcome::kHostFailure);
  ASSERT_EQ(sink.messages.size(), 2u);
  EXPECT_EQ(sink.messages[1].second, "工作簿已在 LibreOffice 中关闭, 统计未完成。");
}

TEST(LiveFailure, AnOfficeThatStopsAnsweringEndsTheRunWithinTheLimit) {
  OfficeProcess office;  // its own: this test stops it
  OpenSmallWorkbook(office);
  office.Disconnect();
  constexpr std::chrono::seconds kLimit(3);
  auto host = MakeLiveHost({.connect = office.connect(), .call_timeout = kLimit});
  ActingSink sink([&] { office.Pause(); });

  const auto start = std::chrono::steady_clock::now();
  const RunResult result = SummarizeHost(LandUseWithZoneNames(), *host, sink);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  office.Resume();

  EXPECT_EQ(result.outcome, RunResult::Outcome::kHostFailure);
  EXPECT_TRUE(result.message.starts_with("LibreOffice 在 3 秒内没有响应, 统计未完成"))
      << result.message;
  EXPECT_LT(elapsed, kLimit + std::chrono::seconds(10));
}

// What the office refuses is said in plain words first; its own text only follows.
TEST(LiveFailure, ARefusedWriteSaysWhyInPlainWords) {
  struct Case {
    const char* name;
    bool read_only;
    bool protect;
    const char* message_start;
  };
  const Case cases[] = {
      {"a protected sheet", false, true, "工作表 “Sheet1” 受保护, LibreOffice 不允许写入"},
      {"a read-only document", true, false, "工作簿在 LibreOffice 中以只读方式打开, 无法写入"},
  };
  OfficeProcess& office = SharedOffice();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto document = OpenSmallWorkbook(office, c.read_only);
    if (c.protect) {
      css::uno::Reference<css::util::XProtectable>(
          document->getSheets()->getByName(FromUtf8("Sheet1")), css::uno::UNO_QUERY_THROW)
          ->protect(FromUtf8(""));
    }
    const Cells before = SheetCells(document);
    auto host = MakeLiveHost({.connect = office.connect()});
    RecordingSink sink;

    const RunResult result = SummarizeHost(LandUseWithZoneNames(), *host, sink);

    EXPECT_EQ(result.outcome, RunResult::Outcome::kHostFailure);
    EXPECT_TRUE(result.message.starts_with(c.message_start)) << result.message;
    EXPECT_EQ(SheetCells(document), before);
  }
}

}  // namespace
}  // namespace quilmark
