#include "src/crosstab/cross_tab.h"

#include "src/crosstab/cross_tab_block.h"

namespace quilmark {
namespace {

void AddTo(std::optional<double>& sum, double area) {
  // The first area starts the sum as it is (0.0 + -0.0 would lose the sign).
  sum = sum ? *sum + area : area;
}

size_t AddZone(CrossTabTables& tables, std::string_view zone) {
  const size_t place = tables.zones.Add(zone);
  tables.zone_counts.resize(tables.zones.Count());
  tables.zone_areas.resize(tables.zones.Count());
  return place;
}

// A row with both texts: counted under its pair as the patches it stands for, its area (when
// readable) added to the pair and the zone.
void CountPair(CrossTabTables& tables, size_t zone_place, size_t class_place,
               std::optional<double> area, int64_t patches = 1) {
  const PairKey key{static_cast<uint32_t>(zone_place), static_cast<uint32_t>(class_place)};
  tables.counts[key] += patches;
  tables.zone_counts[zone_place] += patches;

  // A row whose area cannot be read is counted but adds no area.
  if (!area) return;
  if (auto it = tables.areas.find(key); it != tables.areas.end()) {
    it->second += *area;
  } else {
    tables.areas.emplace(key, *area);
  }
  AddTo(tables.zone_areas[zone_place], *area);
}

}  // namespace

void CountAreaRow(CrossTabTables& tables, std::optional<std::string_view> zone,
                  std::optional<std::string_view> class_text, std::optional<double> area) {
  // Each text that can be read is registered on its own, even when the other one cannot.
  std::optional<size_t> zone_place;
  if (zone) zone_place = AddZone(tables, *zone);
  std::optional<size_t> class_place;
  if (class_text) class_place = tables.classes.Add(*class_text);
  // Without both texts the row belongs to no pair: it is neither counted nor summed.
  if (zone_place && class_place) CountPair(tables, *zone_place, *class_place, area);
}

void CrossTabTask::AddRow(const PatchRow& row) {
  // As CountAreaRow, with each text's place kept by its id.
  std::optional<size_t> zone_place;
  if (row.zone) {
    zone_place = zone_places_.Get(row.zone_id, [&] { return AddZone(tables_, *row.zone); });
  }
  std::optional<size_t> class_place;
  if (row.cross_class) {
    class_place =
        class_places_.Get(row.cross_id, [&] { return tables_.classes.Add(*row.cross_class); });
  }
  if (zone_place && class_place) {
    CountPair(tables_, *zone_place, *class_place, row.area, row.cells.patches);
  }
}

TableShape CrossTabTask::Shape() const { return CrossTabShape(tables_, format_); }

ResultTable CrossTabTask::Table() const { return CrossTabTable(tables_, format_, zone_header_); }

}  // namespace quilmark
