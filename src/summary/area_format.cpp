#include "src/summary/area_format.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numeric>

namespace quilmark {
namespace {

// Splits the target (in units of the last decimal) over values already scaled to such units:
// each gets its floor, and the units left go to the largest remainders, ties to the earlier.
std::vector<int64_t> Apportion(const std::vector<long double>& scaled, int64_t target) {
  std::vector<int64_t> parts(scaled.size());
  int64_t floors = 0;
  for (size_t i = 0; i < scaled.size(); ++i) {
    parts[i] = static_cast<int64_t>(std::floor(scaled[i]));
    floors += parts[i];
  }
  std::vector<size_t> order(scaled.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return scaled[a] - std::floor(scaled[a]) > scaled[b] - std::floor(scaled[b]);
  });
  int64_t left = target - floors;
  for (size_t i = 0; left > 0 && !order.empty(); i = (i + 1) % order.size(), --left) {
    ++parts[order[i]];
  }
  for (size_t i = order.size(); left < 0 && !order.empty(); ++left) {  // not met with sums
    i = (i == 0 ? order.size() : i) - 1;
    --parts[order[i]];
  }
  return parts;
}

int64_t RoundHalfAway(long double scaled) { return static_cast<int64_t>(std::llround(scaled)); }

}  // namespace

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
  const long double scale = std::pow(10.0L, *decimals);
  std::vector<long double> row_sums;
  long double grand = 0;
  for (const auto& row : cells) {
    long double sum = 0;
    for (double cell : row) sum += static_cast<long double>(cell) * scale;
    row_sums.push_back(sum);
    grand += sum;
  }
  const int64_t grand_units = RoundHalfAway(grand);
  const std::vector<int64_t> row_units = Apportion(row_sums, grand_units);
  std::vector<int64_t> column_units(columns, 0);
  for (size_t i = 0; i < cells.size(); ++i) {
    std::vector<long double> scaled;
    for (double cell : cells[i]) scaled.push_back(static_cast<long double>(cell) * scale);
    const std::vector<int64_t> units = Apportion(scaled, row_units[i]);
    std::vector<double> row;
    for (size_t j = 0; j < units.size(); ++j) {
      row.push_back(static_cast<double>(units[j] / scale));
      column_units[j] += units[j];
    }
    result.cells.push_back(std::move(row));
    result.row_totals.push_back(static_cast<double>(row_units[i] / scale));
  }
  for (size_t j = 0; j < columns; ++j) {
    result.column_totals[j] = static_cast<double>(column_units[j] / scale);
  }
  result.grand_total = static_cast<double>(grand_units / scale);
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
