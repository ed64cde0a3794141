// A loaded .xlsx workbook and its one worksheet that the run works on.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "src/host/sheet_host.h"
#include "src/host/xlsx/package/custom_properties.h"
#include "src/host/xlsx/package/parallel_deflate.h"
#include "src/host/xlsx/read/sheet_model.h"
#include "src/host/xlsx/read/sheet_reader.h"

namespace pugi {
class xml_node;
}

namespace quilmark::xlsx {

class Package;
class PackageEditor;

class XlsxSheet final : public Worksheet {
 public:
  explicit XlsxSheet(std::string name) : name_(std::move(name)) {}

  std::string Name() const override { return name_; }
  int32_t LastUsedRow() const override { return model().LastUsedRow(); }
  std::optional<CellValue> Read(int32_t row, int32_t column) const override {
    return model().Read(row, column);
  }
  bool Write(int32_t row, int32_t column, const CellValue& value) override {
    return model().Write(row, column, value);
  }
  bool SetDecimals(int32_t row, int32_t column, int decimals) override {
    return model().SetDecimals(row, column, decimals);
  }
  // While the rows are still to load.
  std::unique_ptr<RowSource> StreamedRows(const SheetColumns& columns) override;

  // Fills the model and the layout from the file; throws HostError.
  using RowLoad = std::function<void(SheetModel&, SheetLayout&)>;
  // The rows are loaded by `load` when first needed rather than now.
  void DeferRows(RowLoad load) { pending_ = std::move(load); }

  SheetModel& model() {
    LoadRows();
    return model_;
  }
  const SheetModel& model() const {
    LoadRows();
    return model_;
  }
  SheetLayout& layout() {
    LoadRows();
    return layout_;
  }

 private:
  void LoadRows() const;
  // Loads the rows with `load`, each handed to `stream` as it is read.
  void LoadStreaming(RowStream& stream, const RowLoad& load);

  std::string name_;
  // Filled on first use where the rows were deferred.
  mutable SheetModel model_;
  mutable SheetLayout layout_;
  mutable RowLoad pending_;
};

class XlsxWorkbook final : public Workbook {
 public:
  // Loads the file. Throws HostError("无法读取工作簿: ...").
  // `sheet`: the sheet to work on instead of the active one, when not empty.
  // `defer_rows_from`: from this size of its XML on, the worksheet's rows are read when first
  // needed, or streamed to the run.
  XlsxWorkbook(std::filesystem::path path, const std::string& sheet, std::filesystem::path output,
               std::optional<uint64_t> defer_rows_from = std::nullopt);

  std::string Name() const override;
  // nullptr when the sheet in front is a chart, dialog or macro sheet.
  Worksheet* ActiveSheet() override { return sheet_.get(); }
  bool HasWorksheet(std::string_view name) const override;
  std::optional<std::string> CustomProperty(std::string_view name) const override;
  // false when the workbook's custom properties part cannot be read (it is then kept as it is).
  bool SetCustomProperty(std::string_view name, std::string value) override;
  // Once per workbook: a second call throws HostError.
  void Save() override;

  // The sheet in front as the workbook names it, worksheet or not.
  const std::string& active_name() const { return active_name_; }
  // The part of the worksheet in front ("xl/worksheets/sheet1.xml").
  const std::string& sheet_part() const { return sheet_part_; }

 private:
  struct SheetEntry {
    std::string name;
    std::string part;  // empty when the relationship is missing
    bool worksheet = false;
  };

  void Load(const std::string& sheet);
  // Finds the workbook part; throws PackageError for a package that holds none.
  void CheckIsWorkbook(const Package& package);
  // Fills sheets_ and the calculation chain's part; returns the shared strings' part.
  std::string ReadSheetList(const Package& package, const pugi::xml_node& root);
  // The entry of the sheet to work on. Throws PackageError when there is no such sheet.
  size_t ChooseSheet(const std::string& wanted_sheet, const pugi::xml_node& root) const;
  void LoadCustomProperties(const Package& package);
  // Reads the worksheet's rows into the model and the layout. Throws HostError.
  void LoadRows(SheetModel& model, SheetLayout& layout) const;
  // The package with the run's changes, written to `target` through a temporary file.
  void WritePackage(const std::filesystem::path& target);
  // The small parts a save to `target` changes, by name: the new custom properties, without the
  // calculation chain when a formula was written over, and the workbook's content type where
  // the target's name calls for another.
  std::vector<std::pair<std::string, std::string>> EditSmallParts(
      PackageEditor& editor, const std::filesystem::path& target);
  // Adds the number formats of the cells written with decimals to the styles part, through
  // `text`, which gives a part's text as the save will write it.
  void AddDecimalStyles(const Package& package,
                        const std::function<std::string&(const std::string&)>& text);
  struct SheetOutput;

  std::filesystem::path path_;
  std::filesystem::path output_;
  std::string bytes_;  // the file as loaded; released while saving
  bool saved_ = false;
  std::optional<uint64_t> defer_rows_from_;
  std::vector<SheetEntry> sheets_;
  std::string active_name_;
  std::string sheet_part_;
  std::string workbook_part_;
  std::string workbook_type_;  // as [Content_Types].xml declares it
  std::string calc_chain_part_;
  std::string styles_part_;  // empty when the workbook has none
  CustomProperties properties_;
  std::string properties_part_;      // where the properties are or will be
  bool properties_related_ = false;  // the package's relationships name the part
  bool properties_readable_ = true;
  std::unique_ptr<XlsxSheet> sheet_;
};

}  // namespace quilmark::xlsx
