// The land-use task: the class key of each row under one of the methods, the pass that sums
// area by zone and key, and the optional rewrite of zone codes as zone names before it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "src/landuse/class_table.h"
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

// How the land-use pass classifies and splits.
struct LandUseSettings {
  LandUseMethod method = LandUseMethod::OptClassC_2008;
  const ClassTable* user_table = nullptr;  // a user's table, used in place of the method's
  bool split_k = false;  // K-marked patches under 带K and their class, apart from the others
  // The column of the 田坎 deduction coefficients (KCXS); its cells are checked before the pass.
  std::optional<int32_t> deduction_column;
};

// A class text the table does not know, with the patches that carry it and their area.
struct UnknownCode {
  std::string code;
  int64_t patches = 0;
  double area = 0;
  friend bool operator==(const UnknownCode&, const UnknownCode&) = default;
};

// For every row: the class text becomes the class key in the text holder, then AccumulateRow.
// With a deduction column, a patch of area A and coefficient c adds A x (1 - c) under its own key
// and A x c under the key of the method's 田坎 code. Returns the codes no rule took, in the
// order first met.
std::vector<UnknownCode> AccumulateLandUse(PassContext& context, const LandUseSettings& settings,
                                           SummaryTables& tables);
void AccumulateLandUse(PassContext& context, LandUseMethod method, SummaryTables& tables);

// The key the 田坎 share of a patch goes to; empty when the method has no such class.
std::string RidgeKey(const LandUseSettings& settings);

// A deduction coefficient as a cell holds it, read by the leading-number rule of the area column:
// an empty cell, and a text without a number (a title), are 0. nullopt when it overflows.
std::optional<double> DeductionCoefficient(const CellValue& value);

// The first row of 1..last_row whose coefficient is not a number in [0, 1); a cell that cannot
// be read is skipped.
std::optional<int32_t> FirstBadCoefficient(const PassContext& context, int32_t column);

}  // namespace quilmark
