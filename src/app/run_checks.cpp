#include "src/app/run_checks.h"

#include <algorithm>
#include <utility>

#include "src/app/messages.h"
#include "src/app/run_driver.h"
#include "src/report/patch_attributes.h"

namespace quilmark {
namespace {

bool IsOwnershipCode(std::string_view value) { return OwnershipOf(value) != Ownership::kUnknown; }
bool IsUrbanCode(std::string_view value) { return UrbanKindOf(value) != 0; }
// 坡度级别 1-5 (a text field may give "02"); 耕地类型 TT 梯田 or PD 坡地.
bool IsSlopeGrade(std::string_view value) { return SlopePartOf(value, "TT") != kSlopeUnknown; }
bool IsTerraceKind(std::string_view value) { return value == "TT" || value == "PD"; }

// The survey reports' fields whose values the tables sort by: a value outside them would leave
// its patches out of a table (城镇村) or stop the reports without naming them (权属性质).
CheckedFields ReportChecks(const ReportSource* reports) {
  CheckedFields fields;
  if (reports == nullptr) return fields;
  fields.terrace_area = reports->fields.terrace_area;
  fields.net_area = reports->fields.net_area;
  if (reports->fields.ownership) {
    fields.domains.push_back(
        {*reports->fields.ownership, "权属性质 (QSXZ)", IsOwnershipCode, "10、20、30-34、40"});
  }
  if (reports->fields.urban) {
    fields.domains.push_back({*reports->fields.urban, "城镇村属性码 (CZCSXM)", IsUrbanCode,
                              "201-205 及其后加一个字母的形式 (如 203A)"});
  }
  // The slope table reads them on 耕地 only; a value outside them stops it unnamed.
  if (reports->fields.slope) {
    fields.domains.push_back(
        {*reports->fields.slope, "坡度级别 (PDJB)", IsSlopeGrade, "1-5", true});
  }
  if (reports->fields.terrace_kind) {
    fields.domains.push_back({*reports->fields.terrace_kind, "耕地类型 (GDLX)", IsTerraceKind,
                              "TT (梯田)、PD (坡地)", true});
  }
  return fields;
}

DataCheckSettings Settings(const RunOptions& options, bool sheet_rows,
                           const CheckedColumns& columns) {
  DataCheckSettings settings;
  settings.accept_negative = options.AcceptNegative;
  settings.class_read = columns.class_read;
  settings.deduction_read = columns.deduction_read;
  // The reports key their rows by the whole code: no prefix applies to them.
  settings.exact_zone_prefix =
      options.ListReports.empty() && options.ZonePrefix > 0 && options.ZonePrefix <= 15;
  settings.zone_name = "区域 (" + columns.zone + ")";
  settings.class_name = "地类 (" + columns.class_ + ")";
  settings.area_name = "面积 (" + columns.area + ")";
  settings.fields = ReportChecks(columns.reports);
  settings.survey_tables = columns.reports != nullptr;
  settings.fields.identifier = columns.identifier;
  return settings;
}

// A warning a task or the area check gave as a message, as a finding of the table; its message
// stays as it was.
Finding TextFinding(std::string kind, std::string text) {
  return {std::move(kind), Severity::kWarning, 0, {}, std::move(text)};
}

}  // namespace

RunChecks::RunChecks(const RunOptions& options, RowSource& rows, bool sheet_rows,
                     const CheckedColumns& columns)
    : rows_(rows),
      patches_(rows, sheet_rows),
      area_(sheet_rows ? AreaCheck::kFirstRowMayBeTitle : AreaCheck::kEveryRowIsData),
      data_(Settings(options, sheet_rows, columns)),
      area_name_(columns.area) {}

std::vector<Finding> RunChecks::Findings(const std::vector<std::string>& task_warnings) const {
  std::vector<Finding> findings =
      data_.Findings([this](int64_t number) { return rows_.RowLabel(number); }, rows_.Hidden());
  if (std::optional<Finding> left_out = patches_.LeftOut(area_name_)) {
    findings.push_back(*left_out);
  }
  if (area_.odd_count() > 0) {
    std::vector<std::string> first;
    for (const AreaCheck::OddCell& cell : area_.first_odd()) {
      first.push_back(rows_.RowLabel(cell.row) + " \"" + cell.text + "\" 计为 " +
                      NumberText(cell.counted));
    }
    findings.push_back(
        TextFinding("面积不是纯数字", OddAreasText(area_.odd_count(), area_.odd_area(), first)));
  }
  for (const std::string& warning : task_warnings) {
    findings.push_back(TextFinding("地类编码", warning));
  }
  std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
    return (a.severity != Severity::kWarning) > (b.severity != Severity::kWarning);
  });
  return findings;
}

void StopOnErrors(const std::vector<Finding>& findings) {
  if (!AnyError(findings)) return;
  bool column = false;
  std::vector<Finding> errors;
  for (const Finding& finding : findings) {
    if (finding.severity == Severity::kWarning) continue;
    column = column || finding.severity == Severity::kColumn;
    errors.push_back(finding);
  }
  throw DataStop{column, ErrorStopText(errors)};
}

std::vector<std::string> FindingTexts(const std::vector<Finding>& findings) {
  std::vector<std::string> texts;
  for (const Finding& finding : findings) texts.push_back(FindingText(finding));
  return texts;
}

}  // namespace quilmark
