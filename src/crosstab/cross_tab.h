// The count-and-area cross-tab: for every zone and every class of column 2, the number of rows
// and their total area, zones down and a count-and-area column pair per class across.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "src/summary/area_format.h"
#include "src/summary/row_task.h"
#include "src/summary/summary_tables.h"
#include "src/summary/text_ids.h"

namespace quilmark {

// The cross-tab always takes its classes from this column of a sheet, whatever the class column
// is.
inline constexpr int32_t kCrossTabClassColumn = 2;

inline constexpr std::string_view kCrossTabTitle = "宗数和面积统计";
// The header of the zones on a sheet's run; a run over a layer names the zone field instead.
inline constexpr std::string_view kZoneHeader = "镇区名称";

struct CrossTabTables {
  OrderedTable zones;
  OrderedTable classes;
  std::unordered_map<PairKey, int64_t, PairKeyHash> counts;
  std::unordered_map<PairKey, double, PairKeyHash> areas;
  // By zone place: the rows counted for the zone, and their readable areas summed in row order
  // (nullopt where none of them had one). Both always as long as `zones`.
  std::vector<int64_t> zone_counts;
  std::vector<std::optional<double>> zone_areas;
};

// One row: the zone and the cross-tab class are each registered when they can be read; a row with
// both is counted under its pair, and its area, when readable, added to the pair and the zone.
void CountAreaRow(CrossTabTables& tables, std::optional<std::string_view> zone,
                  std::optional<std::string_view> class_text, std::optional<double> area);

// Counts and sums every row by its (zone, class) pair; the class is the row's cross_class. Each
// text's place is looked up once, by its id. The format applies to the areas of the table (see
// CrossTabTable); the zone header heads the zones.
class CrossTabTask : public RowTask {
 public:
  explicit CrossTabTask(AreaFormat format = {}, std::string_view zone_header = kZoneHeader)
      : format_(format), zone_header_(zone_header) {}
  void AddRow(const PatchRow& row) override;
  TableShape Shape() const override;
  ResultTable Table() const override;
  const CrossTabTables& tables() const { return tables_; }

 private:
  CrossTabTables tables_;
  const AreaFormat format_;
  const std::string zone_header_;
  ById<size_t> zone_places_;   // by zone id
  ById<size_t> class_places_;  // by class id
};

}  // namespace quilmark
