#include "tests/live/office_documents.h"

#include <algorithm>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <stdexcept>

namespace quilmark {
namespace {

using css::beans::PropertyValue;
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;

// The arguments of a load or store call: one named value.
Sequence<PropertyValue> Arguments(const char* name, Any value) {
  Sequence<PropertyValue> arguments(1);
  arguments.getArray()[0].Name = OUString::createFromAscii(name);
  arguments.getArray()[0].Value = std::move(value);
  return arguments;
}

OUString FileUrl(const std::string& path) { return FromUtf8("file://" + path); }

// A headless office crashes on a document loaded with a visible frame; hidden, the document
// becomes the current one only once its frame is activated.
Reference<css::sheet::XSpreadsheetDocument> Load(OfficeConnection& office, const OUString& url,
                                                 bool read_only = false) {
  Reference<css::frame::XComponentLoader> loader(office.desktop(), UNO_QUERY_THROW);
  Sequence<PropertyValue> arguments = Arguments("Hidden", Any(true));
  if (read_only) {
    arguments.realloc(2);
    arguments.getArray()[1].Name = "ReadOnly";
    arguments.getArray()[1].Value <<= true;
  }
  Reference<css::sheet::XSpreadsheetDocument> document(
      loader->loadComponentFromURL(url, "_blank", 0, arguments), UNO_QUERY);
  if (!document.is()) throw std::runtime_error("the office did not load " + ToUtf8(url));
  Reference<css::frame::XModel>(document, UNO_QUERY_THROW)
      ->getCurrentController()
      ->getFrame()
      ->activate();
  return document;
}

Reference<css::sheet::XSpreadsheet> FirstSheet(
    const Reference<css::sheet::XSpreadsheetDocument>& document) {
  Reference<css::container::XIndexAccess> sheets(document->getSheets(), UNO_QUERY_THROW);
  return Reference<css::sheet::XSpreadsheet>(sheets->getByIndex(0), UNO_QUERY_THROW);
}

// A number, a text, or for an error value the text the office shows; empty for "".
CellValue Decode(const Reference<css::sheet::XSpreadsheet>& sheet, const Any& any, sal_Int32 row,
                 sal_Int32 column) {
  double number = 0;
  OUString text;
  if (any >>= number) return number;
  if (any >>= text) return text.isEmpty() ? CellValue{} : CellValue(ToUtf8(text));
  Reference<css::text::XTextRange> shown(sheet->getCellByPosition(column, row), UNO_QUERY_THROW);
  return CellError{ToUtf8(shown->getString())};
}

}  // namespace

void CreateWorkbookFile(OfficeConnection& office, const std::string& path, const Rows& rows) {
  Reference<css::sheet::XSpreadsheetDocument> document = OpenNewWorkbook(office);
  Reference<css::sheet::XSpreadsheet> sheet = FirstSheet(document);
  size_t width = 0;
  for (const auto& row : rows) width = std::max(width, row.size());
  if (!rows.empty() && width > 0) {
    // Numbers and texts in one call (a text stays a text), error formulas one by one after.
    Sequence<Sequence<Any>> data(rows.size());
    for (size_t r = 0; r < rows.size(); ++r) {
      Sequence<Any> line(width);
      for (size_t c = 0; c < width; ++c) {
        const CellValue value = c < rows[r].size() ? rows[r][c] : CellValue{};
        if (const double* number = std::get_if<double>(&value)) {
          line.getArray()[c] <<= *number;
        } else if (const std::string* text = std::get_if<std::string>(&value)) {
          line.getArray()[c] <<= FromUtf8(*text);
        } else {
          line.getArray()[c] <<= OUString();
        }
      }
      data.getArray()[r] = line;
    }
    Reference<css::sheet::XCellRangeData>(
        sheet->getCellRangeByPosition(0, 0, width - 1, rows.size() - 1), UNO_QUERY_THROW)
        ->setDataArray(data);
  }
  for (size_t r = 0; r < rows.size(); ++r) {
    for (size_t c = 0; c < rows[r].size(); ++c) {
      if (const CellError* error = std::get_if<CellError>(&rows[r][c])) {
        sheet->getCellByPosition(c, r)->setFormula(error->text == "#N/A" ? OUString("=NA()")
                                                                         : OUString("=1/0"));
      }
    }
  }
  Reference<css::frame::XStorable>(document, UNO_QUERY_THROW)
      ->storeToURL(FileUrl(path), Arguments("FilterName", Any(OUString("Calc MS Excel 2007 XML"))));
  Reference<css::util::XCloseable>(document, UNO_QUERY_THROW)->close(true);
}

Reference<css::sheet::XSpreadsheetDocument> OpenWorkbook(OfficeConnection& office,
                                                         const std::string& path, bool read_only) {
  return Load(office, FileUrl(path), read_only);
}

Reference<css::sheet::XSpreadsheetDocument> OpenNewWorkbook(OfficeConnection& office) {
  return Load(office, "private:factory/scalc");
}

void CloseAllDocuments(OfficeConnection& office) {
  Reference<css::container::XEnumeration> components =
      office.desktop()->getComponents()->createEnumeration();
  std::vector<Reference<css::util::XCloseable>> open;
  while (components->hasMoreElements()) {
    Reference<css::util::XCloseable> closeable(components->nextElement(), UNO_QUERY);
    if (closeable.is()) open.push_back(closeable);
  }
  for (const auto& closeable : open) closeable->close(true);
}

Cells SheetCells(const Reference<css::sheet::XSpreadsheetDocument>& document) {
  Reference<css::sheet::XSpreadsheet> sheet = FirstSheet(document);
  Reference<css::sheet::XSheetCellCursor> cursor = sheet->createCursor();
  Reference<css::sheet::XUsedAreaCursor>(cursor, UNO_QUERY_THROW)->gotoEndOfUsedArea(false);
  const css::table::CellRangeAddress end =
      Reference<css::sheet::XCellRangeAddressable>(cursor, UNO_QUERY_THROW)->getRangeAddress();
  Reference<css::sheet::XCellRangeData> range(
      sheet->getCellRangeByPosition(0, 0, end.EndColumn, end.EndRow), UNO_QUERY_THROW);
  const Sequence<Sequence<Any>> data = range->getDataArray();
  Cells cells;
  for (sal_Int32 r = 0; r < data.getLength(); ++r) {
    for (sal_Int32 c = 0; c < data[r].getLength(); ++c) {
      CellValue value = Decode(sheet, data[r][c], r, c);
      if (!IsEmpty(value)) cells[{r + 1, c + 1}] = std::move(value);
    }
  }
  return cells;
}

CellValue CellAt(const Reference<css::sheet::XSpreadsheetDocument>& document, int32_t row,
                 int32_t column) {
  Reference<css::sheet::XSpreadsheet> sheet = FirstSheet(document);
  Reference<css::sheet::XCellRangeData> range(
      sheet->getCellRangeByPosition(column - 1, row - 1, column - 1, row - 1), UNO_QUERY_THROW);
  return Decode(sheet, range->getDataArray()[0][0], row - 1, column - 1);
}

bool IsModified(const Reference<css::sheet::XSpreadsheetDocument>& document) {
  return Reference<css::util::XModifiable>(document, UNO_QUERY_THROW)->isModified();
}

void MarkUnmodified(const Reference<css::sheet::XSpreadsheetDocument>& document) {
  Reference<css::util::XModifiable>(document, UNO_QUERY_THROW)->setModified(false);
}

}  // namespace quilmark
