// An office that dies, or a document that is closed, while a run is going on stops the run with
// its own message, never with the completion message.
#include <gtest/gtest.h>

#include <functional>

#include "src/app/run_driver.h"
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

void OpenSmallWorkbook(OfficeProcess& office) {
  CloseAllDocuments(office.control());
  const std::string path = office.DocumentFolder() + "/small.xlsx";
  CreateWorkbookFile(office.control(), path, {{"101"s, "011"s, 1.0}, {"102"s, "011"s, 2.0}});
  OpenWorkbook(office.control(), path);
}

TEST(LiveFailure, AnOfficeThatDiesStopsTheRunWithTheConnectionMessage) {
  OfficeProcess office;  // its own: this test ends it
  OpenSmallWorkbook(office);
  auto host = MakeLiveHost({.connect = office.connect()});
  ActingSink sink([&] { office.Kill(); });

  const RunResult result = RunSummary(LandUseWithZoneNames(), *host, sink);

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

  const RunResult result = RunSummary(LandUseWithZoneNames(), *host, sink);

  EXPECT_EQ(result.outcome, RunResult::Outcome::kHostFailure);
  ASSERT_EQ(sink.messages.size(), 2u);
  EXPECT_EQ(sink.messages[1].second, "工作簿已在 LibreOffice 中关闭, 统计未完成。");
}

}  // namespace
}  // namespace quilmark
