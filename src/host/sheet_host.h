// The spreadsheet a run works on: the application, its workbook in front and that workbook's
// active worksheet. The run sees nothing else. A workbook file loaded and written back, a live
// office and the in-memory sheets of the tests all implement these three interfaces.
//
// Two kinds of failure: a single cell that cannot be read or written reports it as a value
// (nullopt or false) and the caller skips that step; a failure of the host itself (the workbook
// cannot be loaded or saved, the connection is lost) throws HostError, whose text is the message
// shown to the user, and stops the run.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "src/host/cell_value.h"
#include "src/host/row_source.h"
#include "src/host/sheet_columns.h"

namespace quilmark {

// The largest sheet a workbook can hold.
inline constexpr int32_t kMaxRow = 1048576;
inline constexpr int32_t kMaxColumn = 16384;

// A failure of the host itself. what() is the whole message for the user, prefix included
// (for example "无法保存工作簿: ...").
class HostError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Worksheet {
 public:
  virtual ~Worksheet() = default;

  // The sheet's name as the workbook holds it.
  virtual std::string Name() const = 0;

  // The last row of the smallest rectangle holding every cell that has a value (not that
  // rectangle's row count); 0 when no cell has a value.
  virtual int32_t LastUsedRow() const = 0;

  // The cell's value; nullopt when row or column lies outside the sheet or the cell cannot be
  // read. May throw HostError.
  virtual std::optional<CellValue> Read(int32_t row, int32_t column) const = 0;

  // Makes the cell hold the value: a text stays a text even when it looks like a number; an
  // empty value or the empty text clears the cell, as in a spreadsheet. false, and the cell
  // unchanged, when row or column lies outside the sheet. May throw HostError.
  virtual bool Write(int32_t row, int32_t column, const CellValue& value) = 0;

  // Shows the number the run wrote into the cell with `decimals` places (0.00 for 2), trailing
  // zeros included. false where the host keeps no formats (the cell then shows as it would).
  virtual bool SetDecimals(int32_t /*row*/, int32_t /*column*/, int /*decimals*/) { return false; }

  // Rows 1 to the last used row as they are read in, where the sheet can give them so before it
  // has loaded (a large workbook file need then not be held row by row): each row's cells of
  // `columns`, read as Read would read them, and the rows after the last one with a value left
  // out. nullptr where the sheet cannot, or has loaded already: the caller then reads the cells.
  // The sheet is loaded once the rows have ended (LastUsedRow and the rest as usual). Next throws
  // RowsNotInOrder, and the sheet then loads as it would have, when its rows turn out not to stand
  // in ascending order; HostError when the sheet cannot be read.
  virtual std::unique_ptr<RowSource> StreamedRows(const SheetColumns& /*columns*/) {
    return nullptr;
  }
};

// Thrown by a streamed worksheet's rows whose row numbers do not ascend: read the sheet's cells.
struct RowsNotInOrder {};

class Workbook {
 public:
  virtual ~Workbook() = default;

  // The workbook's name as the user sees it (a file's name, a document's title).
  virtual std::string Name() const = 0;

  // The sheet the workbook has in front; nullptr when that sheet is not a worksheet (a chart
  // sheet, for one).
  virtual Worksheet* ActiveSheet() = 0;

  // Whether the workbook holds a worksheet of that name. Never fails.
  virtual bool HasWorksheet(std::string_view name) const = 0;

  // A custom document property the workbook keeps between runs (where earlier results were
  // written, for one); nullopt where it has none or the host keeps no properties.
  virtual std::optional<std::string> CustomProperty(std::string_view /*name*/) const {
    return std::nullopt;
  }
  // Sets a custom text property, kept by the next Save(); false where the host keeps none.
  virtual bool SetCustomProperty(std::string_view /*name*/, std::string /*value*/) { return false; }

  // Keeps the run's changes: called once when a run completes, before the completion message.
  // A file is written here; a live office may have nothing to do. Throws HostError on failure,
  // leaving what was there before untouched.
  virtual void Save() = 0;
};

class SpreadsheetHost {
 public:
  virtual ~SpreadsheetHost() = default;

  // Reaches the spreadsheet application; false when none answers. Never starts one.
  virtual bool Attach() = 0;

  // The workbook the user has in front; nullptr when none is open. Throws HostError when there
  // is one but it cannot be loaded.
  virtual Workbook* ActiveWorkbook() = 0;
};

// CheckXSheet: whether the workbook holds a worksheet of that name; false without a workbook or
// when the host cannot answer. Never fails.
inline bool CheckXSheet(std::string_view name, const Workbook* workbook) {
  try {
    return workbook != nullptr && workbook->HasWorksheet(name);
  } catch (const HostError&) {
    return false;
  }
}

}  // namespace quilmark
