#include "src/app/plan_choice.h"

namespace quilmark {
namespace {

// The option fields are named after the buttons; this is the one place that pairs them.
bool RunOptions::*OptionField(PlanningMethod method) {
  switch (method) {
    case PlanningMethod::IsAllZone:
      return &RunOptions::IsAllZone;
    case PlanningMethod::IsOldGH:
      return &RunOptions::IsOldGH;
    case PlanningMethod::IsNewGH:
      return &RunOptions::IsNewGH;
  }
  return &RunOptions::IsAllZone;
}

}  // namespace

std::optional<PlanningMethod> ChosenPlanningMethod(const RunOptions& options) {
  for (const PlanningMethodEntry& entry : PlanningMethods()) {
    if (options.*OptionField(entry.method)) return entry.method;
  }
  return std::nullopt;
}

void ChoosePlanningMethod(RunOptions& options, PlanningMethod method) {
  options.*OptionField(method) = true;
}

}  // namespace quilmark
