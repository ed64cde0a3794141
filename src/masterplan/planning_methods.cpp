#include "src/masterplan/planning_methods.h"

namespace quilmark {
namespace {

constexpr PlanningMethodEntry kMethods[] = {
    {PlanningMethod::IsAllZone, "IsAllZone", "all-zones"},
    {PlanningMethod::IsOldGH, "IsOldGH", "2006"},
    {PlanningMethod::IsNewGH, "IsNewGH", "2009"},
};

}  // namespace

std::span<const PlanningMethodEntry> PlanningMethods() { return kMethods; }

const PlanningMethodEntry* FindPlanningMethodByCliName(std::string_view cli_name) {
  for (const PlanningMethodEntry& entry : kMethods) {
    if (entry.cli_name == cli_name) return &entry;
  }
  return nullptr;
}

}  // namespace quilmark
