// The one pass of the survey tables: every patch's area, net of its 田坎 share, summed by the
// smallest unit the tables show and its level-2 column, and within that by 三大类, ownership,
// 城镇村 attribute and slope part. Every table is built from these sums afterwards, so one pass
// serves them all; no table needs two of those attributes at once, so each is summed on its own.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "src/report/patch_attributes.h"
#include "src/report/report_kinds.h"
#include "src/summary/row_task.h"

namespace quilmark {

// Where the further fields sit in SourceRow::fields; nullopt where the source does not have it.
struct ReportFields {
  std::optional<size_t> terrace_area;  // KCMJ
  std::optional<size_t> ownership;     // QSXZ
  std::optional<size_t> urban;         // CZCSXM
  std::optional<size_t> slope;         // PDJB
  std::optional<size_t> terrace_kind;  // GDLX
  std::optional<size_t> unit_name;     // ZLDWMC
  std::optional<size_t> net_area;      // TBDLMJ, read for the data check only
};

inline constexpr size_t kMajorKinds = 4;  // 农用地, 建设用地, 未利用地, none
inline constexpr uint8_t kUnknownMajor = 3;

// The area (square metres) of one unit's patches in one column, and its split by each attribute.
struct ColumnSums {
  double area = 0;
  std::array<double, kMajorKinds> major{};
  std::array<double, kOwnershipKinds> ownership{};
  std::array<double, kUrbanKinds> urban{};
  std::array<double, kSlopeParts> slope{};
};

class ReportSums : public RowSink {
 public:
  ReportSums(UnitLevel level, ReportFields fields) : level_(level), fields_(fields) {}

  void AddRow(const PatchRow& row) override;

  // The smallest units met, their codes cut to the level (a shorter code stays whole), in the
  // order first met; and the name the layer gave each village (empty where none).
  const std::vector<std::string>& units() const { return units_; }
  const std::vector<std::string>& unit_names() const { return unit_names_; }
  // [unit][column]: the level-2 columns, and last the codes the classification does not know.
  const std::vector<std::vector<ColumnSums>>& sums() const { return sums_; }
  // The class codes the classification did not know, with their area.
  const std::map<std::string, double>& unknown_codes() const { return unknown_codes_; }

 private:
  struct ClassIds {
    uint16_t column;
    uint8_t major;
  };
  uint32_t UnitOf(const PatchRow& row);
  ClassIds ClassOf(const PatchRow& row);
  std::string_view Text(const PatchRow& row, std::optional<size_t> field, size_t buffer);
  Ownership OwnershipOfText(std::string_view qsxz);

  const UnitLevel level_;
  const ReportFields fields_;
  std::vector<std::string> units_;
  std::vector<std::string> unit_names_;
  std::unordered_map<std::string, uint32_t> unit_ids_;
  std::vector<int64_t> unit_of_zone_;  // by the run's zone id + 1 (0: no zone); -1 not yet seen
  std::vector<std::optional<ClassIds>> class_of_id_;            // by the run's class id
  std::vector<std::pair<uint64_t, Ownership>> ownership_seen_;  // the few QSXZ codes met, packed
  std::vector<std::vector<ColumnSums>> sums_;
  std::map<std::string, double> unknown_codes_;
  std::array<std::string, 6> buffers_;  // texts of cells that are not texts
};

}  // namespace quilmark
