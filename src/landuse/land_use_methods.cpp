#include "src/landuse/land_use_methods.h"

#include "src/landuse/class_keys.h"
#include "src/landuse/land_use.h"

namespace quilmark {
namespace {

using enum MethodControl;

constexpr LandUseMethodEntry kMethods[] = {
    {LandUseMethod::OptClassC_2008, kOptionButton, "OptClassC_2008", "2008-level3", ClassC2008Key},
    {LandUseMethod::OptClassB_2008, kOptionButton, "OptClassB_2008", "2008-level2", ClassB2008Key},
    {LandUseMethod::OptClassA_2008, kOptionButton, "OptClassA_2008", "2008-level1", ClassA2008Key},
    {LandUseMethod::OptQSXZ_ED, kOptionButton, "OptQSXZ_ED", "survey-ownership", OwnershipEdKey},
    {LandUseMethod::OptClassA_ED, kOptionButton, "OptClassA_ED", "survey-level1", ClassAEdKey},
    {LandUseMethod::OptAgriLand_ED, kOptionButton, "OptAgriLand_ED", "survey-agri", AgriLandEdKey},
};

}  // namespace

std::span<const LandUseMethodEntry> LandUseMethods() { return kMethods; }

const LandUseMethodEntry& MethodEntry(LandUseMethod method) {
  for (const LandUseMethodEntry& entry : kMethods) {
    if (entry.method == method) return entry;
  }
  return kMethods[0];  // unreachable: every enumerator has its row (checked by the tests)
}

const LandUseMethodEntry* FindMethodByCliName(std::string_view cli_name) {
  for (const LandUseMethodEntry& entry : kMethods) {
    if (entry.cli_name == cli_name) return &entry;
  }
  return nullptr;
}

std::string LandUseClassKey(LandUseMethod method, std::string_view class_text) {
  return MethodEntry(method).key(class_text);
}

}  // namespace quilmark
