// The zone-by-class tables that the land-use, master-plan and zone-totals passes fill, and the
// block they become below the data.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "src/summary/area_format.h"
#include "src/summary/ordered_table.h"
#include "src/summary/result_block.h"

namespace quilmark {

// The (zone, class) pair itself, as places in the zone and class tables: two different pairs
// never share a key, whatever their texts hold.
struct PairKey {
  uint32_t zone = 0;
  uint32_t class_ = 0;
  friend bool operator==(PairKey, PairKey) = default;
};
struct PairKeyHash {
  size_t operator()(PairKey key) const {
    return std::hash<uint64_t>{}((uint64_t{key.zone} << 32) | key.class_);
  }
};

struct SummaryTables {
  OrderedTable zones;    // rows of the block, top to bottom
  OrderedTable classes;  // columns of the block, left to right
  // Area sums by pair (land-use, master plan); a pair absent here had no readable area.
  std::unordered_map<PairKey, double, PairKeyHash> areas;
  // Area sums by zone place (zone totals); nullopt where no row of the zone had a readable area.
  std::vector<std::optional<double>> zone_totals;
};

// One row of the land-use or master-plan pass: registers the class key, then the zone, then adds
// the area under the pair. A zone that could not be read (nullopt) registers nothing and adds
// nothing; an area that could not be read adds nothing.
void AccumulateRow(SummaryTables& tables, const std::optional<std::string>& zone,
                   const std::string& class_key, std::optional<double> area);

// One row of the zone-totals pass: registers the zone, then adds the area under it.
void AccumulateZoneTotal(SummaryTables& tables, const std::optional<std::string>& zone,
                         std::optional<double> area);

// The row that holds a block's class keys (or its headers), eleven rows below its base row.
inline int64_t HeaderRow(int64_t base_row) { return base_row + 11; }

enum class SummaryLayout {
  kByClass,     // zones down column 1, class keys across the header row, a sum at each crossing
  kZoneTotals,  // zones down column 1, each zone's total area in column 2, no header
};

// The block of a summary task. With no zone it writes nothing at all.
class SummaryBlock : public ResultBlock {
 public:
  SummaryBlock(SummaryTables tables, SummaryLayout layout, AreaFormat format = {})
      : tables_(std::move(tables)), layout_(layout), format_(format) {}
  int64_t EndRow(int64_t base_row) const override;
  int64_t LastColumn() const override;
  void Write(Worksheet& sheet, int32_t base_row) const override;
  const SummaryTables& tables() const { return tables_; }

 private:
  SummaryTables tables_;
  SummaryLayout layout_;
  AreaFormat format_;
};

// The block as a grid: in kByClass a header row (an empty corner, then the class keys) and every
// zone row with its sum for every class, the whole number 0 where no row had the pair; in
// kZoneTotals each zone with its total, the empty text where it has none. Empty with no zone.
std::vector<std::vector<CellValue>> SummaryGrid(const SummaryTables& tables, SummaryLayout layout);

// Writes the grid, formatted, with its header row at HeaderRow(base_row) (kZoneTotals: its first
// zone one row below). A write that fails is skipped.
void WriteSummaryBlock(Worksheet& sheet, int32_t base_row, const SummaryTables& tables,
                       SummaryLayout layout, const AreaFormat& format = {});

}  // namespace quilmark
