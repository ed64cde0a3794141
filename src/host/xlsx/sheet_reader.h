// Streaming readers of the two large parts of a workbook, the worksheet and the shared strings.
// A worksheet of a million rows is read straight from the inflating zip entry into the compact
// cell store; its XML is kept so that saving can copy every untouched byte.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "src/host/xlsx/cell_ref.h"
#include "src/host/xlsx/chunked.h"
#include "src/host/xlsx/package.h"
#include "src/host/xlsx/sheet_model.h"

namespace quilmark::xlsx {

// Where things are in the worksheet XML, for writing it back.
struct SheetLayout {
  std::string prefix;  // the prefix of the main namespace on <sheetData> ("" when default)
  // Namespace declarations of the root and <sheetData>, in scope for every row.
  std::vector<std::pair<std::string, std::string>> namespaces;
  bool has_sheet_data = false;
  bool sheet_data_empty = false;                           // <sheetData/>
  uint64_t sheet_data_begin = 0;                           // the element's first byte
  uint64_t sheet_data_end = 0;                             // one past its last byte
  uint64_t sheet_data_close = 0;                           // where "</sheetData>" starts
  uint64_t insert_sheet_data = 0;                          // where a missing <sheetData> would go
  std::optional<std::pair<uint64_t, uint64_t>> dimension;  // the <dimension> element's bytes
  std::optional<RangeRef> dimension_ref;
  std::string dimension_qname;  // "dimension" with its prefix
};

// Reads the shared strings part into the model's table. Throws PackageError.
void ReadSharedStrings(const Package& package, const std::string& part, SheetModel& model);

// How the rows of a worksheet are read: in chunks where they are plain rows and cells (several
// times faster), or all by the streaming parse (for comparing the two).
enum class RowReading { kChunksWherePlain, kStreamingOnly };

// Reads the worksheet part into the model, keeping its XML (as UTF-8) in `xml`. Returns whether
// the rows were read in chunks. Throws PackageError on damaged XML, a DTD, absurd sizes or row
// and column numbers.
bool ReadWorksheet(const Package& package, const std::string& part, SheetModel& model,
                   ByteChunks& xml, SheetLayout& layout,
                   RowReading reading = RowReading::kChunksWherePlain);

// Re-reads one <row> element of a worksheet (for merging writes into it): its attributes, and
// each cell's byte range and attributes. Offsets are relative to the row's first byte.
struct RowCellXml {
  int32_t column = 0;
  uint32_t begin = 0, end = 0;  // the <c> element
  uint32_t start_tag_end = 0;   // one past the start tag
  uint32_t qname_length = 1;    // "c" or "x:c"
  bool has_ref = false;         // a valid r attribute
  // Without one: the other attributes, for writing the start tag again with a reference.
  std::vector<std::pair<std::string, std::string>> attributes;
  std::string style;         // the s attribute, if any
  std::string shared_index;  // si of a shared formula that does not define its group
  bool shared_member = false;
  uint32_t formula_begin = 0, formula_end = 0;  // that <f> element
};
struct RowXml {
  std::vector<std::pair<std::string, std::string>> attributes;  // qualified name, value
  std::vector<std::pair<std::string, std::string>> declarations;
  std::string qname;  // "row" with its prefix
  std::vector<RowCellXml> cells;
  // Bytes inside the row after the last cell's end (extension elements), as a range.
  uint32_t tail_begin = 0, tail_end = 0;
};
// Throws PackageError if the element cannot be read again (it could the first time).
RowXml ReadRowXml(std::string_view row_text, const SheetLayout& layout);

}  // namespace quilmark::xlsx
