#include "src/report/report_sums.h"

#include "src/report/report_columns.h"
#include "src/summary/row_feed.h"

namespace quilmark {
namespace {

const std::optional<CellValue>* Field(const PatchRow& row, std::optional<size_t> index) {
  if (!index || *index >= row.cells.fields.size()) return nullptr;
  return &row.cells.fields[*index];
}

std::optional<double> FieldNumber(const PatchRow& row, std::optional<size_t> index) {
  const std::optional<CellValue>* cell = Field(row, index);
  if (cell == nullptr || !*cell || IsEmpty(**cell)) return std::nullopt;
  if (const double* number = std::get_if<double>(&**cell)) return *number;
  return CellNumber(**cell);
}

// A text of up to seven bytes as one number, its bytes and its length; nullopt for a longer one.
std::optional<uint64_t> PackedCode(std::string_view text) {
  if (text.size() > 7) return std::nullopt;
  uint64_t packed = uint64_t{text.size()} << 56;
  for (size_t i = 0; i < text.size(); ++i) {
    packed |= uint64_t{static_cast<unsigned char>(text[i])} << (8 * i);
  }
  return packed;
}

void Add(ColumnSums& sums, uint8_t major, Ownership ownership, uint8_t urban, uint8_t slope,
         double area) {
  sums.area += area;
  sums.major[major] += area;
  sums.ownership[static_cast<size_t>(ownership)] += area;
  sums.urban[urban] += area;
  sums.slope[slope] += area;
}

}  // namespace

uint32_t ReportSums::UnitOf(const PatchRow& row) {
  // Slot 0 is for a row whose zone could not be read; zone id n takes slot n + 1.
  const uint32_t zone_id = row.zone ? row.zone_id + 1 : 0;
  if (zone_id >= unit_of_zone_.size()) unit_of_zone_.resize(zone_id + 1, -1);
  if (unit_of_zone_[zone_id] < 0) {
    const std::string_view zone = row.zone.value_or(std::string_view());
    const std::string code(zone.substr(0, static_cast<size_t>(level_)));
    auto [found, added] = unit_ids_.try_emplace(code, static_cast<uint32_t>(units_.size()));
    if (added) {
      units_.push_back(code);
      unit_names_.emplace_back();
      sums_.emplace_back(Survey3Columns().level2.size() + 1);
    }
    unit_of_zone_[zone_id] = found->second;
  }
  const auto unit = static_cast<uint32_t>(unit_of_zone_[zone_id]);
  // A unit's name is the first one the layer gives it. The layer names villages (ZLDWMC), so a
  // township or county takes its name from the names table alone.
  if (level_ == UnitLevel::kVillage && unit_names_[unit].empty()) {
    unit_names_[unit] = std::string(Text(row, fields_.unit_name, 5));
  }
  return unit;
}

ReportSums::ClassIds ReportSums::ClassOf(const PatchRow& row) {
  const auto unknown = static_cast<uint16_t>(Survey3Columns().level2.size());
  if (!row.class_text) return {unknown, kUnknownMajor};
  if (row.class_id >= class_of_id_.size()) class_of_id_.resize(row.class_id + 1);
  std::optional<ClassIds>& ids = class_of_id_[row.class_id];
  if (!ids) {
    const std::optional<size_t> column = Level2ColumnOf(*row.class_text);
    const std::optional<size_t> major = MajorClassOf(*row.class_text);
    ids = ClassIds{column ? static_cast<uint16_t>(*column) : unknown,
                   major ? static_cast<uint8_t>(*major) : kUnknownMajor};
  }
  return *ids;
}

std::string_view ReportSums::Text(const PatchRow& row, std::optional<size_t> field, size_t buffer) {
  const std::optional<CellValue>* cell = Field(row, field);
  if (cell == nullptr) return {};
  // Most cells are texts with no blank at either end: taken as they are, without a call.
  const std::string* text = *cell ? std::get_if<std::string>(&**cell) : nullptr;
  if (text != nullptr && (text->empty() || (text->front() != ' ' && text->back() != ' '))) {
    return *text;
  }
  return RowText(*cell, buffers_[buffer]).value_or(std::string_view());
}

// QSXZ holds a handful of short codes: each is looked up once, and known again by its bytes
// packed into one number.
Ownership ReportSums::OwnershipOfText(std::string_view qsxz) {
  const std::optional<uint64_t> packed = PackedCode(qsxz);
  if (packed) {
    for (const auto& [code, ownership] : ownership_seen_) {
      if (code == *packed) return ownership;
    }
  }
  const Ownership ownership = OwnershipOf(qsxz);
  if (packed && ownership_seen_.size() < 64) ownership_seen_.emplace_back(*packed, ownership);
  return ownership;
}

void ReportSums::AddRow(const PatchRow& row) {
  const uint32_t unit = UnitOf(row);
  const ClassIds cls = ClassOf(row);
  const double area = row.area.value_or(0.0);
  const Ownership ownership = OwnershipOfText(Text(row, fields_.ownership, 0));
  const uint8_t urban = UrbanKindOf(Text(row, fields_.urban, 1));
  const uint8_t slope =
      SlopePartOf(Text(row, fields_.slope, 2), Text(row, fields_.terrace_kind, 3));
  std::optional<double> coefficient;
  if (row.cells.deduction && !IsEmpty(*row.cells.deduction)) {
    coefficient = CellNumber(*row.cells.deduction);
  }
  const TerraceSplit split =
      SplitTerrace(area, FieldNumber(row, fields_.terrace_area), coefficient);
  std::vector<ColumnSums>& columns = sums_[unit];
  Add(columns[cls.column], cls.major, ownership, urban, slope, split.own);
  if (cls.column == columns.size() - 1) {
    unknown_codes_[std::string(row.class_text.value_or(""))] += area;
  }
  if (split.terrace != 0) {
    // 田坎 is no 耕地: its slope grade does not matter.
    static const uint8_t terrace_major =
        static_cast<uint8_t>(MajorClassOf(Survey3Columns().level2[Survey3Columns().terrace].code)
                                 .value_or(kUnknownMajor));
    Add(columns[Survey3Columns().terrace], terrace_major, ownership, urban, 0, split.terrace);
  }
}

}  // namespace quilmark
