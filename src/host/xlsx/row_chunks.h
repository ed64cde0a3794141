// The rows of a worksheet's <sheetData>, read in chunks by pugixml rather than event by event:
// the region is cut after row end tags into pieces of a few hundred kilobytes, each parsed as an
// XML fragment, and its rows and cells go to the model exactly as the streaming parse would put
// them there (same numbering, same values, same byte range of every row element).
//
// Cutting the text at "</row>" is only sound when that string can mean nothing else, so the
// reader gives up (Status::kGiveUp) on anything it does not expect: a comment, CDATA section,
// processing instruction or declaration ("<!" or "<?"), an entity or character reference ("&"),
// an element other than a row, a cell, or the cell's value, formula and inline string parts,
// text between elements, a row or column out of range, a chunk that does not parse. The caller
// then reads the whole worksheet with the streaming parse, which also reports what is wrong.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "src/host/xlsx/chunked.h"
#include "src/host/xlsx/sheet_model.h"

namespace pugi {
class xml_document;
class xml_node;
}  // namespace pugi

namespace quilmark::xlsx {

class RowChunkReader {
 public:
  // Reads from `begin` (just after the <sheetData> start tag) in `xml`, which grows while the
  // part inflates. `prefix` is the prefix of the main namespace ("" for the default one).
  RowChunkReader(const ByteChunks& xml, SheetModel& model, std::string_view prefix, uint64_t begin);
  ~RowChunkReader();
  RowChunkReader(const RowChunkReader&) = delete;
  RowChunkReader& operator=(const RowChunkReader&) = delete;

  enum class Status {
    kMore,    // every complete chunk is read; more of the part is needed
    kDone,    // the rows are read up to the </sheetData> end tag, at close()
    kGiveUp,  // something unexpected: read the worksheet another way
  };
  // Reads the chunks that the bytes so far complete; with `at_end`, the part is complete and
  // the rest of the rows up to the end tag of <sheetData> is read as well.
  Status Advance(bool at_end);
  // Where "</sheetData>" starts (after kDone).
  uint64_t close() const { return close_; }

  // Whether a prefix is simple enough for the chunked reading.
  static bool Supports(std::string_view prefix);

 private:
  bool ReadChunk(uint64_t begin, uint64_t end);
  bool ReadRow(const pugi::xml_node& row, uint64_t begin, uint64_t end);
  // One past the last byte of the element that ends before `limit`, skipping white space.
  uint64_t ElementEnd(uint64_t limit) const;

  const ByteChunks& xml_;
  SheetModel& model_;
  std::string row_name_, cell_name_, value_name_, formula_name_, inline_name_, text_name_,
      run_name_, run_properties_name_, phonetic_name_, phonetic_properties_name_;
  std::string row_end_tag_;       // "</row>"
  std::string sheet_data_close_;  // "</sheetData"
  uint64_t cursor_ = 0;
  uint64_t searched_ = 0;  // no row end tag between cursor_ + kChunk and here
  uint64_t close_ = 0;
  int32_t previous_row_ = 0;
  std::unique_ptr<char[]> buffer_;
  size_t buffer_size_ = 0;
  std::unique_ptr<pugi::xml_document> doc_;
  std::string inline_;
};

// The position of the first `needle` in xml[from, to), or `to` when there is none.
uint64_t FindIn(const ByteChunks& xml, uint64_t from, uint64_t to, std::string_view needle);

}  // namespace quilmark::xlsx
