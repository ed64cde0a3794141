#include "src/host/piece_adjust.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

namespace quilmark {
namespace {

void AdjustInHundredths(std::span<double> areas, int64_t total) {
  std::vector<int64_t> kept(areas.size());
  std::vector<double> lost(areas.size());
  int64_t left = total;
  for (size_t i = 0; i < areas.size(); ++i) {
    const double hundredths = areas[i] * 100.0;
    kept[i] = static_cast<int64_t>(std::floor(hundredths + 1e-7));
    lost[i] = hundredths - static_cast<double>(kept[i]);
    left -= kept[i];
  }
  std::vector<size_t> order(areas.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    if (lost[a] != lost[b]) return lost[a] > lost[b];
    return areas[a] > areas[b];
  });
  for (size_t k = 0; left > 0; k = (k + 1) % order.size(), --left) ++kept[order[k]];
  for (size_t i = 0; i < areas.size(); ++i) areas[i] = static_cast<double>(kept[i]) / 100.0;
}

}  // namespace

void AdjustPieces(std::span<double> areas, double total) {
  if (areas.empty()) return;
  const double sum = std::accumulate(areas.begin(), areas.end(), 0.0);
  if (!(sum > 0.0)) {
    std::fill(areas.begin(), areas.end(), 0.0);
    areas[0] = total;
    return;
  }
  for (double& area : areas) area = area * total / sum;
  const double hundredths = std::round(total * 100.0);
  if (std::abs(total * 100.0 - hundredths) <= 1e-6 + 1e-12 * std::abs(hundredths)) {
    return AdjustInHundredths(areas, static_cast<int64_t>(hundredths));
  }
  const auto largest = std::max_element(areas.begin(), areas.end());
  double others = 0.0;
  for (auto it = areas.begin(); it != areas.end(); ++it) {
    if (it != largest) others += *it;
  }
  *largest = total - others;
}

}  // namespace quilmark
