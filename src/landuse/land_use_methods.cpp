#include "src/landuse/land_use_methods.h"

#include "src/landuse/class_keys.h"
#include "src/landuse/land_use.h"
#include "src/landuse/shipped_tables.h"

namespace quilmark {
namespace {

using enum MethodControl;
using M = LandUseMethod;

// The rule methods key every text; none is unknown to them.
template <std::string (*kKey)(std::string_view)>
ClassLookup ByRules(std::string_view text) {
  return {kKey(text), true, false};
}

template <const std::string_view& kTable>
ClassLookup ByTable(std::string_view text) {
  static const ClassTable& table = ShippedTable(kTable);
  return table.Lookup(text);
}

constexpr std::string_view kS3L1 = "survey3_level1", kS3L2 = "survey3_level2",
                           kS3Major = "survey3_major", kS3Own = "survey3_ownership",
                           k17L1 = "gb2017_level1", k17L2 = "gb2017_level2",
                           kP23L1 = "plan2023_level1", kP23L2 = "plan2023_level2",
                           kP20L1 = "plan2020_level1", kP20L2 = "plan2020_level2";

// 田坎 is 157 in the 2008 classes, 123 on the second-survey map, 1203 in the third survey and
// the 2017 classes, 2303 in the 2023 planning classes and 2302 in their trial edition of 2020.
// Ownership has no class for it.
constexpr LandUseMethodEntry kMethods[] = {
    {M::OptClassC_2008, kOptionButton, "OptClassC_2008", "2008-level3", ByRules<ClassC2008Key>,
     "157"},
    {M::OptClassB_2008, kOptionButton, "OptClassB_2008", "2008-level2", ByRules<ClassB2008Key>,
     "157"},
    {M::OptClassA_2008, kOptionButton, "OptClassA_2008", "2008-level1", ByRules<ClassA2008Key>,
     "157"},
    {M::OptQSXZ_ED, kOptionButton, "OptQSXZ_ED", "survey-ownership", ByRules<OwnershipEdKey>, ""},
    {M::OptClassA_ED, kOptionButton, "OptClassA_ED", "survey-level1", ByRules<ClassAEdKey>, "123"},
    {M::OptAgriLand_ED, kOptionButton, "OptAgriLand_ED", "survey-agri", ByRules<AgriLandEdKey>,
     "123"},
    {M::kSurvey3Level1, kListEntry, "三调工作分类 一级类", "survey3-level1", ByTable<kS3L1>, "1203"},
    {M::kSurvey3Level2, kListEntry, "三调工作分类 二级类", "survey3-level2", ByTable<kS3L2>, "1203"},
    {M::kSurvey3Major, kListEntry, "三调 三大类 (农用地、建设用地、未利用地)", "survey3-major",
     ByTable<kS3Major>, "1203"},
    {M::kSurvey3Ownership, kListEntry, "三调 权属性质 (国有、集体)", "survey3-ownership",
     ByTable<kS3Own>, ""},
    {M::k2017Level1, kListEntry, "土地利用现状分类 2017 一级类", "2017-level1", ByTable<k17L1>,
     "1203"},
    {M::k2017Level2, kListEntry, "土地利用现状分类 2017 二级类", "2017-level2", ByTable<k17L2>,
     "1203"},
    {M::kPlan2023Level1, kListEntry, "用地用海分类 2023 一级类", "plan2023-level1",
     ByTable<kP23L1>, "2303"},
    {M::kPlan2023Level2, kListEntry, "用地用海分类 2023 二级类", "plan2023-level2",
     ByTable<kP23L2>, "2303"},
    {M::kPlan2020Level1, kListEntry, "用地用海分类 2020 (试行) 一级类", "plan2020-level1",
     ByTable<kP20L1>, "2302"},
    {M::kPlan2020Level2, kListEntry, "用地用海分类 2020 (试行) 二级类", "plan2020-level2",
     ByTable<kP20L2>, "2302"},
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
  return MethodEntry(method).classify(class_text).key;
}

}  // namespace quilmark
