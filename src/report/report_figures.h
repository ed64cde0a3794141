// The figures every survey table is built from: per smallest unit and level-2 column, in 公顷,
// rounded once as one matrix (area 平差, RoundMatrix) and then split by 三大类, ownership, 城镇村
// attribute and slope part so that the parts add up to the figure they split. Every table sums
// these, so its rows and columns add up and the tables agree with each other to the last decimal.
#pragma once

#include <vector>

#include "src/report/report_sums.h"

namespace quilmark {

// The decimals of the tables' 公顷.
inline constexpr int kReportDecimals = 2;

// Per unit and column, the parts of one split: [unit][column][kind].
using SplitFigures = std::vector<std::vector<std::vector<double>>>;

struct ReportFigures {
  // [unit][column], the level-2 columns and, last, the codes the classification does not know.
  std::vector<std::vector<double>> level2;
  SplitFigures major;      // kinds: 农用地, 建设用地, 未利用地, none
  SplitFigures ownership;  // kinds: Ownership
  SplitFigures urban;      // kinds: none, 201 ... 205
  SplitFigures slope;      // kinds: slope parts
  // Per unit, exact hectares that a table cannot place: codes the classification or the 三大类
  // lack, patches without a known ownership, 耕地 without a known slope part.
  std::vector<double> unknown_class, unknown_major, unknown_ownership, unknown_slope;
};

ReportFigures ComputeFigures(const std::vector<std::vector<ColumnSums>>& sums);

}  // namespace quilmark
