// The land-use task: the class key of each row under one of the methods, the pass that sums
// area by zone and key, and the optional rewrite of zone codes as zone names before it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "src/host/cell_value.h"
#include "src/landuse/land_use_methods.h"
#include "src/summary/row_task.h"
#include "src/summary/summary_tables.h"

namespace quilmark {

// The class key of a class text under a method, by the method's key function: a fixed label, a
// class name, a cut of the text, or the text itself. Pure; never fails.
std::string LandUseClassKey(LandUseMethod method, std::string_view class_text);

// The zone text with a known three-character zone code at its start replaced by the zone's
// name; other texts unchanged.
std::string ConvertZoneCode(std::string_view zone_text);

// The text a zone cell is rewritten as: its trimmed text with the code replaced, numbers included;
// nullopt for an error value and for a number whose 15-digit text would lose digits (a long patch
// number), which keep what they hold.
std::optional<std::string> ConvertedZone(const CellValue& zone);

inline constexpr std::string_view kLandUseTitle = "土地利用情况分区域汇总";

// Area by zone and class key. A row whose class cell cannot be read counts under the previous
// row's key; before any key, under the key of the empty text.
class LandUseTask : public RowTask {
 public:
  explicit LandUseTask(LandUseMethod method) : method_(method) {}
  void AddRow(const PatchRow& row) override;
  TableShape Shape() const override { return SummaryShape(tables_, SummaryLayout::kByClass); }
  ResultTable Table() const override {
    return SummaryTable(std::string(kLandUseTitle), tables_, SummaryLayout::kByClass);
  }
  const SummaryTables& tables() const { return tables_; }

 private:
  const LandUseMethod method_;
  SummaryTables tables_;
  std::optional<std::string> key_;  // the key of the last row whose class could be read
};

}  // namespace quilmark
