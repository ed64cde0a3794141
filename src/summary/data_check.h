// The check every run makes of its rows between reading them and writing any figure: patches a
// survey would not accept (a negative area, a 田坎 area above the patch's, a coefficient missing
// on 耕地, values outside the domains the tasks rely on), codes whose digits a floating-point
// field lost, and columns that hold nothing a task can use. Each finding has a kind, a severity,
// a count, the first patches and what to do; an error stops the run before anything is written,
// a warning is said before the completion.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "src/summary/result_table.h"
#include "src/summary/row_task.h"

namespace quilmark {

enum class Severity {
  kWarning,  // said before the completion; the tables are written
  kError,    // stops the run before anything is written
  kColumn,   // an error of the column chosen, not of the data: the command line's usage exit
};

struct Finding {
  std::string kind;  // 负面积, 合计行 ...
  Severity severity = Severity::kWarning;
  int64_t count = 0;               // the patches (or rows) concerned
  std::vector<std::string> first;  // the first few of them, as the source names them
  std::string what;                // what was found and what to do
};

// A finding as one message: severity, kind, count, the first patches and what to do; a finding
// with no count (a task's warning) is its text alone.
std::string FindingText(const Finding& finding);

// The findings as a table of their own (数据检查), one row per finding with its patches.
inline constexpr std::string_view kDataCheckTitle = "数据检查";
ResultTable FindingsTable(const std::vector<Finding>& findings);

// Whether any finding stops the run, and the message that stops it (every finding listed).
bool AnyError(const std::vector<Finding>& findings);
std::string ErrorStopText(const std::vector<Finding>& findings);

// A further field whose values must lie in a domain (QSXZ, CZCSXM): where it sits in
// SourceRow::fields, its name, and the test of a trimmed, non-empty value.
struct FieldDomain {
  size_t field = 0;
  std::string name;
  bool (*valid)(std::string_view value) = nullptr;
  std::string expected;        // the values allowed, as the message names them
  bool cropland_only = false;  // looked at on 耕地 patches only (PDJB, GDLX)
};

// Whether a third-survey class code with a K (可调整) or A (细化) after its four characters is one
// the survey's working classification uses; codes of another form are not judged here.
bool IsSurveyKCode(std::string_view code);
bool IsSurveyACode(std::string_view code);

// The further fields the check reads, where the rows carry them.
struct CheckedFields {
  std::optional<size_t> identifier;    // BSM, which no two patches share
  std::optional<size_t> terrace_area;  // KCMJ
  std::optional<size_t> net_area;      // TBDLMJ, TBMJ less KCMJ
  std::vector<FieldDomain> domains;
};

struct DataCheckSettings {
  bool accept_negative = false;    // --accept-negative: a negative area is a warning only
  bool class_read = false;         // whether a task reads the class column
  bool deduction_read = false;     // whether the rows carry KCXS in SourceRow::deduction
  bool exact_zone_prefix = false;  // --zone-prefix keeps at most 15 characters of each zone
  bool survey_tables = false;      // the survey reports are made from a survey layer
  std::string zone_name, class_name, area_name;  // as a message names the columns
  CheckedFields fields;
};

class DataCheck : public RowSink {
 public:
  explicit DataCheck(DataCheckSettings settings);
  ~DataCheck() override;

  void AddRow(const PatchRow& row) override;

  // Every finding, errors first; `label` names a row by its number ("第 12 行", "FID 7").
  // `hidden`: what a source that summed its patches found among them.
  std::vector<Finding> Findings(const std::function<std::string(int64_t)>& label,
                                const HiddenFaults& hidden = {}) const;

  static constexpr size_t kFirstKept = 5;

 private:
  struct Tally;
  void CheckColumns(const PatchRow& row);
  void CheckAreas(const PatchRow& row);
  void CheckDomains(const PatchRow& row);
  void CheckMarkedCode(const PatchRow& row);
  void AddDuplicates(std::vector<Finding>& findings,
                     const std::function<std::string(int64_t)>& label) const;
  void AddColumnFindings(std::vector<Finding>& findings) const;

  const DataCheckSettings settings_;
  std::vector<Tally> tallies_;
  int64_t rows_ = 0;
  bool any_zone_text_ = false;
  bool any_area_number_ = false;
  int64_t class_numbers_ = 0;  // rows from the first whose class is a number not met before
  bool class_fraction_ = false;
  uint32_t class_ids_ = 0;  // distinct class texts met
  // Each identifier's hash and row, sorted once the rows are in: 16 bytes a patch.
  mutable std::vector<std::pair<uint64_t, int64_t>> identifiers_;
};

}  // namespace quilmark
