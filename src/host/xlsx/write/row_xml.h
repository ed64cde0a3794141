// Re-reading one <row> element of a loaded worksheet, for merging the run's writes into it: its
// attributes, and each cell's byte range and attributes. Offsets are relative to the row's
// first byte.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "src/host/xlsx/read/sheet_layout.h"

namespace quilmark::xlsx {

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
class PlainRowScan;

// Reads rows one after another, reusing its memory from row to row.
class RowXmlReader {
 public:
  explicit RowXmlReader(const SheetLayout& layout);
  ~RowXmlReader();

  // The row, valid until the next call; as ReadRowXml.
  const RowXml& Read(std::string_view row_text, bool plain_scan = true);

 private:
  const SheetLayout& layout_;
  std::unique_ptr<PlainRowScan> scan_;
  RowXml row_;
};

// Throws PackageError if the element cannot be read again (it could the first time). A row of
// plain markup (no comments, instructions or declarations of its own, no references in attribute
// values) is read by a simple scan many times faster than the XML parse, which reads every other
// row; `plain_scan` false makes the parse read every row (for comparing the two). The scan reads
// tags with the row reader's tag scanner, so it takes a name by the same rule as that reader.
RowXml ReadRowXml(std::string_view row_text, const SheetLayout& layout, bool plain_scan = true);

}  // namespace quilmark::xlsx
