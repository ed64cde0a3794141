// Which other classification family recognises clearly more of a run's area than the chosen one.
#include "src/landuse/class_families.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace quilmark {
namespace {

using M = LandUseMethod;

// "code:area code:area ..." as the texts of a run.
std::vector<TextArea> Texts(const std::string& list) {
  std::vector<TextArea> texts;
  std::istringstream in(list);
  for (std::string item; in >> item;) {
    const size_t colon = item.find(':');
    texts.push_back({item.substr(0, colon), std::stod(item.substr(colon + 1))});
  }
  return texts;
}

TEST(CheckFamily, NamesTheFamiliesThatKnowClearlyMore) {
  struct Case {
    M chosen;
    const char* texts;
    std::vector<M> better;
  };
  const Case cases[] = {
      // Third-survey codes under the 2023 planning classes: 0307 and 1104 are unknown there, and
      // 1001 and 1203 known as other classes. The 2017 classes know the working codes too.
      {M::kPlan2023Level2,
       "0101:500 0301:300 0307:80 1001:20 1203:30 1104:40 0702:30",
       {M::kSurvey3Level2, M::k2017Level2}},
      // Planning codes of 2023 under the third survey, at level 1; the 2020 trial codes know them
      // as well (2303 as 田间道), the 2017 classes leave more than half the unknown area.
      {M::kSurvey3Level1,
       "0101:400 0301:300 0503:50 0801:30 1207:40 1701:100 2303:20 070101:60",
       {M::kPlan2023Level1, M::kPlan2020Level1}},
      // Codes of the 2020 trial under the 2023 classes: 0603, 0604 and 1313 are gone in 2023.
      {M::kPlan2023Level2, "0101:500 0603:100 0604:50 1313:50 2303:300", {M::kPlan2020Level2}},
      // The right family with a few unknown codes: a typo, a code of the other edition.
      {M::kSurvey3Level2, "0101:900 0199:30 1001:70", {}},
      {M::kPlan2023Level2, "0101:600 0205:200 1313:10 2303:190", {}},
      // One point of the area is no clear difference.
      {M::kPlan2023Level2, "0101:990 0307:10", {}},
      {M::kSurvey3Major, "0101:500 0508:300 05H1:200", {}},
      // Methods without a family, and a run without area, are left alone.
      {M::OptClassA_2008, "0101:500 0307:500", {}},
      {M::kSurvey3Ownership, "0101:500 0307:500", {}},
      {M::kPlan2023Level2, "0307:0", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.texts);
    const FamilyCheck check = CheckFamily(c.chosen, Texts(c.texts));
    std::vector<M> better;
    for (const BetterFamily& family : check.better) better.push_back(family.method);
    EXPECT_EQ(better, c.better);
  }
  const FamilyCheck first = CheckFamily(cases[0].chosen, Texts(cases[0].texts));
  EXPECT_DOUBLE_EQ(first.chosen_share, 0.88);
  EXPECT_DOUBLE_EQ(first.better[0].share, 1.0);
}

TEST(LikelyFamily, TheFamilyThatKnowsMostOfTheArea) {
  const struct {
    const char* texts;
    const char* family;  // "" for none
  } cases[] = {
      {"0101:500 0301:300 0307:80 1001:20 1203:30 1104:40 0702:30", "三调工作分类"},
      {"0101:500 0603:100 0604:50 1313:50 2303:300", "用地用海分类 2020 (试行)"},
      {"0101:400 0301:300 0503:50 0801:30 1207:40 1701:100 2303:20", "用地用海分类 2023"},
      {"石碣镇:500 水田:300", ""},
      {"0101:0", ""},
  };
  for (const auto& c : cases) {
    const ClassFamily* family = LikelyFamily(Texts(c.texts));
    EXPECT_EQ(family != nullptr ? family->name : "", c.family) << c.texts;
  }
}

}  // namespace
}  // namespace quilmark
