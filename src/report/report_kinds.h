// The statistics tables a land office hands in after the third national land survey (and each
// year's land-change survey): their names on the command line, their official titles, and how
// deep their rows go in the administrative hierarchy.
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace quilmark {

enum class ReportKind { kLevel1, kLevel2, kMajor, kOwnership, kUrban, kSlope };

struct ReportInfo {
  ReportKind kind;
  std::string_view cli_name;  // level1, level2, ...
  std::string_view title;     // the table's official title, also its sheet's name
};

// Every table, in the order a workbook holds them.
std::span<const ReportInfo> Reports();
const ReportInfo& ReportInfoOf(ReportKind kind);

// The tables of a comma list of command-line names ("level1,slope", or "all"), in the order
// Reports() gives them, each once; nullopt when a name is unknown or the list is empty.
std::optional<std::vector<ReportKind>> ParseReportList(std::string_view list);

// How deep the rows go: the length of a unit's code in the location code (ZLDWDM).
enum class UnitLevel { kCounty = 6, kTownship = 9, kVillage = 12 };

// county, township, village; nullopt for any other name.
std::optional<UnitLevel> UnitLevelByName(std::string_view name);

}  // namespace quilmark
