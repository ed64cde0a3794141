#include "src/host/memory_host.h"

namespace quilmark {
namespace {

bool InSheet(int32_t row, int32_t column) {
  return row >= 1 && row <= kMaxRow && column >= 1 && column <= kMaxColumn;
}

// Writing the empty text empties the cell, as it does in a spreadsheet.
bool ClearsCell(const CellValue& value) {
  const auto* text = std::get_if<std::string>(&value);
  return IsEmpty(value) || (text != nullptr && text->empty());
}

}  // namespace

int32_t MemorySheet::LastUsedRow() const {
  return cells_.empty() ? 0 : cells_.rbegin()->first.first;
}

std::optional<CellValue> MemorySheet::Read(int32_t row, int32_t column) const {
  ++read_count_;
  if (!InSheet(row, column) || failing_.count({row, column}) != 0) return std::nullopt;
  return At(row, column);
}

bool MemorySheet::Write(int32_t row, int32_t column, const CellValue& value) {
  if (!InSheet(row, column)) return false;
  ++write_count_;
  Set(row, column, value);
  return true;
}

void MemorySheet::Set(int32_t row, int32_t column, CellValue value) {
  if (ClearsCell(value)) {
    cells_.erase({row, column});
  } else {
    cells_[{row, column}] = std::move(value);
  }
}

void MemorySheet::SetRow(int32_t row, const std::vector<CellValue>& values) {
  for (size_t i = 0; i < values.size(); ++i) Set(row, static_cast<int32_t>(i) + 1, values[i]);
}

CellValue MemorySheet::At(int32_t row, int32_t column) const {
  auto it = cells_.find({row, column});
  return it == cells_.end() ? CellValue{} : it->second;
}

Worksheet* MemoryWorkbook::ActiveSheet() {
  if (active_ >= sheets_.size()) return nullptr;
  return sheets_[active_].worksheet.get();
}

bool MemoryWorkbook::HasWorksheet(std::string_view name) const {
  for (const Entry& entry : sheets_) {
    if (entry.worksheet != nullptr && entry.name == name) return true;
  }
  return false;
}

void MemoryWorkbook::Save() {
  if (save_failure_) throw HostError(*save_failure_);
  ++save_count_;
}

std::optional<std::string> MemoryWorkbook::CustomProperty(std::string_view name) const {
  const auto found = properties_.find(name);
  if (found == properties_.end()) return std::nullopt;
  return found->second;
}

bool MemoryWorkbook::SetCustomProperty(std::string_view name, std::string value) {
  properties_.insert_or_assign(std::string(name), std::move(value));
  return true;
}

MemorySheet& MemoryWorkbook::AddSheet(std::string name) {
  auto sheet = std::make_unique<MemorySheet>(name);
  MemorySheet& result = *sheet;
  sheets_.push_back({std::move(name), std::move(sheet)});
  active_ = sheets_.size() - 1;
  return result;
}

void MemoryWorkbook::AddChartSheet(std::string name) {
  sheets_.push_back({std::move(name), nullptr});
  active_ = sheets_.size() - 1;
}

MemorySheet* MemoryWorkbook::Sheet(std::string_view name) {
  for (Entry& entry : sheets_) {
    if (entry.name == name) return entry.worksheet.get();
  }
  return nullptr;
}

MemoryWorkbook& MemoryHost::OpenWorkbook(std::string name) {
  workbook_ = std::make_unique<MemoryWorkbook>(std::move(name));
  return *workbook_;
}

}  // namespace quilmark
