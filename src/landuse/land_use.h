// The land-use task: the class key of each row under one of six methods, the pass that sums
// area by zone and key, and the optional rewrite of zone codes as zone names before it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "src/host/cell_value.h"
#include "src/summary/row_task.h"
#include "src/summary/summary_tables.h"

namespace quilmark {

// The six ways of reading a class cell, named after the window's options.
enum class LandUseMethod {
  OptClassC_2008,  // third-level classes of the 2008 classification, K-marked kept apart
  OptClassB_2008,  // second-level classes of the 2008 classification
  OptClassA_2008,  // first-level classes of the 2008 classification
  OptQSXZ_ED,      // ownership nature on the second-survey map
  OptClassA_ED,    // first-level classes on the second-survey map
  OptAgriLand_ED,  // agricultural, construction and unused land on the second-survey map
};

// The class key of a class text under a method: a fixed label, a cut of the text, or the text
// itself. Pure; never fails.
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
