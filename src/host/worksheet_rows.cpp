#include "src/host/worksheet_rows.h"

#include "src/host/ascii_text.h"

namespace quilmark {
namespace {

// Where a header of the identifiers may stand: below a few title rows, among the first columns
// (a survey layer's export puts BSM among its first fields).
constexpr int32_t kHeaderRows = 5;
constexpr int32_t kHeaderColumns = 64;

bool IsIdentifierHeader(const std::optional<CellValue>& cell) {
  const std::string* text = cell ? std::get_if<std::string>(&*cell) : nullptr;
  return text != nullptr && LowerAscii(std::string(TrimBlanks(*text))) == "bsm";
}

}  // namespace

void WorksheetRows::ReadIdentifier(int32_t number, SourceRow& row) {
  row.fields.clear();
  if (identifier_) {
    row.fields.push_back(sheet_.Read(number, *identifier_));
    return;
  }
  if (number > kHeaderRows) return;
  for (int32_t column = 1; column <= kHeaderColumns; ++column) {
    if (IsIdentifierHeader(sheet_.Read(number, column))) {
      identifier_ = column;
      return;
    }
  }
}

bool WorksheetRows::Next(SourceRow& row) {
  if (next_row_ > last_row_) return false;
  const int32_t number = next_row_++;
  row.number = number;
  row.zone = sheet_.Read(number, columns_.zone);
  row.class_ = columns_.class_ ? sheet_.Read(number, *columns_.class_) : std::nullopt;
  if (columns_.cross_class && columns_.cross_class == columns_.class_) {
    row.cross_class = row.class_;  // one read serves both
  } else {
    row.cross_class =
        columns_.cross_class ? sheet_.Read(number, *columns_.cross_class) : std::nullopt;
  }
  row.area = sheet_.Read(number, columns_.area);
  row.deduction = columns_.deduction ? sheet_.Read(number, *columns_.deduction) : std::nullopt;
  if (columns_.identifier) ReadIdentifier(number, row);
  filled_ = &row;
  return true;
}

std::string SheetRowLabel(int64_t number) { return "第 " + std::to_string(number) + " 行"; }

std::string WorksheetRows::RowLabel(int64_t number) const { return SheetRowLabel(number); }

bool WorksheetRows::RewriteZone(const SourceRow& row, std::string_view text) {
  if (writes_ == kReadOnly) return false;
  CellValue value{std::string(text)};
  if (!sheet_.Write(static_cast<int32_t>(row.number), columns_.zone, value)) return false;
  if (filled_ == &row) {
    if (columns_.class_ == columns_.zone) filled_->class_ = value;
    if (columns_.cross_class == columns_.zone) filled_->cross_class = value;
    if (columns_.area == columns_.zone) filled_->area = std::move(value);
  }
  return true;
}

}  // namespace quilmark
