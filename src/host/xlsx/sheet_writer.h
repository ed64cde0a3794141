// The worksheet XML as it is after the run: every byte of the loaded XML copied as it was, except
// the rows the run wrote to (re-emitted with the written cells merged in), the rows it added (in
// row order) and the <dimension>. Produced piece by piece, so that a sheet of a million rows is
// never held twice.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "src/host/xlsx/part_text.h"
#include "src/host/xlsx/row_xml.h"
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

  // A cell of a rewritten row: as the file had it, as the run left it, or both.
  struct MergedCell {
    int32_t column;
    const RowCellXml* original;  // nullptr for a cell the run added
    const Cell* cell;            // nullptr for none in the model
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
  void EmitRow(uint32_t slot);
  const Cell* StoredCell(const Row& row, int32_t column) const;
  // The row's cells as the file had them and as the run left them, in column order, in merged_.
  void MergeCells(uint32_t slot, const RowXml& parsed);
  void EmitRowStart(const RowXml& parsed, int32_t number, const std::vector<MergedCell>& cells);
  void EmitKeptCell(const RowCellXml& original, int32_t number, std::string_view source);
  void EmitNewRow(uint32_t slot);
  void EmitCell(int32_t row, const Cell& cell, std::string_view style);
  void OpenCell(int32_t row, int32_t column, std::string_view style, std::string_view type,
                bool empty);
  void EmitValueCell(int32_t row, const Cell& cell, std::string_view style, std::string_view type,
                     std::string_view text);
  std::string Element(std::string_view local) const;
  // The text a text cell holds.
  std::string_view TextOf(const Cell& cell) const;

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

  // Names of the elements the writer writes, with the sheet's prefix.
  const std::string cell_name_, value_name_, inline_name_, text_name_;
  RowXmlReader row_reader_;
  std::string row_text_;            // the row being rewritten, when it lies in two pieces
  std::vector<MergedCell> merged_;  // its cells

  size_t next_edit_ = 0;
  uint64_t position_ = 0;
  std::string pending_;
  size_t pending_offset_ = 0;
};

// The shortest text that reads back as the same double; "0" for both zeros.
std::string NumberXml(double value);

}  // namespace quilmark::xlsx
