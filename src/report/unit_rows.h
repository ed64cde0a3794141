// The rows of a survey table: the administrative units by their location codes, the whole
// layer's 合计 first and, at village level, each township's 小计 row above its villages, as the
// survey's statistics tables stand (a county's table is filled to the villages and summed to the
// townships and the county, its 合计 on the first row).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "src/report/report_kinds.h"
#include "src/summary/tree_rounding.h"

namespace quilmark {

enum class RowRole { kTotal, kSubtotal, kUnit };

struct UnitRow {
  RowRole role = RowRole::kUnit;
  std::string name;  // the unit's name; "合计"; the township's name and "小计"
  std::string code;  // empty for 合计
  size_t node = 0;   // the row tree's node whose figures the row shows
};

// The rows of a table that goes down to `level`, from the row tree (合计 ⊃ county ⊃ township ⊃
// village, nodes in code order, with their codes and the names the layer gave them; empty where
// none): the nodes whose code is as long as the level, and the smallest units whose code is
// shorter. `names` (the --zone-names table) names any unit, and wins over the layer's name; a
// unit with neither has an empty name.
std::vector<UnitRow> UnitRows(const FigureTree& tree, const std::vector<std::string>& codes,
                              const std::vector<std::string>& layer_names, UnitLevel level,
                              const std::unordered_map<std::string, std::string>& names);

// The codes of the counties and townships that rows name but neither the names table nor the
// layer names (the layer names villages only): their rows would stand without a name.
std::vector<std::string> UnnamedUnits(const std::vector<UnitRow>& rows);

}  // namespace quilmark
