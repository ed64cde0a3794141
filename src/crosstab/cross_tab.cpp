#include "src/crosstab/cross_tab.h"

#include <optional>
#include <string>
#include <utility>

#include "src/crosstab/cross_tab_block.h"

namespace quilmark {
namespace {

void AddTo(std::optional<double>& sum, double area) {
  // The first area starts the sum as it is (0.0 + -0.0 would lose the sign).
  sum = sum ? *sum + area : area;
}

}  // namespace

void CountAreaPass(PassContext& context, CrossTabTables& tables) {
  const int32_t last_row = context.last_row;  // fixed when the pass starts
  for (int32_t row = 1; row <= last_row; ++row) {
    // Each text that can be read is registered on its own, even when the other one cannot.
    std::optional<size_t> zone_place;
    if (std::optional<std::string> zone = context.Text(row, context.columns.zone)) {
      zone_place = tables.zones.Add(*zone);
      tables.zone_counts.resize(tables.zones.Count());
      tables.zone_areas.resize(tables.zones.Count());
    }
    std::optional<size_t> class_place;
    if (std::optional<std::string> class_text = context.Text(row, kCrossTabClassColumn)) {
      class_place = tables.classes.Add(*class_text);
    }
    // Without both texts the row belongs to no pair: it is neither counted nor summed.
    if (!zone_place || !class_place) continue;

    const PairKey key{static_cast<uint32_t>(*zone_place), static_cast<uint32_t>(*class_place)};
    ++tables.counts[key];
    ++tables.zone_counts[*zone_place];

    // A row whose area cannot be read is counted but adds no area.
    const std::optional<double> area = context.Number(row, context.columns.area);
    if (!area) continue;
    if (auto it = tables.areas.find(key); it != tables.areas.end()) {
      it->second += *area;
    } else {
      tables.areas.emplace(key, *area);
    }
    AddTo(tables.zone_areas[*zone_place], *area);
  }
}

std::unique_ptr<ResultBlock> BuildCrossTab(PassContext& context) {
  CrossTabTables tables;
  CountAreaPass(context, tables);
  return std::make_unique<CrossTabBlock>(std::move(tables));
}

}  // namespace quilmark
