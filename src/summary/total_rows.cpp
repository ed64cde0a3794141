#include "src/summary/total_rows.h"

#include <array>
#include <cmath>
#include <variant>

#include "src/host/ascii_text.h"
#include "src/summary/area_check.h"

namespace quilmark {
namespace {

// A sum written by hand or by a formula may differ from the rows' own sum in the last decimal.
constexpr double kSumTolerance = 0.005;
// The most rows a title and header above the data take.
constexpr int kTitleRows = 5;

std::string WithoutBlanks(std::string_view text) {
  std::string kept;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ' ' || text[i] == '\t') continue;
    if (text.substr(i, 3) == "\xE3\x80\x80") {  // the full-width blank U+3000
      i += 2;
      continue;
    }
    kept += text[i];
  }
  return kept;
}

const std::string* TextOf(const std::optional<CellValue>& cell) {
  return cell ? std::get_if<std::string>(&*cell) : nullptr;
}

bool IsBlankCell(const std::optional<CellValue>& cell) {
  if (!cell) return true;
  const std::string* text = TextOf(cell);
  return text != nullptr ? TrimBlanks(*text).empty() : IsEmpty(*cell);
}

}  // namespace

bool IsTotalText(std::string_view text) {
  static constexpr std::array<std::string_view, 4> kWords = {"合计", "总计", "小计", "累计"};
  if (text.find("计") == std::string_view::npos) return false;  // most zones: no copy made
  const std::string kept = WithoutBlanks(text);
  for (std::string_view word : kWords) {
    if (kept.compare(0, word.size(), word) == 0) return true;
  }
  return false;
}

const char* PatchRowsOnly::NotPatch(const SourceRow& row) {
  for (const std::optional<CellValue>* cell : {&row.zone, &row.class_}) {
    const std::string* text = TextOf(*cell);
    if (text != nullptr && IsTotalText(*text)) return "合计";
  }
  if (!sheet_rows_) return nullptr;
  const bool blank_area = IsBlankCell(row.area);
  const bool number_area = row.area && !blank_area && IsPlainNumber(*row.area);
  if (!data_started_) {
    // A merged title holds one text (no class, no area); a header row's area cell is a text
    // without digits (TBMJ, 面积). Anything else, or more rows than a title takes, is data.
    const std::string* area_text = TextOf(row.area);
    const bool title = (blank_area && IsBlankCell(row.class_) && !IsBlankCell(row.zone)) ||
                       (area_text != nullptr && !blank_area && !HasDigit(*area_text));
    data_started_ = !title || ++titles_ > kTitleRows;
    if (!data_started_) return "标题";
  }
  if (number_area && kept_ >= 2 && IsBlankCell(row.zone) && IsBlankCell(row.class_)) {
    const std::optional<double> area = CellNumber(*row.area);
    if (area && *area != 0 && std::fabs(*area - kept_area_) <= kSumTolerance) return "合计";
  }
  return nullptr;
}

bool PatchRowsOnly::Next(SourceRow& row) {
  while (inner_.Next(row)) {
    const char* why = NotPatch(row);
    if (why == nullptr) {
      kept_ += row.patches;
      // Only a worksheet's sum rows are told by their area.
      if (sheet_rows_ && row.area) kept_area_ += CellNumber(*row.area).value_or(0);
      return true;
    }
    ++left_out_;
    if (first_.size() < DataCheck::kFirstKept) {
      first_.push_back(inner_.RowLabel(row.number) + " (" + why + ")");
    }
  }
  return false;
}

std::optional<Finding> PatchRowsOnly::LeftOut(std::string_view area_name) const {
  if (left_out_ == 0) return std::nullopt;
  if (kept_ == 0) {
    return Finding{
        "面积列无数字", Severity::kColumn, left_out_, first_,
        "面积 (" + std::string(area_name) +
            ") 没有一个数字, 每一行都像标题或合计, 没有可统计的图斑。请检查所选的面积列。"};
  }
  return Finding{"非图斑行", Severity::kWarning, left_out_, first_,
                 "这些行是合计、标题或表头, 不是图斑, 已不计入汇总。"};
}

}  // namespace quilmark
