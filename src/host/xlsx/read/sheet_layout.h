// Where things are in a worksheet's XML: what the reader finds out about the part beyond its
// rows, and what the writer needs to write it back.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "src/host/xlsx/read/cell_ref.h"

namespace quilmark::xlsx {

// Where things are in the worksheet XML, for writing it back.
struct SheetLayout {
  std::string encoding;  // the part's encoding when it is not UTF-8: offsets are in its UTF-8 text
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
  // The style index (a cell's s) of each number of decimals the run's cells are shown with, as
  // the save added them to the styles part; empty when none were added.
  std::map<int, std::string> decimal_styles;
};

}  // namespace quilmark::xlsx
