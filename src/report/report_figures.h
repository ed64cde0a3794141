// The figures every survey table is built from, in 公顷: the unit × class table rounded once, at
// the smallest units the layer has, over the row tree 合计 ⊃ county ⊃ township ⊃ village and the
// column tree 总面积 ⊃ 一级类 ⊃ 二级类 (RoundTrees), so that every figure at every level is
// within one unit of the last decimal of its exact value and the same whichever level a table
// stops at. Each figure is then split by 三大类, ownership, 城镇村 attribute and slope part, the
// parts rounded in the same way and made to add up to the figure they split. Every table reads
// these, so its rows and columns add up and the tables agree with each other to the last decimal.
#pragma once

#include <string>
#include <vector>

#include "src/report/report_sums.h"
#include "src/summary/tree_rounding.h"

namespace quilmark {

// The decimals of the tables' 公顷.
inline constexpr int kReportDecimals = 2;

// Per row node and column, the parts of one split: [node][column][kind].
using SplitFigures = std::vector<std::vector<std::vector<double>>>;

// The slope table's columns: 耕地, grade 1, then grades 2 to 5 each as 小计, 梯田 and 坡地; and
// last the 耕地 without a known grade. Also the column tree the slope split is rounded over.
inline constexpr size_t kSlopeColumns = 1 + 1 + 4 * 3 + 1;

struct ReportFigures {
  FigureTree rows;                      // 合计 ⊃ county ⊃ township ⊃ village, in code order
  std::vector<std::string> node_codes;  // per row node; empty for 合计
  std::vector<size_t> leaf_node;        // per smallest unit: its row node
  // [node][column], the level-2 columns and, last, the codes the classification does not know.
  std::vector<std::vector<double>> level2;
  std::vector<std::vector<double>> level1;  // [node][level-1 column]
  std::vector<double> total;                // [node]: 国土调查总面积
  SplitFigures major;      // per level-2 column: 农用地, 建设用地, 未利用地, none
  SplitFigures ownership;  // per level-1 column: Ownership
  SplitFigures urban;      // per level-2 column: none, all of 201 ... 205, then 201 ... 205 each
  // [node][slope column]: 耕地, grade 1, then per grade 2-5 its 小计, 梯田, 坡地, and unknown.
  std::vector<std::vector<double>> slope;
  // Figures more than one unit from their exact value (none unless no rounding within one unit
  // could be found).
  size_t beyond_unit = 0;
  // Per smallest unit, exact hectares that a table cannot place: codes the classification or the
  // 三大类 lack, patches without a known ownership, 耕地 without a known slope part.
  std::vector<double> unknown_class, unknown_major, unknown_ownership, unknown_slope;
};

// The figures of the smallest units (their codes, cut to at most a village's 12 digits) and their
// sums, in the order first met.
ReportFigures ComputeFigures(const std::vector<std::string>& units,
                             const std::vector<std::vector<ColumnSums>>& sums);

}  // namespace quilmark
