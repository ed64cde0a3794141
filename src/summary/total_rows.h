// Rows that are no patches although they stand among them: a 合计 row at the bottom of a sheet
// (its area is the sum of the rows above, so the grand total would double), and on a worksheet
// the title and header rows above the data (a merged title, ZLDWDM / DLBM / TBMJ), which would
// become zones and classes of their own. The run leaves them out and says which.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "src/host/row_source.h"
#include "src/summary/data_check.h"

namespace quilmark {

// Whether a zone or class text names a total row: 合计, 总计, 小计 or 累计 at its start, blanks
// (full-width ones too) anywhere ignored.
bool IsTotalText(std::string_view text);

// The rows of `inner` that are patches. Every source leaves out rows whose zone or class says
// 合计 (IsTotalText). A worksheet also leaves out its first rows while they are titles (one text in
// the zone column, no class, no area) or headers (an area text without digits), five at most,
// and a row without zone and class whose area equals, within 0.005, the sum of two or more rows
// above it.
class PatchRowsOnly final : public RowSource {
 public:
  PatchRowsOnly(RowSource& inner, bool sheet_rows) : inner_(inner), sheet_rows_(sheet_rows) {}

  bool Next(SourceRow& row) override;
  std::string RowLabel(int64_t number) const override { return inner_.RowLabel(number); }
  bool RewriteZone(const SourceRow& row, std::string_view text) override {
    return inner_.RewriteZone(row, text);
  }
  int64_t RowCount() const override { return inner_.RowCount(); }
  bool ReadAhead() const override { return inner_.ReadAhead(); }

  // The rows left out, as a warning naming the first of them and why; nullopt when none was.
  // Where every row was left out, the area column holds no patch's area: a column chosen wrongly.
  std::optional<Finding> LeftOut(std::string_view area_name) const;

 private:
  // Why the row is no patch ("合计", "标题"); nullptr when it is one.
  const char* NotPatch(const SourceRow& row);

  RowSource& inner_;
  const bool sheet_rows_;
  bool data_started_ = false;  // a row that is no title has come
  int titles_ = 0;             // title rows so far
  int64_t kept_ = 0;           // patches kept so far
  double kept_area_ = 0;       // their area
  int64_t left_out_ = 0;
  std::vector<std::string> first_;
};

}  // namespace quilmark
