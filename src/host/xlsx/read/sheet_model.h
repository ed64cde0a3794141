// The cells of one worksheet as loaded from its XML part, with the run's writes on top, kept
// compactly enough for a sheet of a million rows: a few bytes per cell, each row's cells sorted
// by column, and the byte range of each row element so that saving can copy every untouched
// row as it was.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "src/host/cell_value.h"
#include "src/host/xlsx/read/chunked.h"

namespace quilmark::xlsx {

enum class CellType : uint8_t {
  kEmpty,   // no value (a cell with formatting only, or cleared)
  kNumber,  // payload: the double's bits
  kShared,  // payload: index into the shared strings
  kText,    // payload: arena handle
  kBool,    // payload: 0 or 1
  kDate,    // payload: arena handle of the ISO text
  kError,   // payload: arena handle of the error text
  kBad,     // a value that cannot be read (unknown type, broken number, missing shared string)
};

enum CellFlag : uint8_t {
  kHasFormula = 1,    // the cell holds a formula of any kind
  kSharedMaster = 2,  // the cell defines a shared formula group
  kWritten = 4,       // the run wrote the cell
};

struct Cell {
  uint32_t lo = 0;
  uint32_t hi = 0;
  uint16_t column = 0;
  CellType type = CellType::kEmpty;
  uint8_t flags = 0;

  uint64_t payload() const { return (uint64_t{hi} << 32) | lo; }
  void set_payload(uint64_t p) {
    lo = static_cast<uint32_t>(p);
    hi = static_cast<uint32_t>(p >> 32);
  }
};

enum RowFlag : uint8_t {
  kRowWritten = 1,  // a cell of this row element was written or added
  kRowNew = 2,      // the row was not in the file
};

// One <row> element of the file (or a row the run added).
struct Row {
  int32_t number = 0;
  uint32_t first_cell = 0;  // into SheetModel::cells
  uint32_t xml_begin = 0;   // byte range of the element in the sheet XML
  uint32_t xml_length = 0;
  uint16_t cell_count = 0;
  uint8_t flags = 0;
};

// A shared formula's defining cell, kept so that its group survives overwriting it.
struct SharedFormula {
  int32_t row = 0;
  int32_t column = 0;
  std::string index;    // the group's si
  std::string ref;      // the group's range
  std::string formula;  // as written in the defining cell
};

// Where a model read as a stream hands its rows on.
class RowStream {
 public:
  virtual ~RowStream() = default;
  // The row just read, `number`, has a value: every row up to it is among the used rows. The
  // model still holds each row from the one before that last had a value.
  virtual void RowsUpTo(int32_t number) = 0;
};

class SheetModel {
 public:
  // The shared strings, read-only (appended while the workbook loads).
  ChunkedVector<uint64_t>& shared_strings() { return shared_strings_; }
  TextArena& arena() { return arena_; }
  const TextArena& arena() const { return arena_; }

  // Building, in document order: a row, then its cells, then the next row.
  // Returns the row slot.
  uint32_t BeginRow(int32_t number, uint32_t xml_begin);
  void AddCell(const Cell& cell);
  void EndRow(uint32_t xml_end);
  // Forgets every row and cell loaded so far (the shared strings stay), to load them again.
  void ResetRows();
  // While set, each row with a value is announced to `stream` as it ends, and the rows before it
  // are then forgotten (16,384 rows at a time): the model holds the rows from the last one
  // with a value on, which is all a save below the data needs. The building calls throw
  // RowsNotInOrder once a row number does not ascend. nullptr ends the streaming.
  void StreamTo(RowStream* stream) { stream_ = stream; }

  // The value of a cell; nullopt outside the sheet or when the value cannot be read.
  std::optional<CellValue> Read(int32_t row, int32_t column) const;
  bool Write(int32_t row, int32_t column, const CellValue& value);
  int32_t LastUsedRow() const { return last_used_row_; }
  // The decimals a written cell is shown with; false outside the sheet.
  bool SetDecimals(int32_t row, int32_t column, int decimals);
  // The decimals of each cell that has them, by (row, column).
  const std::map<std::pair<int32_t, int32_t>, int>& decimals() const { return decimals_; }

  // For saving.
  const ChunkedVector<Row>& rows() const { return rows_; }
  ChunkedVector<Row>& rows() { return rows_; }
  const ChunkedVector<Cell>& cells() const { return cells_; }
  // Cells added by the run to a row element of the file, or to a new row; by row slot.
  const std::unordered_map<uint32_t, std::vector<Cell>>& added_cells() const { return added_; }
  // Slots of the rows the run added, by row number.
  const std::map<int32_t, uint32_t>& new_rows() const { return new_rows_; }
  // Slots of the second and later elements that repeat a row number, by the first slot.
  const std::multimap<uint32_t, uint32_t>& repeated_rows() const { return repeated_; }
  bool rows_in_order() const { return rows_in_order_; }
  std::vector<SharedFormula>& shared_formulas() { return shared_formulas_; }
  const std::vector<SharedFormula>& shared_formulas() const { return shared_formulas_; }
  // Whether the run wrote over a cell that held a formula.
  bool formula_overwritten() const { return formula_overwritten_; }
  // The smallest rectangle of cells with a value that the run wrote; nullopt when none.
  std::optional<std::pair<int32_t, int32_t>> written_rows() const;
  int32_t written_max_column() const { return written_max_column_; }
  int32_t written_min_column() const { return written_min_column_; }
  bool changed() const { return changed_; }

  // The stored cell at (row, column); nullptr when there is none.
  const Cell* CellAt(int32_t row, int32_t column) const { return FindCell(row, column); }
  // The value a stored cell holds.
  std::optional<CellValue> ValueOf(const Cell& cell) const;
  std::string_view SharedString(uint32_t index) const;

 private:
  // The cell of (row slot, column) among the file's cells of that element; nullptr if none.
  Cell* FindInElement(uint32_t slot, int32_t column);
  const Cell* FindCell(int32_t row, int32_t column) const;
  Cell* FindCellMutable(int32_t row, int32_t column);
  bool HasValueInRow(int32_t row) const;
  void Store(Cell& cell, const CellValue& value);
  // The streaming part of ending a row.
  void Streamed(bool has_value);
  // Forgets every row but the last one.
  void KeepLastRowOnly();

  ChunkedVector<uint64_t> shared_strings_;  // arena handles
  TextArena arena_;
  ChunkedVector<Row> rows_;
  ChunkedVector<Cell> cells_;
  std::vector<int32_t> row_index_;  // row number -> first slot, -1 when no element
  std::unordered_map<uint32_t, std::vector<Cell>> added_;
  std::map<int32_t, uint32_t> new_rows_;
  std::multimap<uint32_t, uint32_t> repeated_;
  std::vector<SharedFormula> shared_formulas_;
  std::map<std::pair<int32_t, int32_t>, int> decimals_;
  int32_t last_used_row_ = 0;
  int32_t previous_row_ = 0;
  bool rows_in_order_ = true;
  bool formula_overwritten_ = false;
  bool changed_ = false;
  int32_t written_first_row_ = 0;
  int32_t written_last_row_ = 0;
  int32_t written_min_column_ = 0;
  int32_t written_max_column_ = 0;
  RowStream* stream_ = nullptr;
};

}  // namespace quilmark::xlsx
