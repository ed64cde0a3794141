// The master-plan methods, each in one row: the window's option button and its name on the command
// line. The run options, the command line and the window read this table.
#pragma once

#include <span>
#include <string_view>

#include "src/masterplan/master_plan.h"

namespace quilmark {

struct PlanningMethodEntry {
  PlanningMethod method;
  std::string_view control;  // the option button's name
  std::string_view cli_name;
};

// Every method, in the order the window lists them and the run prefers them when several are set.
std::span<const PlanningMethodEntry> PlanningMethods();

// The row with that command-line name; nullptr for an unknown name.
const PlanningMethodEntry* FindPlanningMethodByCliName(std::string_view cli_name);

}  // namespace quilmark
