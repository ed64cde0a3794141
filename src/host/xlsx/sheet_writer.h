// The worksheet XML as it is after the run: every byte of the loaded XML copied as it was, except
// the rows the run wrote to (re-emitted with the written cells merged in), the rows it added (in
// row order) and the <dimension>. Produced piece by piece, so that a sheet of a million rows is
// never held twice.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "src/host/xlsx/part_text.h"
#include "src/host/xlsx/row_writer.h"
#include "src/host/xlsx/sheet_layout.h"
#include "src/host/xlsx/sheet_model.h"

namespace quilmark::xlsx {

class SheetXmlWriter {
 public:
  // `xml` is the text the model and the layout were read from; the layout and the model must
  // stay unchanged while the writer is in use.
  SheetXmlWriter(PartText& xml, const SheetLayout& layout, const SheetModel& model);

  // Fills up to `capacity` bytes; 0 at the end. Throws PackageError if a row cannot be re-read.
  size_t Read(char* out, size_t capacity);

  // How far into the loaded XML the writer has come; it reads nothing before this again.
  uint64_t position() const { return position_; }

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

  void Generate(const Edit& edit);
  // Writes the rewritten rows that follow one another from position_ on, up to about a megabyte
  // of them, the second half on another thread when there are many; moves beyond them.
  void GenerateRows();
  // The loaded XML of each of those rows, copied into `copies` where it lies in two pieces.
  std::vector<std::string_view> RowTexts(const std::vector<uint32_t>& slots,
                                         std::deque<std::string>& copies);
  void WriteRows(RowWriter& writer, const std::vector<uint32_t>& slots,
                 const std::vector<std::string_view>& texts, size_t begin, size_t end,
                 std::string& out);

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

  RowWriter rows_;         // on the calling thread
  RowWriter helper_rows_;  // on another, for the second half of a batch
  std::string helper_out_;

  size_t next_edit_ = 0;
  uint64_t position_ = 0;
  std::string pending_;
  size_t pending_offset_ = 0;
};

}  // namespace quilmark::xlsx
