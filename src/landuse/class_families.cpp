#include "src/landuse/class_families.h"

#include <algorithm>
#include <string>

#include "src/host/ascii_text.h"
#include "src/landuse/shipped_tables.h"

namespace quilmark {
namespace {

using M = LandUseMethod;

constexpr ClassFamily kFamilies[] = {
    {"三调工作分类", "survey3_level2", M::kSurvey3Level1, M::kSurvey3Level2},
    {"土地利用现状分类 2017", "gb2017_level2", M::k2017Level1, M::k2017Level2},
    {"用地用海分类 2023", "plan2023_level2", M::kPlan2023Level1, M::kPlan2023Level2},
    {"用地用海分类 2020 (试行)", "plan2020_level2", M::kPlan2020Level1, M::kPlan2020Level2},
    // The rule methods key every text; their families are told by the codes their rules read.
    {"二调土地利用现状分类", "survey2_level2", M::OptClassA_ED, M::OptClassA_ED},
    {"土地分类 (2008 年方式)", "class2008_level3", M::OptClassA_2008, M::OptClassB_2008},
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

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), IsAsciiDigit);
}

// The share of the area the family knows, each unknown text of digits tried with a 0 in front.
double PaddedShare(const ClassFamily& family, std::span<const TextArea> texts, double total) {
  const ClassTable& table = ShippedTable(family.table);
  double known = 0;
  for (const TextArea& text : texts) {
    if (table.Lookup(text.text).known ||
        (AllDigits(text.text) && table.Lookup("0" + text.text).known)) {
      known += text.area;
    }
  }
  return known / total;
}

double TotalArea(std::span<const TextArea> texts) {
  double total = 0;
  for (const TextArea& text : texts) total += text.area;
  return total;
}

}  // namespace

PaddingCheck CheckPadding(LandUseMethod chosen, std::span<const TextArea> texts) {
  PaddingCheck check;
  const ClassFamily* own = FamilyOf(chosen);
  const double total = TotalArea(texts);
  if (own == nullptr || !(total > 0)) return check;
  const ClassFamily* data = own;  // the family that recognises the data
  double best = PaddedShare(*own, texts, total);
  for (const ClassFamily& family : kFamilies) {
    const double share = PaddedShare(family, texts, total);
    if (share > best) {
      best = share;
      data = &family;
    }
  }
  const ClassTable& table = ShippedTable(own->table);
  const ClassTable& data_table = ShippedTable(data->table);
  for (const TextArea& text : texts) {
    if (!AllDigits(text.text) || table.Lookup(text.text).known) continue;
    const ClassLookup lookup = table.Lookup("0" + text.text);
    if (!lookup.known) continue;
    if (data_table.Lookup(text.text).known) {
      check.as_is = data;
      check.as_is_method = chosen == own->level1 ? data->level1 : data->level2;
    } else if (data_table.Lookup("0" + text.text).known) {
      check.padded.emplace_back(text.text, lookup.key);
    }
  }
  return check;
}

std::span<const ClassFamily> ClassFamilies() { return kFamilies; }

const ClassFamily* FamilyOf(LandUseMethod method) {
  if (method == M::kSurvey3Major) return &kFamilies[0];  // the same codes as its levels
  if (method == M::OptAgriLand_ED) return FamilyOf(M::OptClassA_ED);
  if (method == M::OptClassC_2008) return FamilyOf(M::OptClassA_2008);
  for (const ClassFamily& family : kFamilies) {
    if (family.level1 == method || family.level2 == method) return &family;
  }
  return nullptr;
}

FamilyCheck CheckFamily(LandUseMethod chosen, std::span<const TextArea> texts) {
  FamilyCheck check;
  const ClassFamily* own = FamilyOf(chosen);
  const double total = TotalArea(texts);
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
