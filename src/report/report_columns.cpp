#include "src/report/report_columns.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "src/landuse/shipped_tables.h"

namespace quilmark {
namespace {

// The level-1 classes of the statistics tables, in their column order: 湿地 (00) stands first, as
// in the third survey's working classification, TD/T 1055-2019 第三次全国国土调查技术规程 附录A
// 表A.1 (the codes are those the survey's summary tables print beside the names).
constexpr std::array<std::pair<std::string_view, std::string_view>, 13> kLevel1 = {{
    {"00", "湿地"},
    {"01", "耕地"},
    {"02", "种植园用地"},
    {"03", "林地"},
    {"04", "草地"},
    {"05", "商业服务业用地"},
    {"06", "工矿用地"},
    {"07", "住宅用地"},
    {"08", "公共管理与公共服务用地"},
    {"09", "特殊用地"},
    {"10", "交通运输用地"},
    {"11", "水域及水利设施用地"},
    {"12", "其他土地"},
}};

// GB/T 21010-2017 附录A 表A.1, the order of the 三大类.
constexpr std::array<std::string_view, 3> kMajor = {"农用地", "建设用地", "未利用地"};

ClassColumns BuildColumns() {
  ClassColumns columns;
  for (const auto& [code, name] : kLevel1)
    columns.level1.push_back({std::string(code), std::string(name)});
  columns.cultivated = 1;
  for (std::string_view name : kMajor) columns.major.emplace_back(name);
  const ClassTable& level1 = ShippedTable("survey3_level1");
  // Each level-1 group gathers its level-2 codes in the level-2 table's order.
  std::vector<std::vector<Level2Class>> groups(kLevel1.size());
  for (const auto& [code, name] : ShippedTable("survey3_level2").ExactRules()) {
    const std::optional<std::string_view> group = level1.Match(code);
    const auto found = std::find_if(kLevel1.begin(), kLevel1.end(), [&](const auto& entry) {
      return group && entry.second == *group;
    });
    if (found == kLevel1.end()) continue;  // the tests make sure every code has its group
    const size_t index = static_cast<size_t>(found - kLevel1.begin());
    groups[index].push_back({std::string(code), std::string(name), index});
  }
  for (const auto& group : groups) {
    for (const Level2Class& column : group) {
      if (column.code == "1203") columns.terrace = columns.level2.size();
      columns.level2.push_back(column);
    }
  }
  return columns;
}

}  // namespace

const ClassColumns& Survey3Columns() {
  static const ClassColumns columns = BuildColumns();
  return columns;
}

std::optional<size_t> Level2ColumnOf(std::string_view code) {
  const ClassLookup lookup = ShippedTable("survey3_level2").Lookup(code);
  if (!lookup.known) return std::nullopt;
  const std::vector<Level2Class>& level2 = Survey3Columns().level2;
  const auto found = std::find_if(level2.begin(), level2.end(), [&](const Level2Class& column) {
    return column.name == lookup.key;
  });
  if (found == level2.end()) return std::nullopt;
  return static_cast<size_t>(found - level2.begin());
}

std::optional<size_t> MajorClassOf(std::string_view code) {
  const ClassLookup lookup = ShippedTable("survey3_major").Lookup(code);
  if (!lookup.known) return std::nullopt;
  const auto found = std::find(kMajor.begin(), kMajor.end(), lookup.key);
  if (found == kMajor.end()) return std::nullopt;
  return static_cast<size_t>(found - kMajor.begin());
}

std::string ColumnTitle(std::string_view name, std::string_view code) {
  return std::string(name) + "(" + std::string(code) + ")";
}

}  // namespace quilmark
