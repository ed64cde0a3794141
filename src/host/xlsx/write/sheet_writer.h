// The worksheet XML as it is after the run: every byte of the loaded XML copied as it was, except
// the rows the run wrote to (re-emitted with the written cells merged in), the rows it added (in
// row order) and the <dimension>. Produced piece by piece, so that a sheet of a million rows is
// never held twice.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "src/host/xlsx/read/sheet_layout.h"
#include "src/host/xlsx/read/sheet_model.h"
#include "src/host/xlsx/write/part_text.h"
#include "src/host/xlsx/write/row_writer.h"

namespace quilmark::xlsx {

// One block of the new XML, planned in the order of the XML and made on any thread: loaded or
// generated text kept as it is, and the rows to write anew from their loaded text.
class SheetBlock {
 public:
  bool empty() const { return pieces_.empty(); }
  // How many bytes of text the block holds.
  size_t size() const { return bytes_.size(); }

 private:
  friend class SheetXmlWriter;
  struct Piece {
    size_t begin = 0;  // in bytes_
    size_t length = 0;
    int64_t slot = -1;  // the row written anew from these bytes; -1 for text kept as it is
  };
  void Clear();
  void Keep(std::string_view text);
  // Room for the loaded text of a row to write anew.
  char* AddRow(uint32_t slot, size_t length);

  std::string bytes_;
  std::vector<Piece> pieces_;
};

class SheetXmlWriter {
 public:
  // `xml` is the text the model and the layout were read from; the layout and the model must
  // stay unchanged while the writer is in use.
  SheetXmlWriter(PartText& xml, const SheetLayout& layout, const SheetModel& model);

  // Plans the next block of about a megabyte; false at the end. Called in order, from one thread
  // at a time. Throws PackageError when the loaded XML ends early.
  bool PlanBlock(SheetBlock& block);
  // Appends the block's text to `out`; may run on several threads at once. Throws PackageError
  // if a row cannot be read again.
  void MakeBlock(const SheetBlock& block, std::string& out);

 private:
  enum class EditKind { kRow, kNewRows, kDimension, kSheetData };
  // A change to the loaded XML: bytes [begin, end) replaced by what Generate makes.
  struct Edit {
    uint64_t begin = 0;
    uint64_t end = 0;  // begin == end for an insertion
    EditKind kind = EditKind::kRow;
    uint32_t slot = 0;               // kRow
    std::vector<uint32_t> new_rows;  // kNewRows, kSheetData: slots in row order
  };

  // The edits, in the order of the XML.
  void Plan();
  // The row ranges of the shared formula groups whose defining cell the run overwrote.
  std::vector<std::pair<int32_t, int32_t>> FindBrokenGroups();
  // Whether a row of the file is written anew: the run wrote to it, or it holds cells of a
  // broken shared formula group.
  bool Rewritten(const Row& row) const;
  // The next edit in the order of the XML; nullptr when none is left. Pass moves beyond it.
  const Edit* NextEdit();
  void Pass(const Edit* edit);
  void PlanNewRows();
  // Where a new row of that number goes in the XML.
  uint64_t NewRowPosition(int32_t number) const;
  size_t file_rows() const { return model_.rows().size() - model_.new_rows().size(); }

  // The text of an edit other than a rewritten row, appended to pending_.
  void Generate(const Edit& edit);
  // A row writer of the thread's own, from those no thread is using.
  std::unique_ptr<RowWriter> TakeRowWriter();
  void GiveBack(std::unique_ptr<RowWriter> writer);

  PartText& xml_;
  const SheetLayout& layout_;
  const SheetModel& model_;
  std::vector<Edit> edits_;                            // all but the rewritten rows
  std::vector<std::pair<int32_t, int32_t>> fix_rows_;  // row ranges of the broken groups
  Edit row_edit_;                                      // the next rewritten row
  size_t next_row_ = 0;                                // the slot to look at for it
  bool row_edit_ready_ = false;
  // Shared formula groups whose defining cell was overwritten, by si, with their definition.
  std::vector<const SharedFormula*> broken_groups_;

  RowWriter rows_;  // for the added rows, written while planning
  std::mutex writers_mutex_;
  std::vector<std::unique_ptr<RowWriter>> idle_writers_;

  size_t next_edit_ = 0;
  uint64_t position_ = 0;
  std::string pending_;
};

}  // namespace quilmark::xlsx
