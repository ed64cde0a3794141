// The one pass of the survey tables: every patch's area, net of its 田坎 share, summed by the
// smallest unit the tables show, its level-2 column, its 三大类, ownership, 城镇村 attribute and
// slope part. Every table is built from these sums afterwards, so one pass serves them all.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

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
};

// The patches' area (in square metres) of one combination.
struct ReportPart {
  uint32_t unit = 0;    // index into ReportSums::units()
  uint16_t column = 0;  // level-2 column; kUnknownColumn for a code the classification lacks
  uint8_t major = 0;    // 三大类; 3 where the code has none
  uint8_t ownership = 0;
  uint8_t urban = 0;
  uint8_t slope = 0;
  double area = 0;
};

inline constexpr uint16_t kUnknownColumn = 0xffff;
inline constexpr uint8_t kUnknownMajor = 3;

class ReportSums : public RowSink {
 public:
  ReportSums(UnitLevel level, ReportFields fields) : level_(level), fields_(fields) {}

  void AddRow(const PatchRow& row) override;

  // The smallest units met, their codes cut to the level (a shorter code stays whole), in the
  // order first met; and the name the layer gave each (empty where none).
  const std::vector<std::string>& units() const { return units_; }
  const std::vector<std::string>& unit_names() const { return unit_names_; }
  // Every combination met, in no particular order.
  std::vector<ReportPart> Parts() const;
  // The class codes the classification did not know, with their area.
  const std::map<std::string, double>& unknown_codes() const { return unknown_codes_; }

 private:
  struct ClassIds {
    uint16_t column;
    uint8_t major;
  };
  uint32_t UnitOf(const PatchRow& row);
  ClassIds ClassOf(const PatchRow& row);
  void Add(uint32_t unit, ClassIds cls, uint8_t ownership, uint8_t urban, uint8_t slope,
           double area);

  const UnitLevel level_;
  const ReportFields fields_;
  std::vector<std::string> units_;
  std::vector<std::string> unit_names_;
  std::unordered_map<std::string, uint32_t> unit_ids_;
  std::vector<int64_t> unit_of_zone_;                 // by the run's zone id; -1 not yet seen
  std::vector<std::optional<ClassIds>> class_of_id_;  // by the run's class id
  std::unordered_map<uint64_t, double> sums_;
  std::map<std::string, double> unknown_codes_;
  std::string buffer_;
};

}  // namespace quilmark
