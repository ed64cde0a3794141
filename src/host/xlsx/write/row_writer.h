// Writing the rows of a worksheet anew: a row of the loaded XML with the run's writes merged in
// (every cell the run did not write kept byte for byte), or a row the run added.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "src/host/xlsx/read/sheet_layout.h"
#include "src/host/xlsx/read/sheet_model.h"
#include "src/host/xlsx/write/row_xml.h"

namespace quilmark::xlsx {

// Holds no state between rows but reused memory: one writer per thread.
class RowWriter {
 public:
  // `broken_groups`: the shared formula groups whose defining cell the run overwrote; their
  // other cells get the formula spelled out. Read when rows are written, not before.
  RowWriter(const SheetLayout& layout, const SheetModel& model,
            const std::vector<const SharedFormula*>& broken_groups);

  // Appends the row element of `slot`, whose loaded XML is `text`. Throws PackageError if the
  // row cannot be read again.
  void WriteRow(uint32_t slot, std::string_view text, std::string& out);
  // Appends the row element of `slot`, a row the run added.
  void WriteNewRow(uint32_t slot, std::string& out);

 private:
  // A cell of a rewritten row: as the file had it, as the run left it, or both.
  struct MergedCell {
    int32_t column;
    const RowCellXml* original;  // nullptr for a cell the run added
    const Cell* cell;            // nullptr for none in the model
  };

  const Cell* StoredCell(const Row& row, int32_t column) const;
  // The style a written number cell gets: its decimals' where it has them, else `style`.
  std::string_view WrittenStyle(int32_t row, const Cell& cell, std::string_view style) const;
  // The row's cells as the file had them and as the run left them, in column order, in merged_.
  void MergeCells(uint32_t slot, const RowXml& parsed);
  void EmitRowStart(const RowXml& parsed, int32_t number, const std::vector<MergedCell>& cells);
  void EmitKeptCell(const RowCellXml& original, int32_t number, std::string_view source);
  void EmitCell(int32_t row, const Cell& cell, std::string_view style);
  void OpenCell(int32_t row, int32_t column, std::string_view style, std::string_view type,
                bool empty);
  void EmitValueCell(int32_t row, const Cell& cell, std::string_view style, std::string_view type,
                     std::string_view text);
  // The text a text cell holds.
  std::string_view TextOf(const Cell& cell) const;

  const SheetLayout& layout_;
  const SheetModel& model_;
  const std::vector<const SharedFormula*>& broken_groups_;
  // Names of the elements the writer writes, with the sheet's prefix.
  const std::string cell_name_, value_name_, inline_name_, text_name_;
  RowXmlReader row_reader_;
  std::vector<MergedCell> merged_;  // the cells of the row being written
  std::string* out_ = nullptr;      // where the row being written goes
};

// The shortest text that reads back as the same double; "0" for both zeros.
std::string NumberXml(double value);
// The element's name with the sheet's prefix.
std::string ElementName(const SheetLayout& layout, std::string_view local);

// The first index in [0, count) at which `reached` holds, where it holds from some index on (the
// count when it never does). A plain loop: clang's library support cannot take a view of indexes
// here, and the fuzz build is clang's.
template <typename Predicate>
size_t PartitionPoint(size_t count, Predicate reached) {
  size_t first = 0;
  while (first < count) {
    const size_t middle = first + (count - first) / 2;
    if (reached(middle)) {
      count = middle;
    } else {
      first = middle + 1;
    }
  }
  return first;
}

}  // namespace quilmark::xlsx
