#include "src/summary/tree_rounding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "src/summary/area_format.h"

namespace quilmark {
namespace {

// Every figure of the two trees, exact, summed here from the leaf cells on its own.
std::vector<std::vector<double>> ExactFigures(const FigureTree& rows, const FigureTree& columns,
                                              const std::vector<std::vector<double>>& leaves) {
  auto under = [](const FigureTree& tree, size_t node, size_t leaf) {
    for (int64_t n = static_cast<int64_t>(leaf); n >= 0; n = tree.parent[n]) {
      if (static_cast<size_t>(n) == node) return true;
    }
    return false;
  };
  std::vector<std::vector<double>> exact(rows.size(), std::vector<double>(columns.size()));
  for (size_t r = 0; r < rows.size(); ++r) {
    for (size_t c = 0; c < columns.size(); ++c) {
      for (size_t lr = 0; lr < leaves.size(); ++lr) {
        for (size_t lc = 0; lc < leaves[lr].size(); ++lc) {
          if (under(rows, r, lr) && under(columns, c, lc)) exact[r][c] += leaves[lr][lc];
        }
      }
    }
  }
  return exact;
}

// 合计 ⊃ `groups` groups ⊃ `leaves` leaves each.
FigureTree Tree(size_t groups, size_t leaves) {
  FigureTree tree;
  for (size_t g = 0; g < groups; ++g) {
    const size_t group = tree.Add(0);
    for (size_t l = 0; l < leaves; ++l) tree.Add(group);
  }
  return tree;
}

// On generated tables: every figure adds up along both trees, the grand total is its own
// rounding, and a figure further than one unit from its exact value is always counted.
TEST(RoundTrees, FiguresAddUpAndStayWithinAUnit) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> area(0, 3);
  struct Case {
    size_t row_groups, row_leaves, column_groups, column_leaves;
  };
  for (const Case& c : {Case{0, 0, 0, 0}, Case{1, 1, 1, 1}, Case{0, 0, 4, 0}, Case{3, 6, 4, 5},
                        Case{8, 12, 5, 6}}) {
    const FigureTree rows = Tree(c.row_groups, c.row_leaves);
    const FigureTree columns = Tree(c.column_groups, c.column_leaves);
    const auto row_children = rows.Children(), column_children = columns.Children();
    std::vector<std::vector<double>> leaves(rows.size(), std::vector<double>(columns.size()));
    for (size_t r = 0; r < rows.size(); ++r) {
      for (size_t k = 0; k < columns.size(); ++k) {
        const bool leaf = row_children[r].empty() && column_children[k].empty();
        leaves[r][k] = leaf && random() % 4 != 0 ? std::round(area(random) * 1e6) / 1e6 : 0;
      }
    }
    const RoundedTrees rounded = RoundTrees(rows, columns, leaves, 2);
    const auto exact = ExactFigures(rows, columns, leaves);
    EXPECT_EQ(rounded.units[0][0], std::llround(exact[0][0] * 100));
    size_t beyond = 0;
    for (size_t r = 0; r < rows.size(); ++r) {
      for (size_t k = 0; k < columns.size(); ++k) {
        beyond += std::abs(rounded.units[r][k] - exact[r][k] * 100) >= 1 - 1e-9 ? 1 : 0;
        int64_t down = 0, across = 0;
        for (size_t child : row_children[r]) down += rounded.units[child][k];
        for (size_t child : column_children[k]) across += rounded.units[r][child];
        if (!row_children[r].empty()) EXPECT_EQ(down, rounded.units[r][k]) << r << "," << k;
        if (!column_children[k].empty()) EXPECT_EQ(across, rounded.units[r][k]) << r << "," << k;
      }
    }
    EXPECT_EQ(beyond, rounded.beyond_unit);
    if (c.row_groups * c.column_groups == 0 || c.row_leaves * c.column_leaves == 0) {
      EXPECT_EQ(beyond, 0u);  // one tree flat: one flow, always within a unit
    }
  }
}

// A zone x class matrix: the engine's rounding is the cheapest of all roundings that add up,
// found here by trying every one; and ties go to the earlier zone.
TEST(RoundMatrix, ClosestToPlainRoundingAndTiesToTheEarlierZone) {
  const std::vector<std::vector<double>> cases[] = {
      {{1.255, 0}, {0.015, 0}},      // 12,550 m2 and 150 m2 in 公顷: 1.26 and 0.01
      {{0.006, 0.006}, {0.006, 0}},  // plain rounding would make 0.04 of 0.018
      {{0.334, 0.333}, {0.333, 0.0049}},
      {{0.4449, 0.0151}, {0.0251, 0.3349}},
  };
  for (const auto& cells : cases) {
    const RoundedMatrix got = RoundMatrix(cells, 2);
    // The figures: 4 cells, 2 row totals, 2 column totals, the grand total; every choice of
    // floor or ceiling that adds up, the one nearest the exact figures.
    std::vector<double> exact;
    for (const auto& row : cells) exact.insert(exact.end(), row.begin(), row.end());
    exact.resize(4, 0);
    const double e[] = {exact[0],
                        exact[1],
                        exact[2],
                        exact[3],
                        exact[0] + exact[1],
                        exact[2] + exact[3],
                        exact[0] + exact[2],
                        exact[1] + exact[3],
                        exact[0] + exact[1] + exact[2] + exact[3]};
    double best = std::numeric_limits<double>::max();
    for (int choice = 0; choice < 512; ++choice) {
      int64_t x[9];
      double cost = 0;
      for (int i = 0; i < 9; ++i) {
        x[i] = static_cast<int64_t>(std::floor(e[i] * 100 + 1e-9)) + ((choice >> i) & 1);
        cost += std::abs(x[i] - e[i] * 100);
      }
      const bool adds_up = x[0] + x[1] == x[4] && x[2] + x[3] == x[5] && x[0] + x[2] == x[6] &&
                           x[1] + x[3] == x[7] && x[4] + x[5] == x[8] &&
                           x[8] == std::llround(e[8] * 100);
      if (adds_up) best = std::min(best, cost);
    }
    double cost = 0;
    for (size_t i = 0; i < cells.size(); ++i) {
      for (size_t j = 0; j < cells[i].size(); ++j)
        cost += std::abs(got.cells[i][j] * 100 - cells[i][j] * 100);
      cost += std::abs(got.row_totals[i] * 100 - e[4 + i] * 100);
    }
    for (size_t j = 0; j < got.column_totals.size(); ++j)
      cost += std::abs(got.column_totals[j] * 100 - e[6 + j] * 100);
    cost += std::abs(got.grand_total * 100 - e[8] * 100);
    EXPECT_NEAR(cost, best, 1e-6) << cells[0][0];
  }
  const RoundedMatrix tie = RoundMatrix({{1.255}, {0.015}}, 2);
  EXPECT_EQ(tie.row_totals, (std::vector<double>{1.26, 0.01}));
  EXPECT_EQ(tie.grand_total, 1.27);
}

}  // namespace
}  // namespace quilmark
