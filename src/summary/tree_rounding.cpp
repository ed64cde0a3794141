#include "src/summary/tree_rounding.h"

#include <cmath>

#include "src/summary/rounding_flow.h"

namespace quilmark {
namespace {

using Exact = std::vector<std::vector<long double>>;

// Every figure's exact value in units: the leaf cells scaled, then summed up both trees.
Exact ExactFigures(const FigureTree& rows, const FigureTree& columns,
                   const std::vector<std::vector<double>>& exact, long double scale) {
  const std::vector<std::vector<size_t>> row_children = rows.Children();
  const std::vector<std::vector<size_t>> column_children = columns.Children();
  Exact sums(rows.size(), std::vector<long double>(columns.size(), 0.0L));
  for (size_t r = 0; r < rows.size(); ++r) {
    if (!row_children[r].empty()) continue;
    for (size_t c = 0; c < columns.size(); ++c) {
      if (column_children[c].empty() && r < exact.size() && c < exact[r].size()) {
        sums[r][c] = static_cast<long double>(exact[r][c]) * scale;
      }
    }
    for (size_t c = columns.size(); c-- > 1;) sums[r][columns.parent[c]] += sums[r][c];
  }
  for (size_t r = rows.size(); r-- > 1;) {
    for (size_t c = 0; c < columns.size(); ++c) sums[rows.parent[r]][c] += sums[r][c];
  }
  return sums;
}

// Rounds the figures of column node `column`'s children for every row node, their totals
// (column `column` itself) being fixed per row when `fixed` says so, else only the grand total.
// The network: a unit of a leaf cell flows from the hub down the row tree through the nodes
// (row, child) — each arc a figure (row, child) — into its leaf row, and from there up the row
// tree through the nodes (row) — each arc a figure (row, column) — back to the hub.
struct Block {
  const FigureTree& rows;
  const std::vector<std::vector<size_t>>& row_children;
  const Exact& exact;
  RoundedTrees& out;

  size_t Round(size_t column, const std::vector<size_t>& kids, bool fixed) {
    const size_t width = kids.size();
    auto up = [&](size_t r) { return 1 + r; };
    auto down = [&](size_t r, size_t k) { return 1 + rows.size() + r * width + k; };
    RoundingFlow flow(1 + rows.size() * (1 + width));
    std::vector<size_t> totals, cells;
    for (size_t r = 0; r < rows.size(); ++r) {
      std::optional<int64_t> given;
      if (fixed) given = out.units[r][column];
      if (!fixed && r == 0) given = std::llround(exact[0][column]);
      totals.push_back(
          flow.AddArc(up(r), r == 0 ? 0 : up(rows.parent[r]), exact[r][column], given));
    }
    for (size_t r = 0; r < rows.size(); ++r) {
      for (size_t k = 0; k < width; ++k) {
        const size_t from = r == 0 ? 0 : down(rows.parent[r], k);
        const size_t to = row_children[r].empty() ? up(r) : down(r, k);
        cells.push_back(flow.AddArc(from, to, exact[r][kids[k]]));
      }
    }
    flow.Solve();
    size_t beyond = 0;
    for (size_t r = 0; r < rows.size(); ++r) {
      out.units[r][column] = flow.Value(totals[r]);
      beyond += fixed || flow.WithinUnit(totals[r]) ? 0 : 1;  // a fixed one counted before
      for (size_t k = 0; k < width; ++k) {
        out.units[r][kids[k]] = flow.Value(cells[r * width + k]);
        beyond += flow.WithinUnit(cells[r * width + k]) ? 0 : 1;
      }
    }
    return beyond;
  }
};

}  // namespace

size_t FigureTree::Add(size_t of) {
  parent.push_back(static_cast<int32_t>(of));
  return parent.size() - 1;
}

std::vector<std::vector<size_t>> FigureTree::Children() const {
  std::vector<std::vector<size_t>> children(parent.size());
  for (size_t n = 1; n < parent.size(); ++n) children[parent[n]].push_back(n);
  return children;
}

double RoundedTrees::Figure(size_t row, size_t column) const {
  return static_cast<double>(static_cast<long double>(units[row][column]) /
                             std::pow(10.0L, decimals));
}

RoundedTrees RoundTrees(const FigureTree& rows, const FigureTree& columns,
                        const std::vector<std::vector<double>>& exact, int decimals,
                        const std::optional<std::vector<int64_t>>& fixed_totals) {
  RoundedTrees out;
  out.decimals = decimals;
  const Exact sums = ExactFigures(rows, columns, exact, std::pow(10.0L, decimals));
  out.units.assign(rows.size(), std::vector<int64_t>(columns.size(), 0));
  if (fixed_totals) {
    for (size_t r = 0; r < rows.size(); ++r) out.units[r][0] = (*fixed_totals)[r];
  }
  const std::vector<std::vector<size_t>> row_children = rows.Children();
  const std::vector<std::vector<size_t>> column_children = columns.Children();
  Block block{rows, row_children, sums, out};
  // Top down: a column node's figures, once rounded, are the fixed totals of its children's.
  if (column_children[0].empty()) {
    out.beyond_unit += block.Round(0, {}, fixed_totals.has_value());
  }
  for (size_t c = 0; c < columns.size(); ++c) {
    if (column_children[c].empty()) continue;
    out.beyond_unit += block.Round(c, column_children[c], c > 0 || fixed_totals.has_value());
  }
  return out;
}

}  // namespace quilmark
