// The land-use methods, each in one row of one table: how the window offers it, its name on the
// command line and the function that gives a class text its key. The run options, the run, the
// command line and the window all read this table, so a method is added in one row.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "src/landuse/class_table.h"

namespace quilmark {

// The ways of reading a class cell. The first six are named after the window's option buttons.
enum class LandUseMethod {
  OptClassC_2008,  // third-level classes of the 2008 classification, K-marked kept apart
  OptClassB_2008,  // second-level classes of the 2008 classification
  OptClassA_2008,  // first-level classes of the 2008 classification
  OptQSXZ_ED,      // ownership nature on the second-survey map
  OptClassA_ED,    // first-level classes on the second-survey map
  OptAgriLand_ED,  // agricultural, construction and unused land on the second-survey map
  kSurvey3Level1,     // third-survey working classification, level 1 (湿地 apart)
  kSurvey3Level2,     // third-survey working classification, level 2
  kSurvey3Major,      // third-survey codes as 农用地 / 建设用地 / 未利用地
  kSurvey3Ownership,  // QSXZ ownership codes: 10/20 国有, 30/40 集体
  k2017Level1,        // land-use classification of 2017, level 1
  k2017Level2,        // land-use classification of 2017, level 2
  kPlan2023Level1,    // land and sea use classes for planning (2023), level 1
  kPlan2023Level2,    // the same, level 2 (third-level codes count toward theirs)
  kPlan2020Level1,    // the same classes in their trial edition of 2020 (some other codes), level 1
  kPlan2020Level2,    // the same, level 2
};

// How the window offers a method.
enum class MethodControl {
  kOptionButton,  // an option button of the land-use frame, named by `control`
  kListEntry,     // an entry of the classification list, captioned `control`
};

struct LandUseMethodEntry {
  LandUseMethod method;
  MethodControl control_kind;
  std::string_view control;  // the option button's name, or the list entry's caption
  std::string_view cli_name;
  ClassLookup (*classify)(std::string_view class_text);  // pure; never fails
  // The code whose class takes a patch's 田坎 share when a deduction column is given; empty
  // where the method has none (the share then stays with the patch's own class).
  std::string_view ridge_code;
};

// Every method, in the order the window lists them and the run prefers them when several are set.
std::span<const LandUseMethodEntry> LandUseMethods();

// The row of a method; every method has one.
const LandUseMethodEntry& MethodEntry(LandUseMethod method);

// The row with that command-line name; nullptr for an unknown name.
const LandUseMethodEntry* FindMethodByCliName(std::string_view cli_name);

}  // namespace quilmark
