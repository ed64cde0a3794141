#include "src/report/split_round.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace quilmark {

std::vector<double> SplitRounded(double rounded_total, std::span<const double> parts,
                                 int decimals) {
  const double scale = std::pow(10.0, decimals);
  std::vector<long long> units(parts.size());
  std::vector<double> remainders(parts.size());
  long long placed = 0;
  for (size_t i = 0; i < parts.size(); ++i) {
    const double scaled = parts[i] * scale;
    // Figures such as 0.29 * 100 land a hair below their unit; that hair is no remainder.
    const double nearest = std::round(scaled);
    const double floor = std::abs(scaled - nearest) < 1e-6 ? nearest : std::floor(scaled);
    units[i] = static_cast<long long>(floor);
    remainders[i] = scaled - floor;
    placed += units[i];
  }
  long long left = std::llround(rounded_total * scale) - placed;
  std::vector<size_t> order(parts.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return remainders[a] > remainders[b]; });
  for (size_t i = 0; left > 0 && i < order.size(); ++i) {
    if (parts[order[i]] == 0) continue;
    ++units[order[i]];
    --left;
  }
  // Taken back from the smallest remainders: only where the total was rounded against its parts.
  for (size_t i = order.size(); left < 0 && i > 0; --i, ++left) --units[order[i - 1]];
  std::vector<double> rounded(parts.size());
  for (size_t i = 0; i < parts.size(); ++i) rounded[i] = static_cast<double>(units[i]) / scale;
  return rounded;
}

}  // namespace quilmark
