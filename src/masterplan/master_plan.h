// The master-plan task: each row's planning-zone name becomes a category key under one of three
// methods, and the pass sums area by zone and category.
#pragma once

#include <string>
#include <string_view>

#include "src/summary/pass_context.h"
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

// For every row: the class text becomes the category key in the text holder, then AccumulateRow.
void AccumulateMasterPlan(PassContext& context, PlanningMethod method, SummaryTables& tables);

}  // namespace quilmark
