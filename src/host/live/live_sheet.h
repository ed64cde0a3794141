// A worksheet of a document open in the office, with a local copy of the cells the run uses.
//
// One remote call costs a fraction of a millisecond, so the sheet reads a whole column of the
// used area in one call the first time the run reads that column, and holds the cells the run
// writes until Flush sends them, a rectangle per call. Reads see the run's own writes at once,
// flushed or not. Cells the user changes in the office during a run are not seen by that run.
#pragma once

#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "src/host/live/office_connection.h"
#include "src/host/live/write_batch.h"
#include "src/host/sheet_host.h"

namespace quilmark {

// How the office shows an error value of this code: "#DIV/0!", "#N/A" and the other errors a
// workbook file can hold, "Err:NNN" for the office's own.
std::string ErrorText(int32_t code);

class LiveSheet : public Worksheet {
 public:
  // A sheet of the document. Asks the office for the sheet's size; throws HostError when the
  // office fails.
  LiveSheet(const OfficeConnection& office, css::uno::Reference<css::uno::XInterface> document,
            css::uno::Reference<css::sheet::XSpreadsheet> sheet);

  std::string Name() const override;
  int32_t LastUsedRow() const override;
  std::optional<CellValue> Read(int32_t row, int32_t column) const override;
  // As the interface says; besides, throws HostError for a cell that a workbook could hold but
  // the office's sheet cannot (its sheets may have fewer columns).
  bool Write(int32_t row, int32_t column, const CellValue& value) override;

  // Sends the writes not yet sent to the document. Throws HostError when the office fails; the
  // writes stay queued then.
  void Flush();

  const css::uno::Reference<css::sheet::XSpreadsheet>& sheet() const { return sheet_; }

 private:
  struct Area {
    int32_t rows = 0;
    int32_t columns = 0;
  };
  // The used area as the document holds it now (not counting the queued writes).
  Area UsedArea() const;
  // The column's cells in rows 1..used_.rows, fetched on first use.
  std::vector<CellValue>& Column(int32_t column) const;
  bool InSheet(int32_t row, int32_t column) const {
    return row >= 1 && column >= 1 && row <= rows_ && column <= columns_;
  }

  // Runs calls to the office about this sheet, each bounded in time, turning failures into
  // HostError. Nested in another Guard, it restarts the time limit, as every answered call does.
  template <typename Calls>
  decltype(auto) Guard(Calls&& calls) const {
    return office_.Guard(document_, std::forward<Calls>(calls), sheet_);
  }

  const OfficeConnection& office_;
  css::uno::Reference<css::uno::XInterface> document_;
  css::uno::Reference<css::sheet::XSpreadsheet> sheet_;
  int32_t rows_ = 0;  // the sheet's size in the office
  int32_t columns_ = 0;

  // The local copy. used_ is taken at the first read: outside it every cell is empty but for the
  // run's own writes, which written_ holds for the columns not fetched.
  mutable std::optional<Area> used_;
  mutable std::unordered_map<int32_t, std::vector<CellValue>> columns_fetched_;
  mutable std::unordered_map<int64_t, CellValue> written_;  // key: row * 2^20 + column
  std::vector<CellWrite> queued_;
};

}  // namespace quilmark
