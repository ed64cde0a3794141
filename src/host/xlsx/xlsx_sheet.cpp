// The worksheet of a workbook file: its rows loaded when first needed, or streamed to the run as
// the file inflates, so that a sheet of a million rows is summed without being held.
#include <algorithm>

#include "src/host/pushed_rows.h"
#include "src/host/worksheet_rows.h"
#include "src/host/xlsx/xlsx_workbook.h"

namespace quilmark::xlsx {
namespace {

// Hands each row on once it is known to lie among the used rows, reading its cells from the
// model as the run would read them from the loaded sheet.
class SheetRowStream final : public RowStream {
 public:
  SheetRowStream(Worksheet& sheet, const SheetColumns& columns, const PushedRows::Push& push)
      : rows_(sheet, kMaxRow, columns, WorksheetRows::kReadOnly), push_(push) {}

  void RowsUpTo(int32_t number) override {
    // A sheet read again from its start (by the XML parse) announces its rows again.
    for (; handed_on_ < number; ++handed_on_) {
      rows_.Next(row_);
      push_(row_);
    }
  }

 private:
  WorksheetRows rows_;
  const PushedRows::Push& push_;
  SourceRow row_;
  int32_t handed_on_ = 0;
};

}  // namespace

void XlsxSheet::LoadRows() const {
  if (!pending_) return;
  const RowLoad load = std::move(pending_);
  pending_ = nullptr;
  load(model_, layout_);
}

std::unique_ptr<RowSource> XlsxSheet::StreamedRows(const SheetColumns& columns) {
  if (!pending_) return nullptr;
  RowLoad load = std::move(pending_);
  pending_ = nullptr;
  auto read = [this, columns, load](const PushedRows::Push& push) {
    SheetRowStream stream(*this, columns, push);
    model_.StreamTo(&stream);
    try {
      load(model_, layout_);
    } catch (const RowsNotInOrder&) {
      // Loaded again, whole, when the run reads the cells.
      model_.StreamTo(nullptr);
      model_.ResetRows();
      layout_ = SheetLayout{};
      pending_ = load;
      throw;
    } catch (...) {
      model_.StreamTo(nullptr);
      throw;
    }
    model_.StreamTo(nullptr);
  };
  std::unique_ptr<PushedRows> rows = PushedRows::Start(read, SheetRowLabel);
  if (!rows) pending_ = std::move(load);
  return rows;
}

}  // namespace quilmark::xlsx
