#include "src/host/xlsx/write/sheet_writer.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "src/host/xlsx/package/package_error.h"
#include "src/host/xlsx/package/xml_util.h"
#include "src/host/xlsx/read/cell_ref.h"
#include "src/host/xlsx/write/formula_shift.h"
#include "src/host/xlsx/write/row_xml.h"

namespace quilmark::xlsx {

SheetXmlWriter::SheetXmlWriter(PartText& xml, const SheetLayout& layout, const SheetModel& model)
    : xml_(xml), layout_(layout), model_(model), rows_(layout, model, broken_groups_) {
  Plan();
}

void SheetXmlWriter::Plan() {
  fix_rows_ = FindBrokenGroups();
  PlanNewRows();
  if (layout_.dimension && model_.written_rows()) {
    Edit edit;
    edit.kind = EditKind::kDimension;
    edit.begin = layout_.dimension->first;
    edit.end = layout_.dimension->second;
    edits_.push_back(std::move(edit));
  }
  // Insertions before the replacement that starts where they go.
  std::stable_sort(edits_.begin(), edits_.end(), [](const Edit& a, const Edit& b) {
    if (a.begin != b.begin) return a.begin < b.begin;
    return (a.begin == a.end) > (b.begin == b.end);
  });
}

std::vector<std::pair<int32_t, int32_t>> SheetXmlWriter::FindBrokenGroups() {
  // Groups whose defining cell the run overwrote: their other cells get the formula spelled out.
  std::vector<std::pair<int32_t, int32_t>> fix_rows;  // row ranges of those groups
  for (const SharedFormula& shared : model_.shared_formulas()) {
    const Cell* master = model_.CellAt(shared.row, shared.column);
    if (master == nullptr || !(master->flags & kSharedMaster) || !(master->flags & kWritten)) {
      continue;
    }
    broken_groups_.push_back(&shared);
    if (const std::optional<RangeRef> range = ParseRangeRef(shared.ref)) {
      fix_rows.emplace_back(range->first.row, range->last.row);
    }
  }
  std::sort(fix_rows.begin(), fix_rows.end());
  return fix_rows;
}

bool SheetXmlWriter::Rewritten(const Row& row) const {
  if (row.flags & kRowWritten) return true;
  if (fix_rows_.empty()) return false;
  const auto end =
      std::upper_bound(fix_rows_.begin(), fix_rows_.end(),
                       std::make_pair(row.number, std::numeric_limits<int32_t>::max()));
  return std::any_of(fix_rows_.begin(), end,
                     [&](const auto& range) { return row.number <= range.second; });
}

const SheetXmlWriter::Edit* SheetXmlWriter::NextEdit() {
  // The rows to rewrite are found as the writer comes to them, in the order of the XML.
  const ChunkedVector<Row>& rows = model_.rows();
  if (!row_edit_ready_) {
    while (next_row_ < file_rows() && !Rewritten(rows[next_row_])) ++next_row_;
    if (next_row_ < file_rows()) {
      const Row& row = rows[next_row_];
      row_edit_.begin = row.xml_begin;
      row_edit_.end = uint64_t{row.xml_begin} + row.xml_length;
      row_edit_.slot = static_cast<uint32_t>(next_row_);
    }
    row_edit_ready_ = true;
  }
  const Edit* planned = next_edit_ < edits_.size() ? &edits_[next_edit_] : nullptr;
  if (next_row_ >= file_rows()) return planned;
  // Insertions before the replacement that starts where they go.
  if (planned != nullptr &&
      (planned->begin < row_edit_.begin ||
       (planned->begin == row_edit_.begin && planned->begin == planned->end))) {
    return planned;
  }
  return &row_edit_;
}

void SheetXmlWriter::Pass(const Edit* edit) {
  if (edit == &row_edit_) {
    ++next_row_;
    row_edit_ready_ = false;
  } else {
    ++next_edit_;
  }
}

uint64_t SheetXmlWriter::NewRowPosition(int32_t number) const {
  const ChunkedVector<Row>& rows = model_.rows();
  const size_t count = file_rows();
  const auto after = [&](size_t slot) { return rows[slot].number > number; };
  // The first row of the file with a greater number: a binary search when the rows are in order.
  size_t found = 0;
  if (model_.rows_in_order()) {
    found = PartitionPoint(count, after);
  } else {
    while (found < count && !after(found)) ++found;
  }
  return found == count ? layout_.sheet_data_close : rows[found].xml_begin;
}

void SheetXmlWriter::PlanNewRows() {
  if (model_.new_rows().empty()) return;
  // New rows go before the first row of the file with a greater number.
  std::vector<std::pair<uint64_t, uint32_t>> placed;  // position, slot
  for (const auto& [number, slot] : model_.new_rows()) {
    placed.emplace_back(NewRowPosition(number), slot);
  }
  if (!layout_.has_sheet_data || layout_.sheet_data_empty) {
    Edit edit;
    edit.kind = EditKind::kSheetData;
    if (layout_.has_sheet_data) {
      edit.begin = layout_.sheet_data_begin;
      edit.end = layout_.sheet_data_end;
    } else {
      edit.begin = edit.end = layout_.insert_sheet_data;
    }
    for (const auto& [position, slot] : placed) edit.new_rows.push_back(slot);
    edits_.push_back(std::move(edit));
    return;
  }
  for (const auto& [position, slot] : placed) {
    if (edits_.empty() || edits_.back().kind != EditKind::kNewRows ||
        edits_.back().begin != position) {
      Edit edit;
      edit.kind = EditKind::kNewRows;
      edit.begin = edit.end = position;
      edits_.push_back(std::move(edit));
    }
    edits_.back().new_rows.push_back(slot);
  }
}

void SheetBlock::Clear() {
  bytes_.clear();
  pieces_.clear();
}

void SheetBlock::Keep(std::string_view text) {
  if (!pieces_.empty() && pieces_.back().slot < 0) {
    pieces_.back().length += text.size();
  } else {
    pieces_.push_back({bytes_.size(), text.size(), -1});
  }
  bytes_.append(text);
}

char* SheetBlock::AddRow(uint32_t slot, size_t length) {
  pieces_.push_back({bytes_.size(), length, slot});
  bytes_.resize(bytes_.size() + length);
  return bytes_.data() + pieces_.back().begin;
}

bool SheetXmlWriter::PlanBlock(SheetBlock& block) {
  constexpr size_t kBlockBytes = size_t{1} << 20;
  block.Clear();
  while (block.size() < kBlockBytes) {
    const Edit* edit = NextEdit();
    if (edit != nullptr && position_ >= edit->begin) {
      if (edit->kind == EditKind::kRow) {
        const Row& row = model_.rows()[edit->slot];
        xml_.CopyOut(row.xml_begin, row.xml_length, block.AddRow(edit->slot, row.xml_length));
      } else {
        pending_.clear();
        Generate(*edit);
        block.Keep(pending_);
      }
      position_ = edit->end;
      Pass(edit);
      continue;
    }
    const uint64_t stop = edit != nullptr ? edit->begin : UINT64_MAX;
    const std::string_view piece = xml_.Piece(
        position_,
        static_cast<size_t>(std::min<uint64_t>(stop - position_, kBlockBytes - block.size())));
    if (piece.empty()) {
      if (edit != nullptr) throw PackageError("工作表的内容比读取时短");
      break;
    }
    block.Keep(piece);
    position_ += piece.size();
  }
  xml_.ReleaseBefore(position_);  // what is planned is held by the block
  return !block.empty();
}

void SheetXmlWriter::MakeBlock(const SheetBlock& block, std::string& out) {
  std::unique_ptr<RowWriter> writer = TakeRowWriter();
  for (const SheetBlock::Piece& piece : block.pieces_) {
    const std::string_view text(block.bytes_.data() + piece.begin, piece.length);
    if (piece.slot < 0) {
      out.append(text);
    } else {
      writer->WriteRow(static_cast<uint32_t>(piece.slot), text, out);
    }
  }
  GiveBack(std::move(writer));
}

std::unique_ptr<RowWriter> SheetXmlWriter::TakeRowWriter() {
  std::lock_guard lock(writers_mutex_);
  if (idle_writers_.empty()) return std::make_unique<RowWriter>(layout_, model_, broken_groups_);
  std::unique_ptr<RowWriter> writer = std::move(idle_writers_.back());
  idle_writers_.pop_back();
  return writer;
}

void SheetXmlWriter::GiveBack(std::unique_ptr<RowWriter> writer) {
  std::lock_guard lock(writers_mutex_);
  idle_writers_.push_back(std::move(writer));
}

void SheetXmlWriter::Generate(const Edit& edit) {
  switch (edit.kind) {
    case EditKind::kRow:
      break;  // rows are written as their block is made
    case EditKind::kNewRows:
      for (const uint32_t slot : edit.new_rows) rows_.WriteNewRow(slot, pending_);
      break;
    case EditKind::kSheetData: {
      const std::string name = ElementName(layout_, "sheetData");
      pending_.append("<").append(name).append(">");
      for (const uint32_t slot : edit.new_rows) rows_.WriteNewRow(slot, pending_);
      pending_.append("</").append(name).append(">");
      break;
    }
    case EditKind::kDimension: {
      const auto [first_row, last_row] = *model_.written_rows();
      RangeRef range{{first_row, model_.written_min_column()},
                     {last_row, model_.written_max_column()}};
      if (layout_.dimension_ref) {
        const RangeRef& old = *layout_.dimension_ref;
        range.first.row = std::min(range.first.row, old.first.row);
        range.first.column = std::min(range.first.column, old.first.column);
        range.last.row = std::max(range.last.row, old.last.row);
        range.last.column = std::max(range.last.column, old.last.column);
      }
      pending_.append("<").append(layout_.dimension_qname).append(" ref=\"");
      pending_.append(FormatRangeRef(range)).append("\"/>");
      break;
    }
  }
}

}  // namespace quilmark::xlsx
