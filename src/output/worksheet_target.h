// The tables written below the data of the worksheet the rows came from: each table's room starts
// where the one before it ended, the first at the data's last row.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "src/host/sheet_host.h"
#include "src/summary/result_target.h"

namespace quilmark {

class WorksheetTarget : public ResultTarget {
 public:
  // last_row: the data's last row, fixed when the run started; copy: the file the workbook is
  // saved as in place of itself, if any.
  WorksheetTarget(Worksheet& sheet, int32_t last_row,
                  std::optional<std::filesystem::path> copy = std::nullopt)
      : sheet_(sheet), last_row_(last_row), copy_(std::move(copy)) {}

  // Whether every table ends by the sheet's last row and column.
  bool Fits(std::span<const TableShape> shapes) const override;
  // A cell the sheet refuses is skipped.
  void Write(std::span<const ResultTable> tables) override;
  // Names the sheet and the rows written, and the copy's file.
  std::string Completion() const override;

  // The shapes of the tables written, in order (none before Write).
  const std::vector<TableShape>& written() const { return written_; }

 private:
  Worksheet& sheet_;
  const int32_t last_row_;
  const std::optional<std::filesystem::path> copy_;
  std::vector<TableShape> written_;
};

// Whether tables of these shapes, each based where the one before it ended and the first at
// base_row, all end by a worksheet's last row and column.
bool FitsBelow(std::span<const TableShape> shapes, int64_t base_row);

// The last row a table of this shape occupies when based at base_row; base_row itself when it
// writes nothing, so the next table is placed as if it were absent.
inline int64_t TableEndRow(const TableShape& shape, int64_t base_row) {
  return shape.rows == 0 ? base_row : base_row + shape.row_offset + shape.rows - 1;
}

// Writes the table's cells with its first row at base_row + row_offset; std::monostate cells are
// left alone, and a write the sheet refuses is skipped.
void WriteTable(Worksheet& sheet, int64_t base_row, const ResultTable& table);

}  // namespace quilmark
