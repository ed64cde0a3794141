// The rows of a worksheet as a row source: rows 1 to the last used row, each read once, with the
// zone cell written back when the run rewrites it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "src/host/row_source.h"
#include "src/host/sheet_columns.h"
#include "src/host/sheet_host.h"

namespace quilmark {

// How a message names a worksheet's row: "第 12 行".
std::string SheetRowLabel(int64_t number);

class WorksheetRows : public RowSource {
 public:
  enum Writes {
    kWriteZones,  // RewriteZone writes the zone cell
    kReadOnly,    // RewriteZone leaves the sheet alone
  };
  // Rows 1..last_row: the last row is fixed when the run starts, whatever the run writes later.
  WorksheetRows(Worksheet& sheet, int32_t last_row, SheetColumns columns,
                Writes writes = kWriteZones)
      : sheet_(sheet), last_row_(last_row), columns_(columns), writes_(writes) {}

  bool Next(SourceRow& row) override;
  std::string RowLabel(int64_t number) const override;
  // Writes the text into the row's zone cell; false when the sheet refuses the write or the rows
  // are read only. Where the
  // row last returned by Next reads its class or area from the zone column too, that cell then
  // holds the text, as reading the cell again would give it.
  bool RewriteZone(const SourceRow& row, std::string_view text) override;
  int64_t RowCount() const override { return last_row_; }

 private:
  Worksheet& sheet_;
  const int32_t last_row_;
  const SheetColumns columns_;
  const Writes writes_;
  void ReadIdentifier(int32_t number, SourceRow& row);

  int32_t next_row_ = 1;
  SourceRow* filled_ = nullptr;        // the row Next filled last
  std::optional<int32_t> identifier_;  // the column headed BSM, once met
};

}  // namespace quilmark
