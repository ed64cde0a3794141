#include "src/report/report_kinds.h"

#include <algorithm>

#include "src/host/cell_value.h"

namespace quilmark {
namespace {

// The titles as the third-survey statistics tables carry them.
constexpr ReportInfo kReports[] = {
    {ReportKind::kLevel1, "level1", "土地利用现状一级分类面积汇总表"},
    {ReportKind::kLevel2, "level2", "土地利用现状分类面积汇总表"},
    {ReportKind::kMajor, "major", "三大类面积汇总表"},
    {ReportKind::kOwnership, "ownership", "土地利用现状一级分类面积按权属性质汇总表"},
    {ReportKind::kUrban, "urban", "城镇村及工矿用地面积汇总表"},
    {ReportKind::kSlope, "slope", "耕地坡度分级面积汇总表"},
};

}  // namespace

std::span<const ReportInfo> Reports() { return kReports; }

const ReportInfo& ReportInfoOf(ReportKind kind) {
  return *std::find_if(std::begin(kReports), std::end(kReports),
                       [kind](const ReportInfo& info) { return info.kind == kind; });
}

std::optional<std::vector<ReportKind>> ParseReportList(std::string_view list) {
  std::vector<bool> chosen(std::size(kReports), false);
  bool any = false;
  while (!list.empty()) {
    const size_t comma = list.find(',');
    const std::string_view name = TrimBlanks(list.substr(0, comma));
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    if (name == "all") {
      chosen.assign(chosen.size(), true);
      any = true;
      continue;
    }
    const auto found =
        std::find_if(std::begin(kReports), std::end(kReports),
                     [name](const ReportInfo& info) { return info.cli_name == name; });
    if (found == std::end(kReports)) return std::nullopt;
    chosen[static_cast<size_t>(found - std::begin(kReports))] = true;
    any = true;
  }
  if (!any) return std::nullopt;
  std::vector<ReportKind> kinds;
  for (size_t i = 0; i < chosen.size(); ++i) {
    if (chosen[i]) kinds.push_back(kReports[i].kind);
  }
  return kinds;
}

std::optional<UnitLevel> UnitLevelByName(std::string_view name) {
  if (name == "county") return UnitLevel::kCounty;
  if (name == "township") return UnitLevel::kTownship;
  if (name == "village") return UnitLevel::kVillage;
  return std::nullopt;
}

}  // namespace quilmark
