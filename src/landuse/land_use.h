// The land-use task: the class key of each row under one of six methods, the pass that sums
// area by zone and key, and the optional rewrite of zone codes as zone names before it.
#pragma once

#include <string>
#include <string_view>

#include "src/summary/pass_context.h"
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

// Rewrites every zone cell of rows 1..last_row as trimmed text with its code replaced by the
// zone's name. A cell that cannot be read, or holds an error value, is left untouched.
void ConvertZoneCodes(PassContext& context);

// For every row: the class text becomes the class key in the text holder, then AccumulateRow.
void AccumulateLandUse(PassContext& context, LandUseMethod method, SummaryTables& tables);

}  // namespace quilmark
