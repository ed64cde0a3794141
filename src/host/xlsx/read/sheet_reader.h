// Streaming readers of the two large parts of a workbook, the worksheet and the shared strings.
// A worksheet of a million rows is read straight from the inflating zip entry into the compact
// cell store; its XML is kept so that saving can copy every untouched byte.
#pragma once

#include <cstdint>
#include <string>

#include "src/host/xlsx/package/package.h"
#include "src/host/xlsx/read/chunked.h"
#include "src/host/xlsx/read/sheet_layout.h"
#include "src/host/xlsx/read/sheet_model.h"

namespace quilmark::xlsx {

// Reads the shared strings part into the model's table. Throws PackageError.
void ReadSharedStrings(const Package& package, const std::string& part, SheetModel& model);

// How the rows of a worksheet are read: in chunks where they are plain rows and cells (several
// times faster), or all by the streaming parse (for comparing the two).
enum class RowReading { kChunksWherePlain, kStreamingOnly };

// Reads the worksheet part into the model. Its XML (as UTF-8) passes through `xml`, which holds
// only what is still to be read and at the end has its size; saving reads the part again. Returns
// whether the rows were read in chunks. Throws PackageError on damaged XML, a DTD, absurd sizes
// or row and column numbers.
bool ReadWorksheet(const Package& package, const std::string& part, SheetModel& model,
                   ByteChunks& xml, SheetLayout& layout,
                   RowReading reading = RowReading::kChunksWherePlain);

}  // namespace quilmark::xlsx
