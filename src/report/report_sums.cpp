#include "src/report/report_sums.h"

#include "src/report/patch_attributes.h"
#include "src/report/report_columns.h"
#include "src/summary/row_feed.h"

namespace quilmark {
namespace {

// The combination as one key: unit (32 bits), column (16), 三大类, ownership, 城镇村, slope.
uint64_t Key(uint32_t unit, uint16_t column, uint8_t major, uint8_t ownership, uint8_t urban,
             uint8_t slope) {
  return uint64_t{unit} << 32 | uint64_t{column} << 16 | uint64_t{major} << 12 |
         uint64_t{ownership} << 10 | uint64_t{urban} << 6 | slope;
}

const std::optional<CellValue>* Field(const PatchRow& row, std::optional<size_t> index) {
  if (!index || *index >= row.cells.fields.size()) return nullptr;
  return &row.cells.fields[*index];
}

std::optional<double> FieldNumber(const PatchRow& row, std::optional<size_t> index) {
  const std::optional<CellValue>* cell = Field(row, index);
  if (cell == nullptr || !*cell || IsEmpty(**cell)) return std::nullopt;
  return CellNumber(**cell);
}

}  // namespace

uint32_t ReportSums::UnitOf(const PatchRow& row) {
  const uint32_t zone_id = row.zone ? row.zone_id : 0;
  if (zone_id >= unit_of_zone_.size()) unit_of_zone_.resize(zone_id + 1, -1);
  if (unit_of_zone_[zone_id] < 0) {
    const std::string_view zone = row.zone.value_or(std::string_view());
    const std::string code(zone.substr(0, static_cast<size_t>(level_)));
    auto [found, added] = unit_ids_.try_emplace(code, static_cast<uint32_t>(units_.size()));
    if (added) {
      units_.push_back(code);
      unit_names_.emplace_back();
    }
    unit_of_zone_[zone_id] = found->second;
  }
  const auto unit = static_cast<uint32_t>(unit_of_zone_[zone_id]);
  // A unit's name is the first one the layer gives it. The layer names villages (ZLDWMC), so a
  // township or county takes its name from the names table alone.
  if (level_ == UnitLevel::kVillage && unit_names_[unit].empty()) {
    if (const std::optional<CellValue>* name = Field(row, fields_.unit_name); name && *name) {
      if (std::optional<std::string_view> text = RowText(*name, buffer_)) {
        unit_names_[unit] = std::string(*text);
      }
    }
  }
  return unit;
}

ReportSums::ClassIds ReportSums::ClassOf(const PatchRow& row) {
  const std::string_view code = row.class_text.value_or(std::string_view());
  const uint32_t id = row.class_text ? row.class_id : 0;
  if (!row.class_text) return {kUnknownColumn, kUnknownMajor};
  if (id >= class_of_id_.size()) class_of_id_.resize(id + 1);
  if (!class_of_id_[id]) {
    const std::optional<size_t> column = Level2ColumnOf(code);
    const std::optional<size_t> major = MajorClassOf(code);
    class_of_id_[id] = ClassIds{column ? static_cast<uint16_t>(*column) : kUnknownColumn,
                                major ? static_cast<uint8_t>(*major) : kUnknownMajor};
  }
  return *class_of_id_[id];
}

void ReportSums::Add(uint32_t unit, ClassIds cls, uint8_t ownership, uint8_t urban, uint8_t slope,
                     double area) {
  sums_[Key(unit, cls.column, cls.major, ownership, urban, slope)] += area;
}

void ReportSums::AddRow(const PatchRow& row) {
  const uint32_t unit = UnitOf(row);
  const ClassIds cls = ClassOf(row);
  const double area = row.area.value_or(0.0);
  const auto text = [&](std::optional<size_t> index) {
    const std::optional<CellValue>* cell = Field(row, index);
    if (cell == nullptr) return std::string();
    return std::string(RowText(*cell, buffer_).value_or(std::string_view()));
  };
  const auto ownership = static_cast<uint8_t>(OwnershipOf(text(fields_.ownership)));
  const uint8_t urban = UrbanKindOf(text(fields_.urban));
  const uint8_t slope = SlopePartOf(text(fields_.slope), text(fields_.terrace_kind));
  std::optional<double> coefficient;
  if (row.cells.deduction && !IsEmpty(*row.cells.deduction)) {
    coefficient = CellNumber(*row.cells.deduction);
  }
  const TerraceSplit split =
      SplitTerrace(area, FieldNumber(row, fields_.terrace_area), coefficient);
  Add(unit, cls, ownership, urban, slope, split.own);
  if (cls.column == kUnknownColumn) {
    unknown_codes_[std::string(row.class_text.value_or(""))] += area;
  }
  if (split.terrace != 0) {
    const size_t terrace = Survey3Columns().terrace;
    const std::optional<size_t> major = MajorClassOf(Survey3Columns().level2[terrace].code);
    const ClassIds ridge{static_cast<uint16_t>(terrace),
                         major ? static_cast<uint8_t>(*major) : kUnknownMajor};
    // 田坎 is no 耕地: its slope grade does not matter.
    Add(unit, ridge, ownership, urban, 0, split.terrace);
  }
}

std::vector<ReportPart> ReportSums::Parts() const {
  std::vector<ReportPart> parts;
  parts.reserve(sums_.size());
  for (const auto& [key, area] : sums_) {
    parts.push_back({static_cast<uint32_t>(key >> 32), static_cast<uint16_t>(key >> 16),
                     static_cast<uint8_t>(key >> 12 & 0xf), static_cast<uint8_t>(key >> 10 & 3),
                     static_cast<uint8_t>(key >> 6 & 0xf), static_cast<uint8_t>(key & 0x3f), area});
  }
  return parts;
}

}  // namespace quilmark
