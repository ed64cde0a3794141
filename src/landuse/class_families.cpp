#include "src/landuse/class_families.h"

#include <algorithm>

#include "src/landuse/shipped_tables.h"

namespace quilmark {
namespace {

using M = LandUseMethod;

constexpr ClassFamily kFamilies[] = {
    {"三调工作分类", "survey3_level2", M::kSurvey3Level1, M::kSurvey3Level2},
    {"土地利用现状分类 2017", "gb2017_level2", M::k2017Level1, M::k2017Level2},
    {"用地用海分类 2023", "plan2023_level2", M::kPlan2023Level1, M::kPlan2023Level2},
    {"用地用海分类 2020 (试行)", "plan2020_level2", M::kPlan2020Level1, M::kPlan2020Level2},
};

// The share of the area whose texts the family's table knows.
double KnownShare(const ClassFamily& family, std::span<const TextArea> texts, double total) {
  const ClassTable& table = ShippedTable(family.table);
  double known = 0;
  for (const TextArea& text : texts) {
    if (table.Lookup(text.text).known) known += text.area;
  }
  return known / total;
}

}  // namespace

std::span<const ClassFamily> ClassFamilies() { return kFamilies; }

const ClassFamily* FamilyOf(LandUseMethod method) {
  if (method == M::kSurvey3Major) return &kFamilies[0];  // the same codes as its levels
  for (const ClassFamily& family : kFamilies) {
    if (family.level1 == method || family.level2 == method) return &family;
  }
  return nullptr;
}

FamilyCheck CheckFamily(LandUseMethod chosen, std::span<const TextArea> texts) {
  FamilyCheck check;
  const ClassFamily* own = FamilyOf(chosen);
  double total = 0;
  for (const TextArea& text : texts) total += text.area;
  if (own == nullptr || !(total > 0)) return check;
  check.chosen_share = KnownShare(*own, texts, total);
  const bool level1 = chosen == own->level1;
  for (const ClassFamily& family : kFamilies) {
    if (&family == own) continue;
    const double share = KnownShare(family, texts, total);
    if (share - check.chosen_share >= kClearMargin && 1 - share <= (1 - check.chosen_share) / 2) {
      check.better.push_back({&family, level1 ? family.level1 : family.level2, share});
    }
  }
  std::stable_sort(check.better.begin(), check.better.end(),
                   [](const BetterFamily& a, const BetterFamily& b) { return a.share > b.share; });
  return check;
}

const ClassFamily* LikelyFamily(std::span<const TextArea> texts) {
  double total = 0;
  for (const TextArea& text : texts) total += text.area;
  if (!(total > 0)) return nullptr;
  const ClassFamily* best = nullptr;
  double best_share = 0.5;
  for (const ClassFamily& family : kFamilies) {
    const double share = KnownShare(family, texts, total);
    if (share > best_share) {
      best_share = share;
      best = &family;
    }
  }
  return best;
}

}  // namespace quilmark
