// Where earlier runs wrote their tables below the data, remembered in a custom property of the
// workbook, so that a run whose rows include such a table can say so before it counts the table
// as data a second time.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "src/summary/result_table.h"

namespace quilmark {

// The custom property that holds the record.
inline constexpr std::string_view kWrittenRowsProperty = "QuilmarkWrittenRows";

// The rows first to last of a sheet that a run wrote its tables into.
struct WrittenRows {
  std::string sheet;
  int64_t first = 0;
  int64_t last = 0;
  friend bool operator==(const WrittenRows&, const WrittenRows&) = default;
};

// The record as the property holds it: "first:last:sheet" entries joined by "/" (a worksheet's
// name can hold neither ":" nor "/"). Parsing skips an entry it cannot read.
std::string FormatWrittenRows(const std::vector<WrittenRows>& record);
std::vector<WrittenRows> ParseWrittenRows(std::string_view text);

// The recorded rows of `sheet` that a run reading rows 1 to last_row reads again, each cut to
// last_row.
std::vector<WrittenRows> RowsReadAgain(const std::vector<WrittenRows>& record,
                                       std::string_view sheet, int64_t last_row);

// The record after a run on `sheet` whose data ended at last_row wrote `written`: that sheet's
// earlier entries are kept where they lie within the data (they are still there, now read as
// data), the new ones added; entries of other sheets stay as they were.
std::vector<WrittenRows> UpdatedRecord(const std::vector<WrittenRows>& record,
                                       std::string_view sheet, int64_t last_row,
                                       const std::vector<WrittenRows>& written);

// Where tables of these shapes stand when written below data ending at last_row, one entry per
// table that writes anything, from its first row to its last.
std::vector<WrittenRows> PlacedRows(std::string_view sheet, int64_t last_row,
                                    std::span<const TableShape> shapes);

// The completion of a run that wrote below the data, naming the sheet and the rows from the first
// table's first to the last one's last; the bare completion where nothing was written.
std::string CompletionText(const std::vector<WrittenRows>& placed);

// The warning shown before the confirmation, naming the rows.
std::string DoubleCountWarning(const std::vector<WrittenRows>& rows);

}  // namespace quilmark
