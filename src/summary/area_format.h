// How a block's areas are written: the unit they are converted to, the decimals they are rounded
// to, and whether a 合计 column and row are added. The default writes square metres unrounded
// and no totals, as the sums come.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "src/host/cell_value.h"

namespace quilmark {

enum class AreaUnit {
  kSquareMetre,  // 平方米, as the data holds it
  kHectare,      // 公顷 = m2 / 10,000
  kMu,           // 亩 = m2 x 0.0015
};

// The unit of a command-line name (m2, ha, mu); nullopt for any other.
std::optional<AreaUnit> AreaUnitByName(std::string_view name);

// An area in square metres in the unit.
double ConvertArea(double square_metres, AreaUnit unit);

// The unit as a table names it: 平方米, 公顷, 亩.
std::string_view AreaUnitName(AreaUnit unit);

inline constexpr int kMaxDecimals = 6;

// The decimals a typed text chooses: one digit from 0 to kMaxDecimals; nullopt for any other
// text, the empty one included.
std::optional<int> DecimalsFromText(std::string_view text);

struct AreaFormat {
  AreaUnit unit = AreaUnit::kSquareMetre;
  std::optional<int> decimals;  // 0..kMaxDecimals; nullopt: unrounded
  bool totals = false;          // a 合计 column right of the classes and a 合计 row below
  // The unit was chosen (--unit): each block names it in the corner cell of its first row.
  bool unit_named = false;
};

// What a block's corner cell says of its unit: "单位: 公顷".
std::string UnitLine(AreaUnit unit);

// A zone x class matrix of areas rounded as one: each cell, each row's total, each column's
// total and the grand total.
struct RoundedMatrix {
  std::vector<std::vector<double>> cells;
  std::vector<double> row_totals;
  std::vector<double> column_totals;
  double grand_total = 0;
};

// Rounds the matrix to the decimals as a table of zones under 合计 and columns under 合计
// (RoundTrees): every figure, cells, row and column totals, is its exact value rounded up or down,
// the grand total exactly its own rounding, and the rows and columns add up to their totals.
// With decimals nullopt nothing is rounded and the totals are the plain sums.
RoundedMatrix RoundMatrix(const std::vector<std::vector<double>>& cells,
                          std::optional<int> decimals);

}  // namespace quilmark

namespace quilmark {

// Applies the format to a summary grid whose rows from header_rows on are zones: column 0 names
// the zone, every other cell is an area in square metres (a number, or left empty where the zone
// has none). Areas are converted and rounded (RoundMatrix); with totals a 合计 row is added below
// and, when total_column, a 合计 column at the right, titled in the last header row. Without a
// unit, decimals or totals the grid is left as it is.
void FormatAreaGrid(std::vector<std::vector<CellValue>>& cells, size_t header_rows,
                    const AreaFormat& format, bool total_column);

inline constexpr std::string_view kTotalTitle = "合计";

// A number as a table shows it in text (CSV, the preview, a cell's width): with the decimals, or
// without them as a spreadsheet's general format does, in at most 15 significant digits, so a
// sum's binary noise (46871.880000000005) never shows.
std::string NumberShown(double number, std::optional<int> decimals);

}  // namespace quilmark
