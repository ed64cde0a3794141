#include "src/host/xlsx/read/sheet_model.h"

#include <algorithm>
#include <bit>
#include <type_traits>

#include "src/host/sheet_host.h"

namespace quilmark::xlsx {
namespace {

// Rows held at most while streaming before the ones already handed on are forgotten.
constexpr size_t kStreamHeld = 16384;

bool ColumnLess(const Cell& a, const Cell& b) { return a.column < b.column; }

}  // namespace

uint32_t SheetModel::BeginRow(int32_t number, uint32_t xml_begin) {
  const uint32_t slot = static_cast<uint32_t>(rows_.size());
  Row row;
  row.number = number;
  row.first_cell = static_cast<uint32_t>(cells_.size());
  row.xml_begin = xml_begin;
  rows_.push_back(row);
  if (number <= previous_row_) rows_in_order_ = false;
  previous_row_ = number;
  if (row_index_.size() <= static_cast<size_t>(number)) {
    row_index_.resize(std::max<size_t>(number + 1, row_index_.size() * 2), -1);
  }
  if (row_index_[number] < 0) {
    row_index_[number] = static_cast<int32_t>(slot);
  } else {
    repeated_.emplace(static_cast<uint32_t>(row_index_[number]), slot);
  }
  return slot;
}

void SheetModel::AddCell(const Cell& cell) { cells_.push_back(cell); }

void SheetModel::EndRow(uint32_t xml_end) {
  Row& row = rows_.back();
  row.xml_length = xml_end - row.xml_begin;
  row.cell_count = static_cast<uint16_t>(cells_.size() - row.first_cell);
  bool sorted = true;
  bool has_value = false;
  for (uint32_t i = 0; i < row.cell_count; ++i) {
    const Cell& cell = cells_[row.first_cell + i];
    if (i > 0 && cell.column < cells_[row.first_cell + i - 1].column) sorted = false;
    if (cell.type != CellType::kEmpty) has_value = true;
  }
  if (!sorted) {
    std::vector<Cell> copy;
    for (uint32_t i = 0; i < row.cell_count; ++i) copy.push_back(cells_[row.first_cell + i]);
    std::stable_sort(copy.begin(), copy.end(), ColumnLess);
    for (uint32_t i = 0; i < row.cell_count; ++i) cells_[row.first_cell + i] = copy[i];
  }
  if (has_value) last_used_row_ = std::max(last_used_row_, row.number);
  if (stream_ != nullptr) Streamed(has_value);
}

void SheetModel::Streamed(bool has_value) {
  if (!rows_in_order_) throw RowsNotInOrder{};
  if (!has_value) return;
  stream_->RowsUpTo(rows_.back().number);
  if (rows_.size() >= kStreamHeld) KeepLastRowOnly();
}

void SheetModel::KeepLastRowOnly() {
  Row last = rows_.back();
  std::vector<Cell> cells;
  for (uint32_t i = 0; i < last.cell_count; ++i) cells.push_back(cells_[last.first_cell + i]);
  for (size_t slot = 0; slot + 1 < rows_.size(); ++slot) row_index_[rows_[slot].number] = -1;
  rows_.truncate(0);
  cells_.truncate(0);
  last.first_cell = 0;
  rows_.push_back(last);
  for (const Cell& cell : cells) cells_.push_back(cell);
  row_index_[last.number] = 0;
}

void SheetModel::ResetRows() {
  rows_.truncate(0);
  cells_.truncate(0);
  row_index_.clear();
  repeated_.clear();
  shared_formulas_.clear();
  last_used_row_ = 0;
  previous_row_ = 0;
  rows_in_order_ = true;
}

std::string_view SheetModel::SharedString(uint32_t index) const {
  return arena_.Get(shared_strings_[index]);
}

std::optional<CellValue> SheetModel::ValueOf(const Cell& cell) const {
  switch (cell.type) {
    case CellType::kEmpty:
      return CellValue{};
    case CellType::kNumber:
      return CellValue{std::bit_cast<double>(cell.payload())};
    case CellType::kShared:
      return CellValue{std::string(SharedString(cell.lo))};
    case CellType::kText:
      return CellValue{std::string(arena_.Get(cell.payload()))};
    case CellType::kBool:
      return CellValue{cell.lo != 0};
    case CellType::kDate:
      return CellValue{CellDate{std::string(arena_.Get(cell.payload()))}};
    case CellType::kError:
      return CellValue{CellError{std::string(arena_.Get(cell.payload()))}};
    case CellType::kBad:
      break;
  }
  return std::nullopt;
}

Cell* SheetModel::FindInElement(uint32_t slot, int32_t column) {
  const Row& row = rows_[slot];
  uint32_t low = row.first_cell;
  uint32_t high = row.first_cell + row.cell_count;
  while (low < high) {
    const uint32_t mid = low + (high - low) / 2;
    if (cells_[mid].column < column) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  if (low < row.first_cell + row.cell_count && cells_[low].column == column) return &cells_[low];
  if (row.flags & kRowWritten) {
    const auto added = added_.find(slot);
    if (added != added_.end()) {
      for (Cell& cell : added->second) {
        if (cell.column == column) return &cell;
      }
    }
  }
  return nullptr;
}

Cell* SheetModel::FindCellMutable(int32_t row, int32_t column) {
  if (static_cast<size_t>(row) >= row_index_.size() || row_index_[row] < 0) return nullptr;
  const uint32_t slot = static_cast<uint32_t>(row_index_[row]);
  if (Cell* cell = FindInElement(slot, column)) {
    return cell;
  }
  if (!repeated_.empty()) {
    const auto [begin, end] = repeated_.equal_range(slot);
    for (auto it = begin; it != end; ++it) {
      if (Cell* cell = FindInElement(it->second, column)) return cell;
    }
  }
  return nullptr;
}

const Cell* SheetModel::FindCell(int32_t row, int32_t column) const {
  return const_cast<SheetModel*>(this)->FindCellMutable(row, column);
}

std::optional<CellValue> SheetModel::Read(int32_t row, int32_t column) const {
  if (row < 1 || row > kMaxRow || column < 1 || column > kMaxColumn) return std::nullopt;
  const Cell* cell = FindCell(row, column);
  if (cell == nullptr) return CellValue{};
  return ValueOf(*cell);
}

void SheetModel::Store(Cell& cell, const CellValue& value) {
  std::visit(
      [&](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          cell.type = CellType::kEmpty;
          cell.set_payload(0);
        } else if constexpr (std::is_same_v<T, double>) {
          cell.type = CellType::kNumber;
          cell.set_payload(std::bit_cast<uint64_t>(v));
        } else if constexpr (std::is_same_v<T, std::string>) {
          cell.type = CellType::kText;
          cell.set_payload(arena_.Add(v));
        } else if constexpr (std::is_same_v<T, bool>) {
          cell.type = CellType::kBool;
          cell.set_payload(v ? 1 : 0);
        } else if constexpr (std::is_same_v<T, CellDate>) {
          cell.type = CellType::kDate;
          cell.set_payload(arena_.Add(v.iso));
        } else {
          cell.type = CellType::kError;
          cell.set_payload(arena_.Add(v.text));
        }
      },
      value);
}

bool SheetModel::HasValueInRow(int32_t row) const {
  if (static_cast<size_t>(row) >= row_index_.size() || row_index_[row] < 0) return false;
  auto element_has_value = [&](uint32_t slot) {
    const Row& r = rows_[slot];
    for (uint32_t i = 0; i < r.cell_count; ++i) {
      if (cells_[r.first_cell + i].type != CellType::kEmpty) return true;
    }
    const auto added = added_.find(slot);
    if (added != added_.end()) {
      for (const Cell& cell : added->second) {
        if (cell.type != CellType::kEmpty) return true;
      }
    }
    return false;
  };
  const uint32_t slot = static_cast<uint32_t>(row_index_[row]);
  if (element_has_value(slot)) return true;
  const auto [begin, end] = repeated_.equal_range(slot);
  for (auto it = begin; it != end; ++it) {
    if (element_has_value(it->second)) return true;
  }
  return false;
}

bool SheetModel::SetDecimals(int32_t row, int32_t column, int decimals) {
  if (row < 1 || row > kMaxRow || column < 1 || column > kMaxColumn) return false;
  decimals_[{row, column}] = decimals;
  return true;
}

bool SheetModel::Write(int32_t row, int32_t column, const CellValue& value) {
  if (row < 1 || row > kMaxRow || column < 1 || column > kMaxColumn) return false;
  // The empty text empties the cell, as it does in a spreadsheet: an empty zone name in a block
  // leaves no empty text cell behind that would widen the used range.
  if (const auto* text = std::get_if<std::string>(&value); text != nullptr && text->empty()) {
    return Write(row, column, CellValue{});
  }
  if (row_index_.size() <= static_cast<size_t>(row)) row_index_.resize(row + 1, -1);
  const bool empty = IsEmpty(value);
  Cell* cell = FindCellMutable(row, column);
  if (cell == nullptr && empty) return true;  // nothing there to clear
  changed_ = true;
  if (cell != nullptr) {
    if (cell->flags & kHasFormula) formula_overwritten_ = true;
    Store(*cell, value);
    cell->flags |= kWritten;
    // Mark the element that holds the cell; it is one of the row's elements.
    const uint32_t first = static_cast<uint32_t>(row_index_[row]);
    rows_[first].flags |= kRowWritten;
    const auto [begin, end] = repeated_.equal_range(first);
    for (auto it = begin; it != end; ++it) rows_[it->second].flags |= kRowWritten;
  } else {
    uint32_t slot;
    if (row_index_[row] >= 0) {
      slot = static_cast<uint32_t>(row_index_[row]);
    } else {
      slot = static_cast<uint32_t>(rows_.size());
      Row added_row;
      added_row.number = row;
      added_row.flags = kRowNew;
      rows_.push_back(added_row);
      row_index_[row] = static_cast<int32_t>(slot);
      new_rows_.emplace(row, slot);
    }
    rows_[slot].flags |= kRowWritten;
    Cell added_cell;
    added_cell.column = static_cast<uint16_t>(column);
    added_cell.flags = kWritten;
    Store(added_cell, value);
    std::vector<Cell>& list = added_[slot];
    list.insert(std::upper_bound(list.begin(), list.end(), added_cell, ColumnLess), added_cell);
  }
  if (!empty) {
    last_used_row_ = std::max(last_used_row_, row);
    if (written_first_row_ == 0) {
      written_first_row_ = written_last_row_ = row;
      written_min_column_ = written_max_column_ = column;
    } else {
      written_first_row_ = std::min(written_first_row_, row);
      written_last_row_ = std::max(written_last_row_, row);
      written_min_column_ = std::min(written_min_column_, column);
      written_max_column_ = std::max(written_max_column_, column);
    }
  } else if (row == last_used_row_) {
    while (last_used_row_ > 0 && !HasValueInRow(last_used_row_)) --last_used_row_;
  }
  return true;
}

std::optional<std::pair<int32_t, int32_t>> SheetModel::written_rows() const {
  if (written_first_row_ == 0) return std::nullopt;
  return std::make_pair(written_first_row_, written_last_row_);
}

}  // namespace quilmark::xlsx
