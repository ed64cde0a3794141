#include "src/masterplan/master_plan.h"

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quilmark {
namespace {

struct PlanningEntry {
  std::string_view zone_name;
  std::string_view category;
};

constexpr std::string_view kConforming = "符合规划用地";
// Written with 它, unlike the zone names beginning with 其他.
constexpr std::string_view kOtherNonConforming = "其它不符合规划用地";
constexpr std::string_view kBasicFarmland = "基本农田";
// The 06 edition keeps its basic-farmland zone under the zone's own name.
constexpr std::string_view kBasicFarmlandZone06 = "基本农田保护区";

// Planning-zone names of the 06 edition of the plan and the category each folds into.
constexpr std::array<PlanningEntry, 12> kPlanningMap06 = {{
    {"一般农地区-一般耕地区", kOtherNonConforming},
    {"一般农地区-规划园地区", kOtherNonConforming},
    {"其他用地区-交通用地", kConforming},
    {"其他用地区-未利用地", kConforming},
    {"其他用地区-河流水面", kOtherNonConforming},
    {"其他用地区-特殊用地", kConforming},
    {"农村居民点建设用地区", kConforming},
    {"城镇建设用地区", kConforming},
    {"基本农田保护区", kBasicFarmlandZone06},
    {"工矿用地区", kConforming},
    {"林业用地区", kOtherNonConforming},
    {"牧业用地区", kOtherNonConforming},
}};

// Planning-zone names of the 09 edition of the plan and the category each folds into.
constexpr std::array<PlanningEntry, 21> kPlanningMap09 = {{
    {"一般性基本农田区", kBasicFarmland},
    {"其他一般农地区", kOtherNonConforming},
    {"一般农地区", kOtherNonConforming},
    {"其他-交通用地", kConforming},
    {"其他-填海造地", kConforming},
    {"其他-未利用地", kConforming},
    {"其他-水体水面", kOtherNonConforming},
    {"其他-水域", kOtherNonConforming},
    {"其他-水利用地", kOtherNonConforming},
    {"其他-特殊用地", kConforming},
    {"其他-自然保留地", kOtherNonConforming},
    {"农用水面", kOtherNonConforming},
    {"城镇建设用地区", kConforming},
    {"工矿用地区", kConforming},
    {"村镇建设用地区", kConforming},
    {"林业用地区", kOtherNonConforming},
    {"永久性基本农田区", kBasicFarmland},
    {"基本农田保护区", kBasicFarmland},
    {"填海造地区", kConforming},
    {"生态环境安全控制区", kOtherNonConforming},
    {"自然与文化遗产保护区", kOtherNonConforming},
}};

// Exact lookup: byte equality on UTF-8 is code-unit equality, so no case or width folding.
std::optional<std::string_view> Lookup(std::span<const PlanningEntry> map,
                                       std::string_view zone_name) {
  for (const PlanningEntry& entry : map) {
    if (entry.zone_name == zone_name) return entry.category;
  }
  return std::nullopt;
}

}  // namespace

std::string PlanningCategory(std::string_view class_text, PlanningMethod method) {
  std::optional<std::string_view> category;
  switch (method) {
    case PlanningMethod::IsAllZone:
      break;
    case PlanningMethod::IsOldGH:
      category = Lookup(kPlanningMap06, class_text);
      break;
    case PlanningMethod::IsNewGH:
      category = Lookup(kPlanningMap09, class_text);
      break;
  }
  return std::string(category.value_or(class_text));
}

void MasterPlanTask::AddRow(const PatchRow& row) {
  // A class cell that cannot be read leaves the previous row's category, and the row counts
  // under it (folded again, which leaves a category as it is).
  key_ = PlanningCategory(row.class_text ? *row.class_text : std::string_view(key_), method_);
  AccumulateRow(tables_, row.zone, key_, row.area);
}

}  // namespace quilmark
