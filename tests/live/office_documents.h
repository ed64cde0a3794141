// Documents in a test office, handled over the test's own connection and independently of the
// live host: workbook files made from rows of values, loaded the way a user has them in front,
// and the cells of a sheet read back for checking.
#pragma once

#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "src/host/cell_value.h"
#include "src/host/live/office_connection.h"

namespace quilmark {

using Rows = std::vector<std::vector<CellValue>>;
using Cells = std::map<std::pair<int32_t, int32_t>, CellValue>;  // (row, column), non-empty

// Writes the rows, from A1, into a new workbook file (.xlsx) at path. A CellError becomes the
// formula that gives it ("#DIV/0!" or "#N/A").
void CreateWorkbookFile(OfficeConnection& office, const std::string& path, const Rows& rows);

// Loads the file hidden (and read-only if asked) and brings its frame to the front, so it is the
// office's current document, as when the user has it open.
css::uno::Reference<css::sheet::XSpreadsheetDocument> OpenWorkbook(OfficeConnection& office,
                                                                   const std::string& path,
                                                                   bool read_only = false);

// A new empty spreadsheet document in front.
css::uno::Reference<css::sheet::XSpreadsheetDocument> OpenNewWorkbook(OfficeConnection& office);

// Closes every document the office has open, discarding changes.
void CloseAllDocuments(OfficeConnection& office);

// The non-empty cells of the document's first sheet: numbers, texts, and errors as their
// displayed text.
Cells SheetCells(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& document);

// One cell of the document's first sheet, read the same way.
CellValue CellAt(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& document, int32_t row,
                 int32_t column);

// Whether the document has changes that are not saved; MarkUnmodified clears that state.
bool IsModified(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& document);
void MarkUnmodified(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& document);

}  // namespace quilmark
