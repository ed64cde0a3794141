// The land-use task: the class key of each row under one of the methods, the pass that sums
// area by zone and key, and the optional rewrite of zone codes as zone names before it.
#pragma once

#include <string>
#include <string_view>

#include "src/landuse/land_use_methods.h"
#include "src/summary/pass_context.h"
#include "src/summary/summary_tables.h"

namespace quilmark {

// The class key of a class text under a method, by the method's key function: a fixed label, a
// class name, a cut of the text, or the text itself. Pure; never fails.
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
