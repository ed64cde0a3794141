// The survey tables as one task of the run: its one pass sums the patches (ReportSums), and its
// tables are the chosen reports, refused as a whole when they contradict each other.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "src/report/report_figures.h"
#include "src/report/report_kinds.h"
#include "src/report/report_sums.h"
#include "src/report/report_tables.h"
#include "src/report/unit_rows.h"
#include "src/summary/row_task.h"

namespace quilmark {

struct ReportSettings {
  std::vector<ReportKind> kinds;
  UnitLevel level = UnitLevel::kTownship;
  ReportFields fields;
  std::unordered_map<std::string, std::string> zone_names;  // code -> name (--zone-names)
  SignOff sign_off;
};

class ReportTask : public RowTask {
 public:
  explicit ReportTask(ReportSettings settings);

  void AddRow(const PatchRow& row) override {
    figures_.reset();
    sums_.AddRow(row);
  }
  TableShape Shape() const override { return Shapes().front(); }
  ResultTable Table() const override { return Tables().front(); }
  std::vector<TableShape> Shapes() const override;
  std::vector<ResultTable> Tables() const override;
  std::optional<std::string> Refusal() const override;
  std::vector<std::string> Notices() const override;

 private:
  const ReportFigures& Figures() const;
  std::vector<UnitRow> Rows() const;

  const ReportSettings settings_;
  ReportSums sums_;
  mutable std::optional<ReportFigures> figures_;  // once every row is in
};

}  // namespace quilmark
