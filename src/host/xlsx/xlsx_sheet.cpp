// The worksheet of a workbook file: its rows loaded when first needed, or streamed to the run as
// the file inflates, so that a sheet of a million rows is summed without being held.
#include <algorithm>
#include <atomic>
#include <memory>

#include "src/host/pushed_rows.h"
#include "src/host/worksheet_rows.h"
#include "src/host/xlsx/xlsx_workbook.h"

namespace quilmark::xlsx {
namespace {

// Hands each row on once it is known to lie among the used rows, reading its cells from the
// model as the run would read them from the loaded sheet.
class SheetRowStream final : public RowStream {
 public:
  // `claimed` is set, on the first row, to the rows the sheet's <dimension> names (for the
  // progress; 0 where it names none beyond the first).
  SheetRowStream(XlsxSheet& sheet, const SheetColumns& columns, const PushedRows::Push& push,
                 std::atomic<int64_t>& claimed)
      : sheet_(sheet),
        rows_(sheet, kMaxRow, columns, WorksheetRows::kReadOnly),
        push_(push),
        claimed_(claimed) {}

  void RowsUpTo(int32_t number) override {
    if (handed_on_ == 0) claimed_.store(ClaimedRows(), std::memory_order_relaxed);
    // A sheet read again from its start (by the XML parse) announces its rows again.
    for (; handed_on_ < number; ++handed_on_) {
      rows_.Next(row_);
      push_(row_);
    }
  }

 private:
  int64_t ClaimedRows() {
    const std::optional<RangeRef>& claimed = sheet_.layout().dimension_ref;
    return claimed && claimed->last.row > 1 ? claimed->last.row : 0;
  }

  XlsxSheet& sheet_;
  WorksheetRows rows_;
  const PushedRows::Push& push_;
  std::atomic<int64_t>& claimed_;
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

void XlsxSheet::LoadStreaming(RowStream& stream, const RowLoad& load) {
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
}

std::unique_ptr<RowSource> XlsxSheet::StreamedRows(const SheetColumns& columns) {
  if (!pending_) return nullptr;
  RowLoad load = std::move(pending_);
  pending_ = nullptr;
  auto claimed = std::make_shared<std::atomic<int64_t>>(0);
  auto read = [this, columns, load, claimed](const PushedRows::Push& push) {
    SheetRowStream stream(*this, columns, push, *claimed);
    LoadStreaming(stream, load);
  };
  std::unique_ptr<PushedRows> rows = PushedRows::Start(
      read, SheetRowLabel, [claimed] { return claimed->load(std::memory_order_relaxed); });
  if (!rows) pending_ = std::move(load);
  return rows;
}

}  // namespace quilmark::xlsx
