#include "src/report/unit_rows.h"

#include <algorithm>
#include <numeric>

namespace quilmark {
namespace {

std::string NameOf(const std::string& code, const std::string& layer_name,
                   const std::unordered_map<std::string, std::string>& names) {
  const auto listed = names.find(code);
  return listed != names.end() ? listed->second : layer_name;
}

}  // namespace

std::vector<UnitRow> UnitRows(const std::vector<std::string>& codes,
                              const std::vector<std::string>& layer_names, UnitLevel level,
                              const std::unordered_map<std::string, std::string>& names) {
  std::vector<uint32_t> order(codes.size());
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(),
            [&](uint32_t a, uint32_t b) { return codes[a] < codes[b]; });
  std::vector<UnitRow> rows;
  rows.push_back({RowRole::kTotal, "合计", "", order});
  constexpr size_t kTownship = static_cast<size_t>(UnitLevel::kTownship);
  for (uint32_t leaf : order) {
    if (level == UnitLevel::kVillage) {
      const std::string township = codes[leaf].substr(0, kTownship);
      if (rows.back().role == RowRole::kTotal ||
          rows.back().code.substr(0, kTownship) != township) {
        const std::string name = NameOf(township, "", names);
        rows.push_back({RowRole::kSubtotal, name.empty() ? "小计" : name + "小计", township, {}});
      }
      // The villages of the township follow its 小计 row, which sums them.
      size_t subtotal = rows.size() - 1;
      while (rows[subtotal].role != RowRole::kSubtotal) --subtotal;
      rows[subtotal].leaves.push_back(leaf);
    }
    rows.push_back(
        {RowRole::kUnit, NameOf(codes[leaf], layer_names[leaf], names), codes[leaf], {leaf}});
  }
  return rows;
}

}  // namespace quilmark
