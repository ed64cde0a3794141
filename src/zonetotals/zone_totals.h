// The zone-totals task: total area per zone, without classes.
#pragma once

#include <string>
#include <string_view>

#include "src/summary/row_task.h"
#include "src/summary/summary_tables.h"

namespace quilmark {

inline constexpr std::string_view kZoneTotalsTitle = "按区域统计";

// For every row: AccumulateZoneTotal with its zone text and area.
class ZoneTotalsTask : public RowTask {
 public:
  explicit ZoneTotalsTask(AreaFormat format = {}) : format_(format) {}
  void AddRow(const PatchRow& row) override;
  TableShape Shape() const override {
    return SummaryShape(tables_, SummaryLayout::kZoneTotals, format_);
  }
  ResultTable Table() const override {
    return SummaryTable(std::string(kZoneTotalsTitle), tables_, SummaryLayout::kZoneTotals,
                        format_);
  }
  const SummaryTables& tables() const { return tables_; }

 private:
  const AreaFormat format_;
  SummaryTables tables_;
};

}  // namespace quilmark
