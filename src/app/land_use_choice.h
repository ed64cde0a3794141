// The land-use method that run options hold, read and set through the method table: an option
// button's field, or the caption of the classification list's chosen entry.
#pragma once

#include <optional>
#include <string_view>

#include "src/app/run_options.h"
#include "src/landuse/land_use_methods.h"

namespace quilmark {

// The field of the land-use option button of that name; nullptr for any other name.
bool RunOptions::*LandUseOptionField(std::string_view control);

// The chosen method: the first of the table whose option field is set or whose list entry is
// chosen; nullopt when none is.
std::optional<LandUseMethod> ChosenLandUseMethod(const RunOptions& options);

// Sets what chooses the method: its option field, or the list entry.
void ChooseLandUseMethod(RunOptions& options, LandUseMethod method);

}  // namespace quilmark
