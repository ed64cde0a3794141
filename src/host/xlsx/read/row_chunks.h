// The rows of a worksheet's <sheetData>, read in chunks by a scanner of plain rows rather than
// event by event: the region is cut after row end tags into pieces of a few hundred kilobytes,
// each scanned by a second thread while the one before goes into the model exactly as the
// streaming parse would put it there (same numbering, same values, same byte range of every row
// element).
//
// Cutting the text at "</row>" is only sound when that string can mean nothing else, so the
// reader gives up (Status::kGiveUp) on anything it does not expect: a comment, CDATA section,
// processing instruction or declaration ("<!" or "<?"), an entity or character reference ("&"),
// a NUL byte, an element other than a row, a cell, or the cell's value, formula and inline string
// parts, text between elements, a row or column out of range, a chunk that does not scan, a
// name with other than ASCII name characters, and anything the streaming parse would refuse:
// bytes that are not UTF-8, characters XML does not allow, an attribute given twice, "]]>" in
// text. The caller then reads the whole worksheet with the streaming parse, which also reports
// what is wrong.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "src/host/xlsx/read/cell_reading.h"
#include "src/host/xlsx/read/chunked.h"
#include "src/host/xlsx/read/row_scan.h"
#include "src/host/xlsx/read/sheet_model.h"

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
  // The first byte of the XML the reader may still look at; those before it can be freed.
  uint64_t needed_from() const {
    return read_ < submitted_ ? chunks_[read_ % kRing].begin : cursor_;
  }

  // Whether a prefix is simple enough for the chunked reading.
  static bool Supports(std::string_view prefix);

 private:
  // A chunk's text, scanned in place by a scanning thread into its rows and cells.
  struct Chunk {
    std::unique_ptr<char[]> text;
    size_t capacity = 0;
    uint64_t begin = 0, end = 0;  // where the text lies in the part
    ScannedRows scanned;
    bool scan_done = false;  // scanned (or refused), not yet numbered
    bool parsed = false;     // scanned and numbered: the tokens are ready (or the chunk refused)
    bool ok = false;         // the chunk passed the checks, scanned and lies within the sheet
  };

  // Hands the chunk xml[begin, end) to the scanning threads, then reads the chunks ready so far
  // into the model. False when one of those holds something unexpected.
  bool Submit(uint64_t begin, uint64_t end);
  // How many of the chunks handed over are ready, counting in order up to the first that is not.
  uint64_t ScannedUpTo();
  // Reads the chunks handed over into the model in order up to number `until`, waiting for each
  // to be ready; false as for Submit.
  bool ReadChunks(uint64_t until);
  void StartScanners();
  // Checks and scans a chunk's text into its rows and cells; false when it holds something
  // unexpected.
  bool Scan(Chunk& chunk) const;
  // Numbers the rows and cells of a chunk, the chunks taken in document order; false when a row
  // or column lies beyond the sheet.
  bool Number(ScannedRows& scanned);
  // A scanning thread's loop: scans the chunks it takes, whichever comes next, then numbers
  // those scanned in document order unless another thread is numbering.
  void ScanChunks();
  // `lock` holds mutex_.
  void NumberInOrder(std::unique_lock<std::mutex>& lock);
  // Puts a chunk's rows into the model.
  void ReadRows(const Chunk& chunk);

  const ByteChunks& xml_;
  RowBuilder rows_;
  RowScanner scanner_;
  RowNumbering numbering_;        // used by one scanning thread at a time, in document order
  std::string row_end_tag_;       // "</row>"
  std::string sheet_data_close_;  // "</sheetData"
  uint64_t cursor_ = 0;
  uint64_t searched_ = 0;  // no row end tag between cursor_ + kChunk and here
  uint64_t close_ = 0;

  // A ring of chunks: those handed over are scanned by two threads while the ones ready before
  // them are read, so that all three are busy on a large sheet; several, so that none waits for
  // another at every chunk.
  static constexpr int kRing = 6;
  static constexpr int kScanners = 2;
  Chunk chunks_[kRing];
  uint64_t submitted_ = 0;  // chunks handed over (changed under mutex_ once scanners run)
  uint64_t read_ = 0;       // chunks read, in the order handed over
  uint64_t numbered_ = 0;   // chunks numbered, likewise
  bool numbering_busy_ = false;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<int> queue_;
  bool stop_ = false;
  std::vector<std::thread> scanners_;  // started with the first chunk
  bool scanners_started_ = false;
};

// The position of the first `needle` in xml[from, to), or `to` when there is none.
uint64_t FindIn(const ByteChunks& xml, uint64_t from, uint64_t to, std::string_view needle);

}  // namespace quilmark::xlsx
