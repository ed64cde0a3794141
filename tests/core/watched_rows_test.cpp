// A run the user cancels, and the rows it reports as it reads them.
#include "src/app/watched_rows.h"

#include <gtest/gtest.h>

#include <utility>

#include "src/app/run_driver.h"
#include "tests/summarize.h"
#include "src/host/memory_host.h"
#include "tests/recording_sink.h"

namespace quilmark {
namespace {

// Cancels once `cancel_after` rows have been reported read; refuses to write when told to.
class CancellingSink : public RecordingSink {
 public:
  void RowsRead(int64_t done, int64_t total) override { reported.emplace_back(done, total); }
  bool CancelRequested() override {
    return !reported.empty() && reported.back().first >= cancel_after;
  }
  bool BeginWriting() override { return writing; }

  int64_t cancel_after = 1 << 30;
  bool writing = true;
  std::vector<std::pair<int64_t, int64_t>> reported;
};

TEST(WatchedRows, CancelStopsTheRunWithNothingWrittenOrSaved) {
  struct Case {
    const char* name;
    int64_t cancel_after;
    bool writing;  // what BeginWriting answers: false when the cancel came just before writing
  };
  const Case cases[] = {
      {"between rows", WatchedRows::kEvery, true},
      {"before the first row", 0, true},
      {"before writing", 1 << 30, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryHost host;
    MemoryWorkbook& workbook = host.OpenWorkbook("图斑.xlsx");
    MemorySheet& sheet = workbook.AddSheet("Sheet1");
    for (int32_t row = 1; row <= 2000; ++row) {
      sheet.SetRow(row, {std::string("A"), std::string("111"), 1.0});
    }
    RunOptions options;
    options.CheckZQStat = true;
    CancellingSink sink;
    sink.cancel_after = c.cancel_after;
    sink.writing = c.writing;
    const RunResult result = SummarizeHost(options, host, sink);
    EXPECT_EQ(result.outcome, RunResult::Outcome::kCancelled);
    EXPECT_EQ(sink.messages.back(), std::pair(MessageKind::kStop, std::string(kCancelledText)));
    EXPECT_EQ(sheet.write_count(), 0);
    EXPECT_EQ(workbook.save_count(), 0);
    ASSERT_FALSE(sink.reported.empty());
    EXPECT_EQ(sink.reported.front(), (std::pair<int64_t, int64_t>(0, 2000)));
  }
}

}  // namespace
}  // namespace quilmark
