// A spreadsheet held in memory: the host of the tests, and a model of what the other hosts do.
// It records every write and save, and can be told to fail a cell, a save or the attach.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "src/host/sheet_host.h"

namespace quilmark {

class MemorySheet : public Worksheet {
 public:
  explicit MemorySheet(std::string name) : name_(std::move(name)) {}

  std::string Name() const override { return name_; }
  int32_t LastUsedRow() const override;
  std::optional<CellValue> Read(int32_t row, int32_t column) const override;
  bool Write(int32_t row, int32_t column, const CellValue& value) override;

  // Sets a cell without counting it as a write of the run.
  void Set(int32_t row, int32_t column, CellValue value);
  // Fills row `row` from column 1 on; a monostate leaves its cell empty.
  void SetRow(int32_t row, const std::vector<CellValue>& values);
  // Reads of this cell fail from now on (as if the host could not turn it into a value).
  void FailReads(int32_t row, int32_t column) { failing_.insert({row, column}); }

  // The cell as it is now; empty when it holds nothing.
  CellValue At(int32_t row, int32_t column) const;
  const std::map<std::pair<int32_t, int32_t>, CellValue>& cells() const { return cells_; }
  int64_t write_count() const { return write_count_; }
  int64_t read_count() const { return read_count_; }

 private:
  std::string name_;
  std::map<std::pair<int32_t, int32_t>, CellValue> cells_;  // (row, column) -> non-empty value
  std::set<std::pair<int32_t, int32_t>> failing_;
  int64_t write_count_ = 0;
  mutable int64_t read_count_ = 0;
};

class MemoryWorkbook : public Workbook {
 public:
  explicit MemoryWorkbook(std::string name) : name_(std::move(name)) {}

  std::string Name() const override { return name_; }
  Worksheet* ActiveSheet() override;
  bool HasWorksheet(std::string_view name) const override;
  void Save() override;
  // Custom properties as a file keeps them: a value set is read back at once and saved with
  // the workbook.
  std::optional<std::string> CustomProperty(std::string_view name) const override;
  bool SetCustomProperty(std::string_view name, std::string value) override;

  // Adds a worksheet and makes it the active sheet.
  MemorySheet& AddSheet(std::string name);
  // Adds a sheet that is not a worksheet (a chart sheet) and makes it the active sheet.
  void AddChartSheet(std::string name);
  // Makes the sheet at this 0-based position the active one.
  void Activate(size_t index) { active_ = index; }
  MemorySheet* Sheet(std::string_view name);

  // Save() throws HostError with this text from now on.
  void FailSaves(std::string message) { save_failure_ = std::move(message); }
  int save_count() const { return save_count_; }

 private:
  struct Entry {
    std::string name;
    std::unique_ptr<MemorySheet> worksheet;  // null for a chart sheet
  };
  std::string name_;
  std::vector<Entry> sheets_;
  size_t active_ = 0;
  std::optional<std::string> save_failure_;
  int save_count_ = 0;
  std::map<std::string, std::string, std::less<>> properties_;
};

class MemoryHost : public SpreadsheetHost {
 public:
  // Attach succeeds; no workbook is open until OpenWorkbook.
  MemoryHost() = default;

  bool Attach() override {
    ++attach_count_;
    return running_;
  }
  Workbook* ActiveWorkbook() override { return workbook_.get(); }

  MemoryWorkbook& OpenWorkbook(std::string name);
  // Attach fails from now on, as when no spreadsheet application is running.
  void StopApplication() { running_ = false; }
  int attach_count() const { return attach_count_; }

 private:
  bool running_ = true;
  int attach_count_ = 0;
  std::unique_ptr<MemoryWorkbook> workbook_;
};

}  // namespace quilmark
