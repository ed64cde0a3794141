// What the two readers of a layer share (feature by feature, and in column batches where the
// driver reads those faster): the fields a run reads, how a field's value becomes a cell, and the
// feature ids a message may name once the run has moved on.
#pragma once

#include <ogr_core.h>

class OGRFeature;

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "src/host/row_source.h"

namespace quilmark {

// No field: the area comes from the geometry, or there is no deduction column.
inline constexpr int kNoField = -1;

// The indices of the fields a run reads.
struct ChosenFields {
  int zone = kNoField;
  int class_ = kNoField;
  int area = kNoField;
  int deduction = kNoField;
  std::vector<int> extras;  // LayerRequest::extra_fields, in order

  bool Chosen(int index) const {
    return index == zone || index == class_ || index == area || index == deduction ||
           std::find(extras.begin(), extras.end(), index) != extras.end();
  }
};

// The cell made empty, a text, or the digits of a whole number. The string the cell holds is
// reused, so a run allocates little per feature. Inline: a run sets millions of cells.
inline void SetEmpty(std::optional<CellValue>& cell) {
  if (!cell || !IsEmpty(*cell)) cell.emplace();
}
inline void SetText(std::optional<CellValue>& cell, std::string_view text) {
  if (cell) {
    if (auto* held = std::get_if<std::string>(&*cell)) {
      held->assign(text);
      return;
    }
  }
  cell.emplace(std::in_place_type<std::string>, text);
}
void SetDigits(std::optional<CellValue>& cell, int64_t number);

// A field's value as a worksheet would hold it: numbers as numbers, everything else as text,
// null or unset as empty. `type` is the field's type, looked up once for the layer; the index
// must have been checked.
void ReadFeatureField(OGRFeature& feature, int index, OGRFieldType type,
                      std::optional<CellValue>& cell);

// A zone or class value: a whole number is a code, read as its digits (a 19-digit location code
// in an Integer64 field read as a number would give "4.419E+18", and every prefix of it the
// same); a Real field holding a whole number gives the digits of the value it holds. Anything
// else as ReadFeatureField reads it.
void ReadFeatureCode(OGRFeature& feature, int index, OGRFieldType type,
                     std::optional<CellValue>& cell);

// A Real that holds a whole number a 64-bit integer can hold: the code it stands for, read as
// its digits. nullopt for any other value.
std::optional<int64_t> WholeNumber(double value);

// The feature ids of the rows a message may name: the row read last, and the first few rows
// whose area is empty or text (a warning) or whose deduction coefficient is not a number in
// [0, 1) (a stop).
class RowIds {
 public:
  // The row being read: its number and feature id (OGRNullFID where the source has none).
  void Start(int64_t number, GIntBig fid) {
    last_number_ = number;
    last_fid_ = fid;
  }
  // Keeps the id of the row just read where it is doubtful. Most rows are plainly sound, an area
  // that is a number and a coefficient, if any, in [0, 1); those are passed over without a call.
  void KeepWhenDoubtful(const SourceRow& row) {
    if (kept_.size() >= kKeptIds || last_fid_ == OGRNullFID) return;
    if (row.area && std::holds_alternative<double>(*row.area)) {
      if (!row.deduction) return;
      const double* coefficient = std::get_if<double>(&*row.deduction);
      if (coefficient != nullptr && *coefficient >= 0 && *coefficient < 1) return;
    }
    KeepWhenDoubtfulSlow(row);
  }
  // "FID 7" where the id is known, else "第 n 个要素".
  std::string Label(int64_t number) const;

 private:
  static constexpr size_t kKeptIds = 64;  // how many ids of doubtful rows are kept

  void KeepWhenDoubtfulSlow(const SourceRow& row);

  int64_t last_number_ = 0;
  GIntBig last_fid_ = OGRNullFID;
  std::vector<std::pair<int64_t, GIntBig>> kept_;
};

}  // namespace quilmark
