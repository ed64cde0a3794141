#include "src/summary/data_check.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <variant>

#include "src/host/ascii_text.h"
#include "src/summary/area_check.h"

namespace quilmark {

// What one kind of finding has gathered: how many, the first rows, and (for a domain) the first
// values met outside it.
struct DataCheck::Tally {
  Tally(std::string kind_, Severity severity_, std::string what_)
      : kind(std::move(kind_)), severity(severity_), what(std::move(what_)) {}

  std::string kind;
  Severity severity = Severity::kWarning;
  std::string what;
  int64_t count = 0;
  std::vector<int64_t> first;
  std::vector<std::string> values;

  void Add(int64_t row, int64_t patches, std::string_view value = {}) {
    count += patches;
    if (first.size() < kFirstKept) first.push_back(row);
    if (!value.empty() && values.size() < kFirstKept &&
        std::find(values.begin(), values.end(), value) == values.end()) {
      values.emplace_back(value);
    }
  }
};

namespace {

// The tallies in the order of tallies_; the domains' follow.
enum TallyIndex : size_t {
  kNegativeArea,
  kLongCode,
  kTerraceAboveArea,
  kTerraceMissing,
  kCoefficientMissing,
  kTerraceDisagrees,
  kNetAreaDisagrees,
  kUnknownKCode,
  kUnknownACode,
  kFixedTallies,
};

// The survey's tolerance between KCMJ and TBMJ x KCXS, in the layer's area unit.
constexpr double kTerraceTolerance = 0.01;

bool IsText(const std::optional<CellValue>& cell) {
  if (!cell) return false;
  if (const std::string* text = std::get_if<std::string>(&*cell)) return !TrimBlanks(*text).empty();
  return false;
}

bool IsBlank(const std::optional<CellValue>& cell) {
  if (!cell) return true;
  if (const std::string* text = std::get_if<std::string>(&*cell)) return TrimBlanks(*text).empty();
  return IsEmpty(*cell);
}

std::optional<double> FieldNumber(const PatchRow& row, std::optional<size_t> field) {
  if (!field || *field >= row.cells.fields.size()) return std::nullopt;
  const std::optional<CellValue>& cell = row.cells.fields[*field];
  if (IsBlank(cell)) return std::nullopt;
  return CellNumber(*cell);
}

// 耕地 in the third survey (0101-0103) and the second (011-013).
bool IsCropland(const std::optional<std::string_view>& class_text) {
  return class_text && class_text->size() >= 3 && class_text->substr(0, 2) == "01";
}

// The third survey's working classification (TD/T 1055-2019 附录A 表A.2): the codes it marks
// 可调整 with a K, and the codes it refines (细化) with an A. Every other class takes neither.
constexpr std::string_view kSurveyKBases[] = {"0201", "0202", "0203", "0204", "0301",
                                              "0302", "0307", "0403", "1104"};
constexpr std::string_view kSurveyABases[] = {"08H2", "0810", "1104", "1107"};

// A code of the third survey's form, four characters (digits, an H third) and the mark after.
bool HasSurveyMark(std::string_view code, char mark) {
  if (code.size() != 5 || code.back() != mark) return false;
  for (size_t i = 0; i < 4; ++i) {
    const char c = code[i];
    if (!(c >= '0' && c <= '9') && !(i == 2 && c == 'H')) return false;
  }
  return true;
}

Finding DuplicateFinding() {
  return {"标识码重复",
          Severity::kError,
          0,
          {},
          "多个图斑的标识码 (BSM) 相同, 同一图斑可能被计入了两次 (多个数据源重叠, 或图层中"
          "有重复的要素)。请删去重复的图斑后重新统计。"};
}

const char* SeverityName(Severity severity) {
  return severity == Severity::kWarning ? "警告" : "错误";
}

std::string JoinFirst(const std::vector<std::string>& first, int64_t count) {
  std::string text;
  for (const std::string& label : first) text += (text.empty() ? "" : "、") + label;
  if (count > static_cast<int64_t>(first.size())) text += " 等";
  return text;
}

}  // namespace

bool IsSurveyKCode(std::string_view code) {
  if (!HasSurveyMark(code, 'K')) return true;
  return std::find(std::begin(kSurveyKBases), std::end(kSurveyKBases), code.substr(0, 4)) !=
         std::end(kSurveyKBases);
}

bool IsSurveyACode(std::string_view code) {
  if (!HasSurveyMark(code, 'A')) return true;
  return std::find(std::begin(kSurveyABases), std::end(kSurveyABases), code.substr(0, 4)) !=
         std::end(kSurveyABases);
}

DataCheck::DataCheck(DataCheckSettings settings) : settings_(std::move(settings)) {
  const std::string area = settings_.area_name;
  tallies_ = {
      {"负面积", settings_.accept_negative ? Severity::kWarning : Severity::kError,
       area + "小于 0, 汇总会把它从所在区域和地类的面积中减去。请核对面积; 确需照此统计时加 "
              "--accept-negative 后重新统计。"},
      {"长编码存成了浮点数", Severity::kError,
       settings_.zone_name + "是超过 15 位的数字, 存成浮点数后末几位已丢失, 不同的区域可能被"
                             "并成一个不存在的编码。请把该字段存为文本, 或用 --zone-prefix "
                             "只取前面准确的几位 (如 9 位到乡镇) 后重新统计。"},
      {"扣除面积大于图斑面积", Severity::kError,
       "扣除地类面积 (KCMJ) 小于 0 或大于图斑面积, 图斑地类面积成了负数。请核对 KCMJ 和图斑面积。"},
      {"缺扣除面积", Severity::kError,
       "扣除地类系数 (KCXS) 大于 0 而扣除地类面积 (KCMJ) 为空, 会按 0 计, 田坎面积偏少。"
       "请补上 KCMJ (图斑面积 × KCXS) 后重新统计。"},
      {"耕地缺扣除系数", Severity::kError,
       "耕地图斑的扣除地类系数 (KCXS) 为空, 会按 0 计, 不扣除田坎。请补上系数 (平地为 0) 后"
       "重新统计。"},
      {"扣除面积与系数不符", Severity::kWarning,
       "扣除地类面积 (KCMJ) 与图斑面积 × 扣除地类系数 (KCXS) 相差超过 0.01。汇总按 KCMJ 计, "
       "请核对。"},
      {"图斑地类面积不符", Severity::kWarning,
       "图斑地类面积 (TBDLMJ) 与图斑面积减扣除地类面积 (TBMJ − KCMJ) 相差超过 0.01。汇总按 TBMJ "
       "和 KCMJ 计, 请核对。"},
      {"可调整地类编码", Severity::kWarning,
       settings_.class_name + "有带 K 的编码, 而三调工作分类只在 0201-0204、0301、0302、0307、"
                              "0403、1104 后加 K。汇总按去掉 K 的地类计, 请核对这些编码。"},
      {"细化地类编码", Severity::kWarning,
       settings_.class_name + "有带 A 的编码, 而三调工作分类只细化 08H2A、0810A、1104A、1107A。"
                              "汇总按去掉 A 的地类计, 请核对这些编码。"},
  };
  for (const FieldDomain& domain : settings_.fields.domains) {
    tallies_.push_back({domain.name + " 值域", Severity::kError,
                        domain.name + " 的值不在 " + domain.expected +
                            " 之中, 这些图斑不会计入相应的表。请改正这些值后重新统计。"});
  }
}

DataCheck::~DataCheck() = default;

void DataCheck::AddRow(const PatchRow& row) {
  ++rows_;
  CheckColumns(row);
  CheckAreas(row);
  if (!settings_.fields.domains.empty()) CheckDomains(row);
  if (settings_.class_read) CheckMarkedCode(row);
  const std::optional<size_t> id = settings_.fields.identifier;
  if (id && *id < row.cells.fields.size() && !IsBlank(row.cells.fields[*id])) {
    const std::optional<CellValue>& cell = row.cells.fields[*id];
    const std::string* text = std::get_if<std::string>(&*cell);
    const uint64_t hash = text != nullptr ? std::hash<std::string_view>{}(TrimBlanks(*text))
                                          : std::hash<std::string>{}(CellText(*cell));
    identifiers_.emplace_back(hash, row.cells.number);
  }
}

// Patches sharing an identifier: every one after the first of its identifier counts. Equal
// hashes of different texts (one chance in 2^64 a pair) would be taken for a duplicate.
void DataCheck::AddDuplicates(std::vector<Finding>& findings,
                              const std::function<std::string(int64_t)>& label) const {
  std::sort(identifiers_.begin(), identifiers_.end());
  Finding finding = DuplicateFinding();
  for (size_t i = 1; i < identifiers_.size(); ++i) {
    if (identifiers_[i].first != identifiers_[i - 1].first) continue;
    ++finding.count;
    if (finding.first.size() < kFirstKept) finding.first.push_back(label(identifiers_[i].second));
  }
  if (finding.count > 0) findings.push_back(std::move(finding));
}

// What tells a column chosen wrongly: zone and class cells, the area's numbers.
void DataCheck::CheckColumns(const PatchRow& row) {
  const std::optional<CellValue>& zone = row.cells.zone;
  if (!any_zone_text_ && zone) {
    const double* number = std::get_if<double>(&*zone);
    // A whole number is a code kept as a number; one with a fraction is no zone (an area).
    any_zone_text_ = IsText(zone) || (number != nullptr && *number == std::floor(*number));
  }
  // A prefix of at most 15 characters keeps only digits a floating-point value holds exactly.
  const bool lost = row.cells.inexact_zone || (zone && std::holds_alternative<double>(*zone) &&
                                               LosesDigits(std::get<double>(*zone)));
  if (lost && !settings_.exact_zone_prefix) {
    tallies_[kLongCode].Add(row.cells.number, row.cells.patches);
  }
  if (!any_area_number_ && row.cells.area) {
    any_area_number_ = IsPlainNumber(*row.cells.area) || row.area.value_or(0) != 0;
  }
  // Every class so far a different number: looked at only while that holds (codes soon repeat).
  if (row.class_text && class_numbers_ == rows_ - 1) {
    class_ids_ = std::max(class_ids_, row.class_id + 1);
    const std::optional<CellValue>& cell = row.cells.class_;
    if (cell && class_ids_ == rows_ && IsPlainNumber(*cell)) {
      ++class_numbers_;
      const double number = CellNumber(*cell).value_or(0);
      class_fraction_ = class_fraction_ || number != std::floor(number);
    }
  }
}

void DataCheck::CheckAreas(const PatchRow& row) {
  const int64_t number = row.cells.number;
  if (row.area && *row.area < 0) tallies_[kNegativeArea].Add(number, row.cells.patches);
  if (row.cells.patches != 1 || !row.area) return;  // a group's sums are checked by its server
  const std::optional<double> terrace = FieldNumber(row, settings_.fields.terrace_area);
  if (terrace && (*terrace < 0 || *terrace > *row.area + kTerraceTolerance)) {
    tallies_[kTerraceAboveArea].Add(number, 1);
  }
  const std::optional<double> net = FieldNumber(row, settings_.fields.net_area);
  if (terrace && net && std::fabs(*net - (*row.area - *terrace)) > kTerraceTolerance) {
    tallies_[kNetAreaDisagrees].Add(number, 1);
  }
  if (!settings_.deduction_read) return;
  const std::optional<CellValue>& cell = row.cells.deduction;
  const std::optional<double> coefficient = IsBlank(cell) ? std::nullopt : CellNumber(*cell);
  if (!coefficient) {
    // A survey layer's 耕地 patch always has a coefficient, or its 田坎 area in KCMJ. Elsewhere
    // an empty coefficient is 0 by the column's own rule (a worksheet's, a land-use run's).
    if (settings_.survey_tables && !terrace && IsCropland(row.class_text)) {
      tallies_[kCoefficientMissing].Add(number, 1);
    }
    return;
  }
  if (!settings_.fields.terrace_area || *coefficient <= 0) return;
  if (!terrace) {
    tallies_[kTerraceMissing].Add(number, 1);
  } else if (std::fabs(*terrace - *row.area * *coefficient) > kTerraceTolerance) {
    tallies_[kTerraceDisagrees].Add(number, 1);
  }
}

void DataCheck::CheckDomains(const PatchRow& row) {
  std::string buffer;
  for (size_t i = 0; i < settings_.fields.domains.size(); ++i) {
    const FieldDomain& domain = settings_.fields.domains[i];
    if (domain.field >= row.cells.fields.size()) continue;
    const std::optional<CellValue>& cell = row.cells.fields[domain.field];
    if (IsBlank(cell)) continue;  // an empty value is the tables' own "unknown"
    if (domain.cropland_only && !IsCropland(row.class_text)) continue;
    buffer = CellText(*cell);
    if (!domain.valid(buffer)) {
      tallies_[kFixedTallies + i].Add(row.cells.number, row.cells.patches, buffer);
    }
  }
}

// A K or A the survey never puts after the code: the tables count the patch in its base class.
void DataCheck::CheckMarkedCode(const PatchRow& row) {
  if (!row.class_text || row.class_text->size() != 5) return;
  const std::string_view code = *row.class_text;
  if (!IsSurveyKCode(code)) tallies_[kUnknownKCode].Add(row.cells.number, row.cells.patches, code);
  if (!IsSurveyACode(code)) tallies_[kUnknownACode].Add(row.cells.number, row.cells.patches, code);
}

// Columns that hold nothing a task can use: they stop the run as a wrong column number does.
void DataCheck::AddColumnFindings(std::vector<Finding>& findings) const {
  if (rows_ == 0) return;
  if (!any_zone_text_) {
    findings.push_back({"区域列无文字",
                        Severity::kColumn,
                        rows_,
                        {},
                        settings_.zone_name + "没有一个可作区域的值 (全空, 或全是带小数的数字)。"
                                              "请检查所选的区域列。"});
  }
  if (!any_area_number_) {
    findings.push_back({"面积列无数字",
                        Severity::kColumn,
                        rows_,
                        {},
                        settings_.area_name + "没有一个数字。请检查所选的面积列。"});
  }
  // Every class a different number: an area or an identifier chosen as the class column.
  const bool all_numbers = class_numbers_ == rows_;
  if (settings_.class_read && all_numbers && rows_ > 1 && (class_fraction_ || rows_ >= 50)) {
    findings.push_back({"地类列全是不同的数字",
                        Severity::kColumn,
                        rows_,
                        {},
                        settings_.class_name +
                            "每个值都是不同的数字, 不像地类编码 (像面积或标识码)。"
                            "请检查所选的地类列。"});
  }
}

std::vector<Finding> DataCheck::Findings(const std::function<std::string(int64_t)>& label,
                                         const HiddenFaults& hidden) const {
  std::vector<Finding> findings;
  AddColumnFindings(findings);
  for (size_t i = 0; i < tallies_.size(); ++i) {
    const Tally& tally = tallies_[i];
    Finding finding{tally.kind, tally.severity, tally.count, {}, tally.what};
    // A class code is named by its value: a source that sums its patches has no row to name.
    const bool by_value = i == kUnknownKCode || i == kUnknownACode;
    if (!by_value) {
      for (int64_t row : tally.first) finding.first.push_back(label(row));
    }
    // A source that summed its patches counted these over all of them, its groups included.
    if (hidden.checked && (i == kNegativeArea || i == kLongCode)) {
      const bool negative = i == kNegativeArea;
      const bool applies = negative || !settings_.exact_zone_prefix;
      finding.count = !applies ? 0 : negative ? hidden.negative_area : hidden.inexact_zone;
      finding.first = negative ? hidden.negative_first : hidden.inexact_first;
    }
    if (finding.count == 0) continue;
    if (!tally.values.empty()) {
      finding.what +=
          " 这些值有: " + JoinFirst(tally.values, static_cast<int64_t>(tally.values.size())) + "。";
    }
    findings.push_back(std::move(finding));
  }
  if (settings_.fields.identifier) AddDuplicates(findings, label);
  if (hidden.checked && hidden.duplicate_identifier > 0) {
    Finding finding = DuplicateFinding();
    finding.count = hidden.duplicate_identifier;
    finding.first = hidden.duplicate_first;
    findings.push_back(std::move(finding));
  }
  std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
    return (a.severity != Severity::kWarning) > (b.severity != Severity::kWarning);
  });
  return findings;
}

std::string FindingText(const Finding& finding) {
  if (finding.count == 0 && finding.first.empty()) return finding.what;  // a message of its own
  std::string text = std::string(SeverityName(finding.severity)) + " " + finding.kind + ": ";
  if (finding.count > 0) text += std::to_string(finding.count) + " 处";
  if (!finding.first.empty()) text += " (" + JoinFirst(finding.first, finding.count) + ")";
  return text + (finding.count > 0 ? "。" : "") + finding.what;
}

bool AnyError(const std::vector<Finding>& findings) {
  return std::any_of(findings.begin(), findings.end(),
                     [](const Finding& f) { return f.severity != Severity::kWarning; });
}

std::string ErrorStopText(const std::vector<Finding>& findings) {
  std::string text = "数据检查发现错误, 统计未完成, 没有写入任何结果:";
  for (const Finding& finding : findings) text += "\n" + FindingText(finding);
  return text;
}

ResultTable FindingsTable(const std::vector<Finding>& findings) {
  ResultTable table;
  table.name = std::string(kDataCheckTitle);
  table.header_rows = 1;
  table.cells.push_back({std::string("检查项"), std::string("严重程度"), std::string("数量"),
                         std::string("最先的图斑"), std::string("说明和处理办法")});
  for (const Finding& f : findings) {
    table.cells.push_back({f.kind, std::string(SeverityName(f.severity)),
                           f.count > 0 ? CellValue{static_cast<double>(f.count)} : CellValue{},
                           JoinFirst(f.first, f.count), f.what});
  }
  table.count_columns = {2};
  return table;
}

}  // namespace quilmark
