// The master-plan method that run options hold, read and set through the method table.
#pragma once

#include <optional>

#include "src/app/run_options.h"
#include "src/masterplan/planning_methods.h"

namespace quilmark {

// The chosen method: the first of the table whose option field is set; nullopt when none is.
std::optional<PlanningMethod> ChosenPlanningMethod(const RunOptions& options);

// Sets the method's option field.
void ChoosePlanningMethod(RunOptions& options, PlanningMethod method);

}  // namespace quilmark
