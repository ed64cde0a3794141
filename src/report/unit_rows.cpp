#include "src/report/unit_rows.h"

namespace quilmark {
namespace {

std::string NameOf(const std::string& code, const std::string& layer_name,
                   const std::unordered_map<std::string, std::string>& names) {
  const auto listed = names.find(code);
  return listed != names.end() ? listed->second : layer_name;
}

constexpr size_t kTownship = static_cast<size_t>(UnitLevel::kTownship);
constexpr size_t kCounty = static_cast<size_t>(UnitLevel::kCounty);

}  // namespace

std::vector<UnitRow> UnitRows(const FigureTree& tree, const std::vector<std::string>& codes,
                              const std::vector<std::string>& layer_names, UnitLevel level,
                              const std::unordered_map<std::string, std::string>& names) {
  const std::vector<std::vector<size_t>> children = tree.Children();
  const auto length = static_cast<size_t>(level);
  std::vector<UnitRow> rows = {{RowRole::kTotal, "合计", "", 0}};
  // The nodes come in code order, each township before its villages.
  for (size_t n = 1; n < tree.size(); ++n) {
    const std::string& code = codes[n];
    const bool leaf = children[n].empty();
    if (level == UnitLevel::kVillage && code.size() == kTownship && !leaf) {
      const std::string name = NameOf(code, "", names);
      rows.push_back({RowRole::kSubtotal, name + "小计", code, n});
    }
    if (code.size() == length || (leaf && code.size() < length)) {
      rows.push_back({RowRole::kUnit, NameOf(code, layer_names[n], names), code, n});
    }
  }
  return rows;
}

std::vector<std::string> UnnamedUnits(const std::vector<UnitRow>& rows) {
  std::vector<std::string> unnamed;
  for (const UnitRow& row : rows) {
    const bool above_village = row.code.size() == kTownship || row.code.size() == kCounty;
    if (above_village && (row.name.empty() || row.name == "小计")) unnamed.push_back(row.code);
  }
  return unnamed;
}

}  // namespace quilmark
