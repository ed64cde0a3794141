#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "src/app/messages.h"
#include "src/app/run_driver.h"
#include "tests/summarize.h"
#include "src/app/run_options.h"
#include "src/host/memory_host.h"
#include "tests/landuse/land_use_test_sheet.h"

namespace quilmark {
namespace {

using landuse_test::N;
using landuse_test::RowsFrom;
using landuse_test::Shown;
using landuse_test::T;
using Rows = std::vector<std::vector<std::string>>;

class ShownMessages : public MessageSink {
 public:
  void Show(MessageKind kind, std::string_view /*text*/) override { kinds.push_back(kind); }
  std::vector<MessageKind> kinds;
};

// A title row and five patches whose zones are codes (two naming the same zone, one a number).
MemorySheet& AddPatches(MemoryHost& host) {
  MemorySheet& sheet = host.OpenWorkbook("地块.xlsx").AddSheet("Sheet1");
  sheet.SetRow(1, {T("区域"), T("地类编码"), T("面积")});
  sheet.SetRow(2, {T("101"), T("111"), N(1)});
  sheet.SetRow(3, {T(" 101 "), T("121K"), N(2)});
  sheet.SetRow(4, {T("130"), T("043K"), N(4)});
  sheet.SetRow(5, {T("901"), T("317"), N(8)});
  sheet.SetRow(6, {N(1), N(20), N(16)});
  return sheet;
}

RunOptions LandUseRun(void (*choose)(RunOptions&), bool convert) {
  RunOptions options;
  options.CheckTDLY = true;
  options.CheckZQDM2MC = convert;
  choose(options);
  return options;
}

// The block as it stands from row 17 (six data rows, ten rows left alone), without the first
// cell of the class row, which stays empty.
Rows Block(const MemorySheet& sheet) {
  Rows rows = RowsFrom(sheet, 17);
  if (!rows.empty() && !rows[0].empty()) {
    EXPECT_EQ(rows[0][0], "");
    rows[0].erase(rows[0].begin());
  }
  return rows;
}

struct MethodCase {
  const char* name;
  void (*choose)(RunOptions&);
  std::vector<std::string> classes;
  // Sums of the zones 101, 130, 901, 1 as written without the conversion (the title row is no
  // patch: neither its zone 区域 nor its class is summed).
  std::vector<std::vector<double>> sums;
};

std::vector<std::string> SumRow(const char* zone, const std::vector<double>& sums) {
  std::vector<std::string> row{zone};
  for (double sum : sums) row.push_back("#" + NumberText(sum));
  return row;
}

std::vector<double> Added(std::vector<double> a, const std::vector<double>& b) {
  for (size_t i = 0; i < a.size(); ++i) a[i] += b[i];
  return a;
}

const std::vector<MethodCase>& MethodCases() {
  static const std::vector<MethodCase> cases = {
      {"OptClassC_2008",
       [](RunOptions& o) { o.OptClassC_2008 = true; },
       {"111", "121K", "043K", "317", "20"},
       {{1, 2, 0, 0, 0}, {0, 0, 4, 0, 0}, {0, 0, 0, 8, 0}, {0, 0, 0, 0, 16}}},
      {"OptClassB_2008",
       [](RunOptions& o) { o.OptClassB_2008 = true; },
       {"耕地", "带K园地", "043K", "未利用土地", "居民点及独立工矿用地"},
       {{1, 2, 0, 0, 0}, {0, 0, 4, 0, 0}, {0, 0, 0, 8, 0}, {0, 0, 0, 0, 16}}},
      {"OptClassA_2008",
       [](RunOptions& o) { o.OptClassA_2008 = true; },
       {"耕地", "带K农用地", "未利用地", "建设用地"},
       {{1, 2, 0, 0}, {0, 4, 0, 0}, {0, 0, 8, 0}, {0, 0, 0, 16}}},
      {"OptQSXZ_ED",
       [](RunOptions& o) { o.OptQSXZ_ED = true; },
       {"国有", "集体"},
       {{3, 0}, {4, 0}, {0, 8}, {16, 0}}},
      {"OptClassA_ED",
       [](RunOptions& o) { o.OptClassA_ED = true; },
       {"未利用地", "建设用地", "带K农用地", "317"},
       {{1, 2, 0, 0}, {0, 0, 4, 0}, {0, 0, 0, 8}, {0, 16, 0, 0}}},
      {"OptAgriLand_ED",
       [](RunOptions& o) { o.OptAgriLand_ED = true; },
       {"未利用地", "建设用地", "317"},
       {{1, 2, 0}, {4, 0, 0}, {0, 0, 8}, {0, 16, 0}}},
  };
  return cases;
}

TEST(LandUseRun, BlockForEachMethodWithZoneCodesKept) {
  for (const MethodCase& c : MethodCases()) {
    SCOPED_TRACE(c.name);
    MemoryHost host;
    MemorySheet& sheet = AddPatches(host);
    ShownMessages messages;
    const RunResult result = SummarizeHost(LandUseRun(c.choose, false), host, messages);
    EXPECT_EQ(result.outcome, RunResult::Outcome::kCompleted);
    // The title row left out is said before the completion.
    EXPECT_EQ(messages.kinds, (std::vector<MessageKind>{MessageKind::kConfirmation,
                                                        MessageKind::kWarning,
                                                        MessageKind::kCompletion}));
    const Rows expected = {c.classes, SumRow("101", c.sums[0]), SumRow("130", c.sums[1]),
                           SumRow("901", c.sums[2]), SumRow("1", c.sums[3])};
    EXPECT_EQ(Block(sheet), expected);
    EXPECT_EQ(sheet.At(3, 1), T(" 101 "));  // the data rows are not touched
    EXPECT_EQ(sheet.At(6, 1), N(1));
  }
}

TEST(LandUseRun, BlockForEachMethodWithZoneNames) {
  for (const MethodCase& c : MethodCases()) {
    SCOPED_TRACE(c.name);
    MemoryHost host;
    MemorySheet& sheet = AddPatches(host);
    ShownMessages messages;
    const RunResult result = SummarizeHost(LandUseRun(c.choose, true), host, messages);
    EXPECT_EQ(result.outcome, RunResult::Outcome::kCompleted);
    // 130 and 901 name the same zone, so their rows sum together.
    const Rows expected = {c.classes, SumRow("石碣镇", c.sums[0]),
                           SumRow("松山湖科技园", Added(c.sums[1], c.sums[2])),
                           SumRow("1", c.sums[3])};
    EXPECT_EQ(Block(sheet), expected);
  }
}

TEST(LandUseRun, ConversionRewritesTheDataRowsOnce) {
  MemoryHost host;
  MemorySheet& sheet = AddPatches(host);
  ShownMessages messages;
  const RunOptions options = LandUseRun([](RunOptions& o) { o.OptClassC_2008 = true; }, true);
  SummarizeHost(options, host, messages);
  const Rows zones_after_first = {{"区域"},         {"石碣镇"},       {"石碣镇"},
                                  {"松山湖科技园"}, {"松山湖科技园"}, {"1"}};
  Rows zones;
  for (int32_t row = 1; row <= 6; ++row) zones.push_back({Shown(sheet.At(row, 1))});
  EXPECT_EQ(zones, zones_after_first);

  // A second run reads the first block as data too and leaves every name as it is.
  const std::map<std::pair<int32_t, int32_t>, CellValue> before = sheet.cells();
  const RunResult second = SummarizeHost(options, host, messages);
  EXPECT_EQ(second.outcome, RunResult::Outcome::kCompleted);
  for (const auto& [place, value] : before) {
    if (place.second != 1) continue;
    SCOPED_TRACE(place.first);
    EXPECT_EQ(Shown(sheet.At(place.first, 1)), Shown(value));
  }
}

}  // namespace
}  // namespace quilmark
