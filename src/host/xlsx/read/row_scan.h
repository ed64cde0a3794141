// A scanner for runs of plain worksheet rows: the text of a piece of <sheetData> that holds
// nothing but <row> elements, their <c> cells and the cells' values, formulas and inline strings.
// It takes from each row and cell what the model needs and accepts only a strict subset of XML:
// an element it does not know, text between elements, markup other than start and end tags, a
// tag it cannot read, or an end tag that does not match makes it refuse the whole text, which is
// then left to the streaming parse. What it accepts, it reads as any XML parser would: attribute
// values and texts with their line ends normalised, white space between elements ignored. Tags and
// their names are read by the tag scanner the writer's re-reading of rows uses too (tag_scan.h).
//
// The caller checks the text first for what the scanner does not look at: references ("&"),
// "]]>", bytes that are not UTF-8 and characters XML does not allow.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quilmark::xlsx {

// What the model takes from one <c> element. The attribute values are NUL-terminated in the
// scanned text (nullptr when absent), the texts point into it.
struct CellToken {
  int32_t column = 0;  // numbered after the scan
  const char* r = nullptr;
  const char* t = nullptr;
  const char* si = nullptr;   // of a shared formula's definition
  const char* ref = nullptr;  // likewise
  uint8_t flags = 0;          // kHasFormula, kSharedMaster
  bool has_value = false;     // a <v> child
  bool has_inline = false;    // an <is> child
  std::string_view value;
  std::string_view formula;                      // of a shared formula's definition
  uint32_t inline_begin = 0, inline_length = 0;  // in ScannedRows::inline_text
};

// One <row> element; its cells follow one another in ScannedRows::cells.
struct RowToken {
  int32_t number = 0;  // numbered after the scan
  const char* r = nullptr;
  uint64_t begin = 0, end = 0;  // the element's bytes in the part, from "<" to after ">"
  uint32_t first_cell = 0, cell_count = 0;
};

struct ScannedRows {
  std::vector<RowToken> rows;
  std::vector<CellToken> cells;
  std::string inline_text;  // the inline strings' plain texts, one after another

  void Clear();
};

class RowScanner {
 public:
  // `prefix` is the prefix of the main namespace ("" for the default one).
  explicit RowScanner(std::string_view prefix);

  // Scans text[0, length), whose first byte lies at `base` in the part, into `out`. The text is
  // changed in place (the values taken are NUL-terminated, line ends normalised); nothing
  // outside it is read. False when the text holds anything unexpected; `out` is then of no use.
  bool Scan(char* text, size_t length, uint64_t base, ScannedRows& out) const;

  // The element names, prefixed as the sheet writes them.
  struct Names {
    std::string row, cell, value, formula, inline_string, text, run, run_properties, phonetic,
        phonetic_properties;
  };

 private:
  Names names_;
};

}  // namespace quilmark::xlsx
