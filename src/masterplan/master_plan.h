// The master-plan task: each row's planning-zone name becomes a category key under one of three
// methods, and the pass sums area by zone and category.
#pragma once

#include <string>
#include <string_view>

#include "src/summary/row_task.h"
#include "src/summary/summary_tables.h"

namespace quilmark {

enum class PlanningMethod {
  IsAllZone,  // every planning-zone name is its own category
  IsOldGH,    // names folded into categories by the 06 edition of the plan
  IsNewGH,    // names folded into categories by the 09 edition of the plan
};

// The category key of a class text: the text itself under IsAllZone or when the edition's map
// has no such name (exact match, no folding). Pure; never fails.
std::string PlanningCategory(std::string_view class_text, PlanningMethod method);

inline constexpr std::string_view kMasterPlanTitle = "总体规划情况分区域汇总";

// Area by zone and category. A row whose class cell cannot be read counts under the previous
// row's category; before any, under the category of the empty text.
class MasterPlanTask : public RowTask {
 public:
  explicit MasterPlanTask(PlanningMethod method, AreaFormat format = {})
      : method_(method), format_(format) {}
  void AddRow(const PatchRow& row) override;
  TableShape Shape() const override {
    return SummaryShape(tables_, SummaryLayout::kByClass, format_);
  }
  ResultTable Table() const override {
    return SummaryTable(std::string(kMasterPlanTitle), tables_, SummaryLayout::kByClass, format_);
  }
  const SummaryTables& tables() const { return tables_; }

 private:
  const PlanningMethod method_;
  const AreaFormat format_;
  SummaryTables tables_;
  std::string key_;
};

}  // namespace quilmark
