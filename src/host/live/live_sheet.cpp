#include "src/host/live/live_sheet.h"

#include <algorithm>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableColumns.hpp>
#include <com/sun/star/table/XTableRows.hpp>
#include <utility>

namespace quilmark {
namespace {

using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;

// Bounds on one call's message, so a column of a million rows goes in a few calls.
constexpr int32_t kRowsPerFetch = 65536;
constexpr int64_t kCellsPerWrite = 65536;

int64_t CellKey(int32_t row, int32_t column) { return (int64_t{row} << 20) | column; }

// The value as the sheet holds it once written: the office has no truth values (they are the
// numbers 1 and 0), no empty text, and keeps dates and errors written by the run as their text.
CellValue AsStored(const CellValue& value) {
  struct Visitor {
    CellValue operator()(std::monostate) const { return {}; }
    CellValue operator()(double number) const { return number; }
    CellValue operator()(const std::string& text) const {
      if (text.empty()) return {};
      return text;
    }
    CellValue operator()(bool truth) const { return truth ? 1.0 : 0.0; }
    CellValue operator()(const CellDate& date) const { return date.iso; }
    CellValue operator()(const CellError& error) const { return error.text; }
  };
  return std::visit(Visitor{}, value);
}

// A stored value in the form a bulk write takes: a number, or a text that stays a text even when
// it looks like a number or a formula; the empty text clears the cell.
Any Encode(const CellValue& stored) {
  if (const double* number = std::get_if<double>(&stored)) return Any(*number);
  if (const std::string* text = std::get_if<std::string>(&stored)) return Any(FromUtf8(*text));
  return Any(OUString());
}

}  // namespace

std::string ErrorText(int32_t code) {
  switch (code) {
    case 503:
      return "#NUM!";
    case 519:
      return "#VALUE!";
    case 521:
      return "#NULL!";
    case 524:
      return "#REF!";
    case 525:
      return "#NAME?";
    case 532:
      return "#DIV/0!";
    case 32767:
      return "#N/A";
    default:
      return "Err:" + std::to_string(code);
  }
}

LiveSheet::LiveSheet(const OfficeConnection& office, Reference<css::uno::XInterface> document,
                     Reference<css::sheet::XSpreadsheet> sheet)
    : office_(office), document_(std::move(document)), sheet_(std::move(sheet)) {
  Guard([&] {
    Reference<css::table::XColumnRowRange> range(sheet_, UNO_QUERY_THROW);
    rows_ = range->getRows()->getCount();
    columns_ = range->getColumns()->getCount();
  });
}

std::string LiveSheet::Name() const {
  return Guard([&] {
    return ToUtf8(Reference<css::container::XNamed>(sheet_, UNO_QUERY_THROW)->getName());
  });
}

LiveSheet::Area LiveSheet::UsedArea() const {
  Reference<css::sheet::XSheetCellCursor> cursor = sheet_->createCursor();
  Reference<css::sheet::XUsedAreaCursor>(cursor, UNO_QUERY_THROW)->gotoEndOfUsedArea(false);
  const css::table::CellRangeAddress end =
      Reference<css::sheet::XCellRangeAddressable>(cursor, UNO_QUERY_THROW)->getRangeAddress();
  // An empty sheet's used area ends at A1 too.
  if (end.EndRow == 0 && end.EndColumn == 0 &&
      sheet_->getCellByPosition(0, 0)->getType() == css::table::CellContentType_EMPTY) {
    return {};
  }
  return {end.EndRow + 1, end.EndColumn + 1};
}

int32_t LiveSheet::LastUsedRow() const {
  const Area area = Guard([&] { return UsedArea(); });
  if (!used_) used_ = area;
  // Cells the run wrote but has not sent yet count as used; a queued clearing write at the end
  // of the area is not subtracted, which only matters to a caller that asks again mid-run.
  int32_t last = area.rows;
  for (const CellWrite& write : queued_) {
    if (!IsEmpty(write.value)) last = std::max(last, write.row);
  }
  return last;
}

std::vector<CellValue>& LiveSheet::Column(int32_t column) const {
  auto fetched = columns_fetched_.find(column);
  if (fetched != columns_fetched_.end()) return fetched->second;

  std::vector<CellValue> values(used_->rows);
  for (int32_t first = 0; first < used_->rows; first += kRowsPerFetch) {
    const int32_t last = std::min(used_->rows, first + kRowsPerFetch) - 1;
    const Sequence<Sequence<Any>> data = Guard([&] {
      return Reference<css::sheet::XCellRangeData>(
                 sheet_->getCellRangeByPosition(column - 1, first, column - 1, last),
                 UNO_QUERY_THROW)
          ->getDataArray();
    });
    for (sal_Int32 i = 0; i < data.getLength() && i <= last - first; ++i) {
      const Any& cell = data[i][0];
      CellValue& value = values[first + i];
      switch (cell.getValueTypeClass()) {
        case css::uno::TypeClass_DOUBLE:
          value = *static_cast<const double*>(cell.getValue());
          break;
        case css::uno::TypeClass_STRING: {
          const OUString text = *static_cast<const OUString*>(cell.getValue());
          if (!text.isEmpty()) value = ToUtf8(text);  // an empty cell comes as the empty text
          break;
        }
        case css::uno::TypeClass_VOID: {
          // An error value comes without its code; the few error cells are asked one by one.
          const sal_Int32 code = sheet_->getCellByPosition(column - 1, first + i)->getError();
          if (code != 0) value = CellError{ErrorText(code)};
          break;
        }
        default:
          break;
      }
    }
  }
  // The run's writes to this column made before it was fetched win over what the office holds.
  for (int32_t row = 1; row <= used_->rows; ++row) {
    auto written = written_.find(CellKey(row, column));
    if (written == written_.end()) continue;
    values[row - 1] = std::move(written->second);
    written_.erase(written);
  }
  return columns_fetched_.emplace(column, std::move(values)).first->second;
}

std::optional<CellValue> LiveSheet::Read(int32_t row, int32_t column) const {
  if (!InSheet(row, column)) return std::nullopt;
  const bool in_used_area = Guard([&] {
    if (!used_) used_ = UsedArea();
    return row <= used_->rows && column <= used_->columns;
  });
  if (in_used_area) return Guard([&] { return Column(column)[row - 1]; });
  auto written = written_.find(CellKey(row, column));
  if (written != written_.end()) return written->second;
  return CellValue{};
}

bool LiveSheet::Write(int32_t row, int32_t column, const CellValue& value) {
  if (row < 1 || column < 1 || row > kMaxRow || column > kMaxColumn) return false;
  // The run places its blocks within the largest sheet a workbook can hold, but an office may
  // have smaller sheets (1024 columns before version 7.4). Dropping the cells beyond would end
  // the run as complete with part of its result missing: stop it instead, before any of its
  // writes reach the document.
  if (!InSheet(row, column)) {
    throw HostError("汇总结果超出了 LibreOffice 工作表的范围 (" + std::to_string(rows_) + " 行, " +
                    std::to_string(columns_) + " 列), 统计未完成, 工作表未改动。");
  }
  CellValue stored = AsStored(value);
  auto fetched = columns_fetched_.find(column);
  if (fetched != columns_fetched_.end() && row <= used_->rows) {
    fetched->second[row - 1] = stored;
  } else {
    written_[CellKey(row, column)] = stored;
  }
  queued_.push_back({row, column, std::move(stored)});
  return true;
}

void LiveSheet::Flush() {
  if (queued_.empty()) return;
  SortAndDeduplicate(queued_);
  auto position = [](const CellWrite& w) { return std::pair(w.row, w.column); };
  size_t blocks_sent = 0;
  try {
    for (const CellBlock& block : GroupWrites(queued_, kCellsPerWrite)) {
      const sal_Int32 width = block.right - block.left + 1;
      Sequence<Sequence<Any>> data(block.bottom - block.top + 1);
      for (int32_t row = block.top; row <= block.bottom; ++row) {
        // Every cell of the block was written, so its row's cells follow each other in the queue.
        auto first =
            std::lower_bound(queued_.begin(), queued_.end(), std::pair(row, block.left),
                             [&](const CellWrite& w, const std::pair<int32_t, int32_t>& p) {
                               return position(w) < p;
                             });
        Sequence<Any> line(width);
        for (sal_Int32 k = 0; k < width; ++k) line.getArray()[k] = Encode(first[k].value);
        data.getArray()[row - block.top] = line;
      }
      Guard([&] {
        Reference<css::sheet::XCellRangeData>(
            sheet_->getCellRangeByPosition(block.left - 1, block.top - 1, block.right - 1,
                                           block.bottom - 1),
            UNO_QUERY_THROW)
            ->setDataArray(data);
      });
      ++blocks_sent;
    }
  } catch (const HostError& error) {
    // A large result goes in several calls: say so when some of them reached the sheet.
    if (blocks_sent == 0) throw;
    throw HostError(std::string(error.what()) + " 部分结果已写入工作表, 请检查后再保存。");
  }
  queued_.clear();
}

}  // namespace quilmark
