#include "src/summary/area_format.h"

#include <cstdio>

#include "src/summary/tree_rounding.h"

namespace quilmark {

std::optional<AreaUnit> AreaUnitByName(std::string_view name) {
  if (name == "m2") return AreaUnit::kSquareMetre;
  if (name == "ha") return AreaUnit::kHectare;
  if (name == "mu") return AreaUnit::kMu;
  return std::nullopt;
}

double ConvertArea(double square_metres, AreaUnit unit) {
  switch (unit) {
    case AreaUnit::kSquareMetre:
      return square_metres;
    case AreaUnit::kHectare:
      return square_metres / 10000.0;
    case AreaUnit::kMu:
      return square_metres * 0.0015;
  }
  return square_metres;
}

RoundedMatrix RoundMatrix(const std::vector<std::vector<double>>& cells,
                          std::optional<int> decimals) {
  RoundedMatrix result;
  const size_t columns = cells.empty() ? 0 : cells.front().size();
  result.column_totals.assign(columns, 0.0);
  if (!decimals) {
    result.cells = cells;
    for (const auto& row : cells) {
      double total = 0;
      for (size_t j = 0; j < row.size(); ++j) {
        total += row[j];
        result.column_totals[j] += row[j];
      }
      result.row_totals.push_back(total);
      result.grand_total += total;
    }
    return result;
  }
  FigureTree zones, classes;
  for (size_t i = 0; i < cells.size(); ++i) zones.Add(0);
  for (size_t j = 0; j < columns; ++j) classes.Add(0);
  std::vector<std::vector<double>> exact(cells.size() + 1, std::vector<double>(columns + 1));
  for (size_t i = 0; i < cells.size(); ++i) {
    for (size_t j = 0; j < columns; ++j) exact[i + 1][j + 1] = cells[i][j];
  }
  const RoundedTrees rounded = RoundTrees(zones, classes, exact, *decimals);
  for (size_t i = 0; i < cells.size(); ++i) {
    std::vector<double>& row = result.cells.emplace_back();
    for (size_t j = 0; j < columns; ++j) row.push_back(rounded.Figure(i + 1, j + 1));
    result.row_totals.push_back(rounded.Figure(i + 1, 0));
  }
  for (size_t j = 0; j < columns; ++j) result.column_totals[j] = rounded.Figure(0, j + 1);
  result.grand_total = rounded.Figure(0, 0);
  return result;
}

void FormatAreaGrid(std::vector<std::vector<CellValue>>& cells, size_t header_rows,
                    const AreaFormat& format, bool total_column) {
  if (format.unit == AreaUnit::kSquareMetre && !format.decimals && !format.totals) return;
  if (cells.size() <= header_rows) return;  // no zone: nothing to write, no totals either
  const size_t width = cells[header_rows].size();
  std::vector<std::vector<double>> areas;
  for (size_t i = header_rows; i < cells.size(); ++i) {
    std::vector<double> row;
    for (size_t j = 1; j < width; ++j) {
      const double* number = std::get_if<double>(&cells[i][j]);
      row.push_back(number != nullptr ? ConvertArea(*number, format.unit) : 0.0);
    }
    areas.push_back(std::move(row));
  }
  const RoundedMatrix rounded = RoundMatrix(areas, format.decimals);
  for (size_t i = header_rows; i < cells.size(); ++i) {
    for (size_t j = 1; j < width; ++j) {
      // A cell left empty stays empty; it counted as 0.
      if (std::holds_alternative<double>(cells[i][j])) {
        cells[i][j] = rounded.cells[i - header_rows][j - 1];
      }
    }
  }
  if (!format.totals) return;
  if (total_column) {
    for (size_t i = 0; i < cells.size(); ++i) {
      if (i + 1 == header_rows) {
        cells[i].emplace_back(std::string(kTotalTitle));
      } else if (i < header_rows) {
        cells[i].emplace_back();
      } else {
        cells[i].emplace_back(rounded.row_totals[i - header_rows]);
      }
    }
  }
  std::vector<CellValue> total_row{std::string(kTotalTitle)};
  for (double total : rounded.column_totals) total_row.emplace_back(total);
  if (total_column) total_row.emplace_back(rounded.grand_total);
  cells.push_back(std::move(total_row));
}

std::optional<int> DecimalsFromText(std::string_view text) {
  if (text.size() != 1 || text[0] < '0' || text[0] - '0' > kMaxDecimals) return std::nullopt;
  return text[0] - '0';
}

std::string UnitLine(AreaUnit unit) { return "单位: " + std::string(AreaUnitName(unit)); }

std::string_view AreaUnitName(AreaUnit unit) {
  switch (unit) {
    case AreaUnit::kSquareMetre:
      return "平方米";
    case AreaUnit::kHectare:
      return "公顷";
    case AreaUnit::kMu:
      return "亩";
  }
  return "";
}

std::string NumberShown(double number, std::optional<int> decimals) {
  if (!decimals) return NumberText(number);
  char buffer[400];  // %f of the largest double has 309 digits before the point
  std::snprintf(buffer, sizeof buffer, "%.*f", *decimals, number);
  return buffer;
}

}  // namespace quilmark
