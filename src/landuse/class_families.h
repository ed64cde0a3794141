// The shipped classification families whose codes overlap: the third survey's working
// classification, the land-use classification of 2017 and the planning classes of 2020 and 2023.
// One code is a different class in each (1001 is 铁路用地 in the third survey, 工业用地 in the
// planning classes), so data run through the wrong family is booked under wrong classes without a
// word. The check here tells, from the class texts of a run and their areas, which other families
// recognise clearly more of the area than the chosen one.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "src/landuse/land_use_methods.h"

namespace quilmark {

struct ClassFamily {
  std::string_view name;   // as the user knows it: 三调工作分类
  std::string_view table;  // the shipped table whose codes the family knows (its level 2)
  LandUseMethod level1;
  LandUseMethod level2;
};

// Every family, in the order the window lists their methods.
std::span<const ClassFamily> ClassFamilies();

// The family of a method; nullptr for the rule methods and ownership, which have none.
const ClassFamily* FamilyOf(LandUseMethod method);

// A distinct class text of a run and the area of its patches.
struct TextArea {
  std::string text;
  double area = 0;
};

// Another family's share of the area whose codes it knows (0..1), and the method of it that
// matches the chosen one's level.
struct BetterFamily {
  const ClassFamily* family = nullptr;
  LandUseMethod method;
  double share = 0;
};

struct FamilyCheck {
  double chosen_share = 1;           // the chosen family's share of the area it knows
  std::vector<BetterFamily> better;  // best first; empty when nothing is clearly better
};

// Another family is clearly better when it knows at least kClearMargin more of the area than the
// chosen family and leaves at most half the area the chosen one does not know. Texts known to
// both, or to neither, weigh nothing: only codes that one family knows and the other does not
// tell them apart. Nothing is better for a method without a family or a run without area.
inline constexpr double kClearMargin = 0.02;
FamilyCheck CheckFamily(LandUseMethod chosen, std::span<const TextArea> texts);

// The family the texts most likely come from, for a first look at the data before a method is
// chosen: the one that knows the largest share of the area, the first in ClassFamilies() order of
// those that know as much (the third survey's codes are nearly all 2017's), where that is over
// half; nullptr otherwise.
const ClassFamily* LikelyFamily(std::span<const TextArea> texts);

}  // namespace quilmark
