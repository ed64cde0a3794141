#include "src/crosstab/cross_tab.h"

#include "src/crosstab/cross_tab_block.h"

namespace quilmark {
namespace {

void AddTo(std::optional<double>& sum, double area) {
  // The first area starts the sum as it is (0.0 + -0.0 would lose the sign).
  sum = sum ? *sum + area : area;
}

}  // namespace

void CountAreaRow(CrossTabTables& tables, std::optional<std::string_view> zone,
                  std::optional<std::string_view> class_text, std::optional<double> area) {
  // Each text that can be read is registered on its own, even when the other one cannot.
  std::optional<size_t> zone_place;
  if (zone) {
    zone_place = tables.zones.Add(*zone);
    tables.zone_counts.resize(tables.zones.Count());
    tables.zone_areas.resize(tables.zones.Count());
  }
  std::optional<size_t> class_place;
  if (class_text) class_place = tables.classes.Add(*class_text);
  // Without both texts the row belongs to no pair: it is neither counted nor summed.
  if (!zone_place || !class_place) return;

  const PairKey key{static_cast<uint32_t>(*zone_place), static_cast<uint32_t>(*class_place)};
  ++tables.counts[key];
  ++tables.zone_counts[*zone_place];

  // A row whose area cannot be read is counted but adds no area.
  if (!area) return;
  if (auto it = tables.areas.find(key); it != tables.areas.end()) {
    it->second += *area;
  } else {
    tables.areas.emplace(key, *area);
  }
  AddTo(tables.zone_areas[*zone_place], *area);
}

TableShape CrossTabTask::Shape() const { return CrossTabShape(tables_, format_); }

ResultTable CrossTabTask::Table() const { return CrossTabTable(tables_, format_); }

}  // namespace quilmark
