#include "src/app/land_use_choice.h"

#include <utility>

namespace quilmark {
namespace {

// The option fields are named after the buttons; this is the one place that pairs them.
const std::pair<std::string_view, bool RunOptions::*> kOptionFields[] = {
    {"OptClassC_2008", &RunOptions::OptClassC_2008}, {"OptClassB_2008", &RunOptions::OptClassB_2008},
    {"OptClassA_2008", &RunOptions::OptClassA_2008}, {"OptQSXZ_ED", &RunOptions::OptQSXZ_ED},
    {"OptClassA_ED", &RunOptions::OptClassA_ED},     {"OptAgriLand_ED", &RunOptions::OptAgriLand_ED},
};

}  // namespace

bool RunOptions::*LandUseOptionField(std::string_view control) {
  for (const auto& [name, field] : kOptionFields) {
    if (name == control) return field;
  }
  return nullptr;
}

std::optional<LandUseMethod> ChosenLandUseMethod(const RunOptions& options) {
  for (const LandUseMethodEntry& entry : LandUseMethods()) {
    if (entry.control_kind == MethodControl::kOptionButton) {
      bool RunOptions::*field = LandUseOptionField(entry.control);
      if (field != nullptr && options.*field) return entry.method;
    } else if (options.ListLandUse == entry.control) {
      return entry.method;
    }
  }
  return std::nullopt;
}

void ChooseLandUseMethod(RunOptions& options, LandUseMethod method) {
  const LandUseMethodEntry& entry = MethodEntry(method);
  if (entry.control_kind == MethodControl::kOptionButton) {
    if (bool RunOptions::*field = LandUseOptionField(entry.control)) options.*field = true;
  } else {
    options.ListLandUse = std::string(entry.control);
  }
}

}  // namespace quilmark
