#include "src/app/report_layer.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "src/report/report_kinds.h"

namespace quilmark {
namespace {

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

// A field chosen by name or by its 1-based number, as the layer source chooses it.
bool HasField(const std::vector<std::string>& fields, const std::string& choice) {
  if (std::any_of(fields.begin(), fields.end(),
                  [&](const std::string& field) { return SameName(field, choice); })) {
    return true;
  }
  if (choice.empty() || !std::all_of(choice.begin(), choice.end(), ::isdigit)) return false;
  const size_t number = std::stoul(choice);
  return number >= 1 && number <= fields.size();
}

}  // namespace

bool HasLayerField(const std::vector<std::string>& fields, const std::string& choice) {
  return HasField(fields, choice);
}

namespace {

std::string MissingText(ReportKind kind, const std::string& field, const char* what,
                        const char* option, const std::vector<std::string>& fields,
                        const std::string& layer) {
  std::string list;
  for (const std::string& name : fields) list += (list.empty() ? "" : ", ") + name;
  return "统计报表 " + std::string(ReportInfoOf(kind).title) + " 需要" + what + "字段 " + field +
         ", 图层 " + layer + " 没有这个字段; 请用 " + option + " 指定字段名。图层的字段是: " + list;
}

// A further field a table needs.
struct Needed {
  ReportKind table;
  std::string RunOptions::*choice;
  std::optional<size_t> ReportFields::*slot;
  const char* what;
  const char* option;
};

const Needed kNeeded[] = {
    {ReportKind::kOwnership, &RunOptions::TextQSXZColumn, &ReportFields::ownership, "权属性质",
     "--ownership-column"},
    {ReportKind::kUrban, &RunOptions::TextCZCSXMColumn, &ReportFields::urban, "城镇村属性码",
     "--urban-column"},
    {ReportKind::kSlope, &RunOptions::TextPDJBColumn, &ReportFields::slope, "坡度级别",
     "--slope-column"},
    {ReportKind::kSlope, &RunOptions::TextGDLXColumn, &ReportFields::terrace_kind, "耕地类型",
     "--terrace-column"},
};

}  // namespace

std::variant<ReportFields, std::string> ChooseReportFields(const RunOptions& options,
                                                           const std::vector<std::string>& fields,
                                                           const std::string& layer,
                                                           LayerRequest& request) {
  const std::vector<ReportKind> kinds =
      ParseReportList(options.ListReports).value_or(std::vector<ReportKind>{});
  if (kinds.empty()) return ReportFields{};
  const ReportKind first = kinds.front();
  const auto add = [&](const std::string& field) {
    request.extra_fields.push_back(field);
    return request.extra_fields.size() - 1;
  };
  const std::pair<const std::string*, std::pair<const char*, const char*>> basics[] = {
      {&request.zone_field, {"坐落单位代码", "--zone-column"}},
      {&*request.class_field, {"地类编码", "--class-column"}}};
  for (const auto& [field, naming] : basics) {
    if (!HasField(fields, *field)) {
      return MissingText(first, *field, naming.first, naming.second, fields, layer);
    }
  }
  ReportFields chosen;
  // The 田坎 area where the layer has it; else the coefficient.
  const std::string coefficient = options.TextKCXSColumn.empty() ? "KCXS" : options.TextKCXSColumn;
  if (HasField(fields, "KCMJ")) {
    chosen.terrace_area = add("KCMJ");
    // The coefficient beside it is read too, so that the data check can hold one against the
    // other; the tables take KCMJ wherever it is given.
    request.deduction_field.reset();
    if (HasField(fields, coefficient)) request.deduction_field = coefficient;
  } else {
    if (!HasField(fields, coefficient)) {
      return MissingText(first, "KCMJ 或 " + coefficient, "田坎面积或田坎系数",
                         "--deduction-column", fields, layer);
    }
    request.deduction_field = coefficient;
  }
  for (const Needed& needed : kNeeded) {
    if (std::find(kinds.begin(), kinds.end(), needed.table) == kinds.end()) continue;
    std::string field = options.*needed.choice;
    if (field == "GDPDJB" && !HasField(fields, field) && HasField(fields, "PDJB")) field = "PDJB";
    if (!HasField(fields, field)) {
      return MissingText(needed.table, field, needed.what, needed.option, fields, layer);
    }
    chosen.*needed.slot = add(field);
  }
  const std::string name_field = SameName(request.zone_field, "QSDWDM") ? "QSDWMC" : "ZLDWMC";
  // The name field names the villages; townships and counties take theirs from --zone-names.
  if (options.ListReportLevel == "village" && HasField(fields, name_field)) {
    chosen.unit_name = add(name_field);
  }
  // The patch's own area less its 田坎, which the data check holds against TBMJ and KCMJ.
  if (chosen.terrace_area && HasField(fields, "TBDLMJ")) chosen.net_area = add("TBDLMJ");
  return chosen;
}

}  // namespace quilmark
