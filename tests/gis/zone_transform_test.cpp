#include "src/host/zone_transform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "src/host/sheet_host.h"

namespace quilmark {
namespace {

std::string WriteFile(const std::string& name, const std::string& bytes) {
  const auto path = std::filesystem::temp_directory_path() / name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path.string();
}

TEST(ZoneTransform, PrefixThenNames) {
  ZoneTransform transform{.prefix = 9, .names = {{"441900101", "石碣镇"}, {"南城", "南城区"}}};
  struct Case {
    CellValue zone;
    CellValue expected;
  };
  const Case cases[] = {
      {std::string("4419001010000000001"), std::string("石碣镇")},
      {std::string("4419001020000000002"), std::string("441900102")},  // no name: the code
      {441900101000.0, std::string("石碣镇")},                         // a number reads as text
      {std::string("南城"), std::string("南城区")},                    // shorter than the prefix
      {std::string(" 南城区街道办事处办公室"),
       std::string("南城区街道办事处办")},  // characters, not bytes
      {CellValue{}, CellValue{}},
  };
  for (const Case& c : cases) {
    std::optional<CellValue> zone = c.zone;
    ApplyZoneTransform(transform, zone);
    EXPECT_EQ(*zone, c.expected) << ValueText(c.zone);
  }
}

TEST(ZoneTransform, NamesFileInUtf8OrGbk) {
  const std::string utf8 = WriteFile("zone-names-utf8.csv",
                                     "\xEF\xBB\xBF"
                                     "101,石碣镇\r\n\"102\",\"常平镇, 东\"\n\n");
  // 石碣镇 and 常平镇 in GBK, tab-separated.
  const std::string gbk = WriteFile(
      "zone-names-gbk.tsv", "101\t\xCA\xAF\xED\xD9\xD5\xF2\n102\t\xB3\xA3\xC6\xBD\xD5\xF2\n");
  EXPECT_EQ(ReadZoneNames(utf8), (std::unordered_map<std::string, std::string>{
                                     {"101", "石碣镇"}, {"102", "常平镇, 东"}}));
  EXPECT_EQ(ReadZoneNames(gbk),
            (std::unordered_map<std::string, std::string>{{"101", "石碣镇"}, {"102", "常平镇"}}));
  for (const auto& [bytes, expected] : std::vector<std::pair<std::string, std::string>>{
           {"101,石碣镇\n102\n", "第 2 行应有两列"},
           {"101,石碣镇\n101,常平镇\n", "代码 101 有两个名称 (第 1 行和第 2 行)"}}) {
    try {
      ReadZoneNames(WriteFile("zone-names-bad.csv", bytes));
      ADD_FAILURE() << bytes;
    } catch (const HostError& error) {
      EXPECT_NE(std::string(error.what()).find(expected), std::string::npos) << error.what();
    }
  }
}

}  // namespace
}  // namespace quilmark
