#include "src/report/report_figures.h"

#include <unordered_map>

#include "src/report/patch_attributes.h"
#include "src/report/report_columns.h"
#include "src/summary/area_format.h"

namespace quilmark {
namespace {

double Hectares(double square_metres) { return ConvertArea(square_metres, AreaUnit::kHectare); }

// 合计 ⊃ county (6 digits) ⊃ township (9) ⊃ village (12), by the units' codes; a shorter code
// stands whole under the longest prefix it has.
void BuildRows(const std::vector<std::string>& units, ReportFigures& f) {
  std::vector<size_t> order(units.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return units[a] < units[b]; });
  std::unordered_map<std::string, size_t> nodes;
  f.node_codes = {""};
  f.leaf_node.assign(units.size(), 0);
  for (size_t unit : order) {
    size_t parent = 0;
    for (const UnitLevel level : {UnitLevel::kCounty, UnitLevel::kTownship}) {
      const auto length = static_cast<size_t>(level);
      if (units[unit].size() <= length) break;
      const std::string prefix = units[unit].substr(0, length);
      auto [found, added] = nodes.try_emplace(prefix, f.rows.size());
      if (added) {
        f.rows.Add(parent);
        f.node_codes.push_back(prefix);
      }
      parent = found->second;
    }
    f.leaf_node[unit] = f.rows.Add(parent);
    f.node_codes.push_back(units[unit]);
  }
}

// 总面积 ⊃ 一级类 ⊃ 二级类, and the codes the classification does not know under 总面积 alone.
struct ClassTree {
  FigureTree tree;
  std::vector<size_t> level1, level2;  // their column nodes; level2's last: the unknown codes
};

ClassTree BuildColumns() {
  const ClassColumns& classes = Survey3Columns();
  ClassTree columns;
  for (size_t g = 0; g < classes.level1.size(); ++g) columns.level1.push_back(columns.tree.Add(0));
  for (const Level2Class& c : classes.level2) {
    columns.level2.push_back(columns.tree.Add(columns.level1[c.level1]));
  }
  columns.level2.push_back(columns.tree.Add(0));
  return columns;
}

FigureTree SlopeColumns() {
  FigureTree tree;
  tree.Add(0);  // grade 1
  for (int grade = 2; grade <= 5; ++grade) {
    const size_t subtotal = tree.Add(0);
    tree.Add(subtotal);  // 梯田
    tree.Add(subtotal);  // 坡地
  }
  tree.Add(0);  // no known grade
  return tree;
}

// The slope column of a slope part (patch_attributes.h).
size_t SlopeColumnOf(size_t part) {
  if (part == 0) return 1;
  if (part == kSlopeUnknown) return kSlopeColumns - 1;
  return 3 + 3 * ((part - 1) / 2) + (part - 1) % 2;
}

// Splits the rounded figures of one column (`fixed`, per row node) into the kinds whose exact
// hectares per smallest unit are `parts` ([unit][kind column node]); the result is [node][kind
// column node], column node 0 being the figure split.
std::vector<std::vector<double>> Split(ReportFigures& f, const FigureTree& kinds,
                                       const std::vector<std::vector<double>>& parts,
                                       std::vector<int64_t> fixed) {
  std::vector<std::vector<double>> exact(f.rows.size());
  for (size_t u = 0; u < parts.size(); ++u) exact[f.leaf_node[u]] = parts[u];
  const RoundedTrees rounded = RoundTrees(f.rows, kinds, exact, kReportDecimals, fixed);
  f.beyond_unit += rounded.beyond_unit;
  std::vector<std::vector<double>> split(f.rows.size());
  for (size_t r = 0; r < f.rows.size(); ++r) {
    for (size_t k = 0; k < kinds.size(); ++k) split[r].push_back(rounded.Figure(r, k));
  }
  return split;
}

std::vector<int64_t> ColumnUnits(const RoundedTrees& rounded, size_t column) {
  std::vector<int64_t> units;
  for (const std::vector<int64_t>& row : rounded.units) units.push_back(row[column]);
  return units;
}

// A flat tree of `kinds` kinds under the figure they split.
FigureTree Kinds(size_t kinds) {
  FigureTree tree;
  for (size_t k = 0; k < kinds; ++k) tree.Add(0);
  return tree;
}

// Outside the 城镇村 (node 1) and within them (node 2: 201 ... 205 as nodes 3 to 7).
FigureTree UrbanKinds() {
  FigureTree tree;
  tree.Add(0);
  const size_t urban = tree.Add(0);
  for (size_t k = 1; k < kUrbanKinds; ++k) tree.Add(urban);
  return tree;
}

// Each level-2 figure's parts by one attribute over the tree `kinds` (kind k is column node
// nodes[k]); `pick` reads a column's exact parts. The figures are the column nodes' but the root.
template <typename Pick>
SplitFigures SplitLevel2(ReportFigures& f, const RoundedTrees& main, const ClassTree& columns,
                         const std::vector<std::vector<ColumnSums>>& sums, const FigureTree& kinds,
                         const std::vector<size_t>& nodes, Pick pick) {
  SplitFigures split(f.rows.size());
  for (size_t c = 0; c < columns.level2.size(); ++c) {
    std::vector<std::vector<double>> parts(sums.size(), std::vector<double>(kinds.size()));
    for (size_t u = 0; u < sums.size(); ++u) {
      const auto& exact = pick(sums[u][c]);
      for (size_t k = 0; k < exact.size(); ++k) parts[u][nodes[k]] = Hectares(exact[k]);
    }
    const auto figures = Split(f, kinds, parts, ColumnUnits(main, columns.level2[c]));
    for (size_t r = 0; r < f.rows.size(); ++r) {
      split[r].emplace_back(figures[r].begin() + 1, figures[r].end());
    }
  }
  return split;
}

void SplitOwnership(ReportFigures& f, const RoundedTrees& main, const ClassTree& columns,
                    const std::vector<std::vector<ColumnSums>>& sums) {
  const ClassColumns& classes = Survey3Columns();
  f.ownership.assign(f.rows.size(), {});
  for (size_t g = 0; g < classes.level1.size(); ++g) {
    std::vector<std::vector<double>> parts(sums.size(), std::vector<double>(kOwnershipKinds + 1));
    for (size_t u = 0; u < sums.size(); ++u) {
      for (size_t c = 0; c < classes.level2.size(); ++c) {
        if (classes.level2[c].level1 != g) continue;
        for (size_t k = 0; k < kOwnershipKinds; ++k) {
          parts[u][k + 1] += Hectares(sums[u][c].ownership[k]);
        }
      }
    }
    const auto figures =
        Split(f, Kinds(kOwnershipKinds), parts, ColumnUnits(main, columns.level1[g]));
    for (size_t r = 0; r < f.rows.size(); ++r) {
      f.ownership[r].emplace_back(figures[r].begin() + 1, figures[r].end());
    }
  }
}

void SplitSlope(ReportFigures& f, const RoundedTrees& main, const ClassTree& columns,
                const std::vector<std::vector<ColumnSums>>& sums) {
  const ClassColumns& classes = Survey3Columns();
  std::vector<std::vector<double>> parts(sums.size(), std::vector<double>(kSlopeColumns));
  for (size_t u = 0; u < sums.size(); ++u) {
    for (size_t c = 0; c < classes.level2.size(); ++c) {
      if (classes.level2[c].level1 != classes.cultivated) continue;
      for (size_t p = 0; p < kSlopeParts; ++p) {
        parts[u][SlopeColumnOf(p)] += Hectares(sums[u][c].slope[p]);
      }
    }
  }
  f.slope = Split(f, SlopeColumns(), parts, ColumnUnits(main, columns.level1[classes.cultivated]));
}

void Unplaced(ReportFigures& f, const std::vector<std::vector<ColumnSums>>& sums) {
  const ClassColumns& classes = Survey3Columns();
  for (const std::vector<ColumnSums>& unit : sums) {
    double unknown_major = 0, unknown_ownership = 0, unknown_slope = 0;
    for (size_t c = 0; c < unit.size(); ++c) {
      unknown_major += unit[c].major[kUnknownMajor];
      unknown_ownership += unit[c].ownership[static_cast<size_t>(Ownership::kUnknown)];
      const bool cultivated =
          c < classes.level2.size() && classes.level2[c].level1 == classes.cultivated;
      if (cultivated) unknown_slope += unit[c].slope[kSlopeUnknown];
    }
    f.unknown_class.push_back(Hectares(unit.back().area));
    f.unknown_major.push_back(Hectares(unknown_major));
    f.unknown_ownership.push_back(Hectares(unknown_ownership));
    f.unknown_slope.push_back(Hectares(unknown_slope));
  }
}

}  // namespace

ReportFigures ComputeFigures(const std::vector<std::string>& units,
                             const std::vector<std::vector<ColumnSums>>& sums) {
  ReportFigures f;
  BuildRows(units, f);
  const ClassTree columns = BuildColumns();
  std::vector<std::vector<double>> exact(f.rows.size());
  for (size_t u = 0; u < sums.size(); ++u) {
    std::vector<double>& row = exact[f.leaf_node[u]];
    row.assign(columns.tree.size(), 0.0);
    for (size_t c = 0; c < sums[u].size(); ++c) row[columns.level2[c]] = Hectares(sums[u][c].area);
  }
  const RoundedTrees main = RoundTrees(f.rows, columns.tree, exact, kReportDecimals);
  f.beyond_unit = main.beyond_unit;
  for (size_t r = 0; r < f.rows.size(); ++r) {
    f.total.push_back(main.Figure(r, 0));
    f.level1.emplace_back();
    for (size_t node : columns.level1) f.level1[r].push_back(main.Figure(r, node));
    f.level2.emplace_back();
    for (size_t node : columns.level2) f.level2[r].push_back(main.Figure(r, node));
  }
  f.major = SplitLevel2(
      f, main, columns, sums, Kinds(kMajorKinds), {1, 2, 3, 4},
      [](const ColumnSums& s) -> const auto& { return s.major; });
  // Node 2 is the 城镇村 小计 row's figure, itself rounded within one unit.
  f.urban = SplitLevel2(
      f, main, columns, sums, UrbanKinds(), {1, 3, 4, 5, 6, 7},
      [](const ColumnSums& s) -> const auto& { return s.urban; });
  SplitOwnership(f, main, columns, sums);
  SplitSlope(f, main, columns, sums);
  Unplaced(f, sums);
  return f;
}

}  // namespace quilmark
