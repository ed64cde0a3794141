// Where a run's patches come from, one row at a time: the rows of a worksheet, the features of a
// GIS layer, the rows of a database table. The tasks see only SourceRow; they never learn where
// a row came from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "src/host/cell_value.h"

namespace quilmark {

// Trades two cells. Rows handed across a read-ahead queue mostly hold the same kinds in the same
// cells (texts against texts, numbers against numbers); those trade without the variant's
// general swap.
inline void SwapCells(std::optional<CellValue>& a, std::optional<CellValue>& b) noexcept {
  if (a && b && a->index() == b->index()) {
    if (auto* text = std::get_if<std::string>(&*a))
      return text->swap(*std::get_if<std::string>(&*b));
    if (auto* number = std::get_if<double>(&*a))
      return std::swap(*number, *std::get_if<double>(&*b));
  }
  a.swap(b);
}

// One patch as the run reads it: the cells of the columns (or fields) the run uses. A cell that
// cannot be read is nullopt, and the step that needs it is skipped. A source that sums its
// patches itself (a database grouping them) hands on a row per group instead: `patches` says how
// many patches it stands for, `area` holds their summed area and `ridge` their summed 田坎 part.
struct SourceRow {
  int64_t number = 0;                      // the sheet's row number; a feature's 1-based position
  std::optional<CellValue> zone;           // the zone column
  std::optional<CellValue> class_;         // the class column
  std::optional<CellValue> cross_class;    // the class the cross-tab counts by
  std::optional<CellValue> area;           // the area column (a layer without one: its geometry)
  std::optional<CellValue> deduction;      // the deduction coefficient, when a column is chosen
  // Further named fields a source was asked for (ownership, slope grade...), in the order they
  // were named; empty when none were. The run tells the task that reads them which is which.
  std::vector<std::optional<CellValue>> fields;
  int64_t patches = 1;  // the patches the row stands for
  // A group's 田坎 part, the sum of area x coefficient over its patches whose coefficient is above
  // 0; nullopt for a single patch, whose `deduction` cell gives its coefficient.
  std::optional<double> ridge;
  // The zone came from a floating-point value too large to hold its digits (LosesDigits): its
  // last digits may be wrong, and two zones may have become one.
  bool inexact_zone = false;

  // Cell by cell, so that texts trade their buffers rather than being moved through a third row.
  friend void swap(SourceRow& a, SourceRow& b) noexcept {
    std::swap(a.number, b.number);
    SwapCells(a.zone, b.zone);
    SwapCells(a.class_, b.class_);
    SwapCells(a.cross_class, b.cross_class);
    SwapCells(a.area, b.area);
    SwapCells(a.deduction, b.deduction);
    a.fields.swap(b.fields);  // the cells keep their texts' buffers for the next reads
    std::swap(a.patches, b.patches);
    std::swap(a.ridge, b.ridge);
    std::swap(a.inexact_zone, b.inexact_zone);
  }
};

// What a source that sums its patches itself found among them that its groups would hide: patches
// with a negative area, and zones of a floating-point field too large to hold their digits. Each
// with how many and how messages name the first few.
struct HiddenFaults {
  bool checked = false;  // the source checked its patches: these counts stand for all of them
  int64_t negative_area = 0;
  std::vector<std::string> negative_first;
  int64_t inexact_zone = 0;
  std::vector<std::string> inexact_first;
  int64_t duplicate_identifier = 0;  // patches whose BSM an earlier patch has
  std::vector<std::string> duplicate_first;
};

class RowSource {
 public:
  virtual ~RowSource() = default;

  // The next row in order; false after the last one. Throws HostError when the source fails
  // part way (a connection lost, a damaged file).
  virtual bool Next(SourceRow& row) = 0;

  // How a message names the row of that number ("第 12 行", "FID 7").
  virtual std::string RowLabel(int64_t number) const = 0;

  // Replaces the zone cell of the row last returned by Next with the text, where the source can
  // be written (a worksheet); false where it cannot, and nothing changes. Either way the run
  // then reads the text as the row's zone.
  virtual bool RewriteZone(const SourceRow& /*row*/, std::string_view /*text*/) { return false; }

  // How many rows the source holds, where it knows without reading them (a sheet's used rows, a
  // layer's feature count); 0 where it does not.
  virtual int64_t RowCount() const { return 0; }

  // Whether Next only takes rows another thread has read already: the run then need not read
  // them on a thread of its own while its tasks sum.
  virtual bool ReadAhead() const { return false; }

  // What a source that sums its patches found hidden in its groups, once every row was read;
  // nothing for a source that hands on its patches one by one (the run sees them itself).
  virtual HiddenFaults Hidden() const { return {}; }
};

}  // namespace quilmark
