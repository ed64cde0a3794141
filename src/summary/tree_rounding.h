// The one rounding of every table written with decimals. A table's rows form a tree (合计 ⊃
// county ⊃ township ⊃ village, or 合计 ⊃ zones) and so do its columns (总面积 ⊃ 一级类 ⊃ 二级类,
// or 合计 ⊃ classes); every figure is the sum of its row node's and column node's leaf cells.
// All figures are rounded together, once, from the exact leaf cells: every figure is its exact
// value rounded up or down (within one unit of the last decimal), the grand total is exactly its
// own rounding, every figure is the sum of its parts along either tree, and among all roundings
// with these properties the one closest to plain rounding is taken (a minimum-cost flow), ties
// going to the earlier row and then the earlier column. Since only leaf cells go in, a figure of a
// township is the same whether the table goes down to its villages or stops at it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace quilmark {

// A tree by parents: node 0 is the root, every other node's parent comes before it.
struct FigureTree {
  std::vector<int32_t> parent = {-1};

  size_t size() const { return parent.size(); }
  // Adds a node under `of` and returns it.
  size_t Add(size_t of);
  std::vector<std::vector<size_t>> Children() const;
};

struct RoundedTrees {
  int decimals = 0;
  std::vector<std::vector<int64_t>> units;  // [row node][column node], in units of the decimal
  // Figures further than one unit from their exact value: none unless the figures fixed from
  // outside left no other way.
  size_t beyond_unit = 0;

  double Figure(size_t row, size_t column) const;
};

// Rounds the table whose leaf cells are exact[row node][column node] (only leaf row × leaf column
// entries are read). `fixed_totals`, when given, are already rounded figures of the column root per
// row node that the rows' parts are made to add up to (a figure split into its kinds); the grand
// total is then the fixed one.
RoundedTrees RoundTrees(const FigureTree& rows, const FigureTree& columns,
                        const std::vector<std::vector<double>>& exact, int decimals,
                        const std::optional<std::vector<int64_t>>& fixed_totals = {});

}  // namespace quilmark
