#include "src/host/xlsx/sheet_writer.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "src/host/xlsx/cell_ref.h"
#include "src/host/xlsx/formula_shift.h"
#include "src/host/xlsx/package_error.h"
#include "src/host/xlsx/row_xml.h"
#include "src/host/xlsx/xml_util.h"

namespace quilmark::xlsx {
namespace {

bool NeedsPreserve(std::string_view text) {
  if (text.empty()) return false;
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  return blank(text.front()) || blank(text.back());
}

// The first index in [0, count) at which `reached` holds, where it holds from some index on (the
// count when it never does). A plain loop: clang's library support cannot take a view of indexes
// here, and the fuzz build is clang's.
template <typename Predicate>
size_t PartitionPoint(size_t count, Predicate reached) {
  size_t first = 0;
  while (first < count) {
    const size_t middle = first + (count - first) / 2;
    if (reached(middle)) {
      count = middle;
    } else {
      first = middle + 1;
    }
  }
  return first;
}

void AppendNumber(std::string& out, int32_t number) {
  char digits[16];
  const auto result = std::to_chars(digits, digits + sizeof digits, number);
  out.append(digits, result.ptr);
}

// "<name>" and "</name>".
void AppendStartTag(std::string& out, std::string_view name) {
  out += '<';
  out += name;
  out += '>';
}
void AppendEndTag(std::string& out, std::string_view name) {
  out += "</";
  out += name;
  out += '>';
}

}  // namespace

std::string NumberXml(double value) {
  if (value == 0) return "0";
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

SheetXmlWriter::SheetXmlWriter(PartText& xml, const SheetLayout& layout, const SheetModel& model)
    : xml_(xml),
      layout_(layout),
      model_(model),
      cell_name_(Element("c")),
      value_name_(Element("v")),
      inline_name_(Element("is")),
      text_name_(Element("t")),
      row_reader_(layout) {
  Plan();
}

std::string SheetXmlWriter::Element(std::string_view local) const {
  if (layout_.prefix.empty()) return std::string(local);
  return layout_.prefix + ":" + std::string(local);
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

size_t SheetXmlWriter::Read(char* out, size_t capacity) {
  size_t written = 0;
  while (written < capacity) {
    if (pending_offset_ < pending_.size()) {
      const size_t n = std::min(capacity - written, pending_.size() - pending_offset_);
      std::memcpy(out + written, pending_.data() + pending_offset_, n);
      pending_offset_ += n;
      written += n;
      continue;
    }
    const Edit* edit = NextEdit();
    if (edit != nullptr && position_ >= edit->begin) {
      pending_.clear();
      pending_offset_ = 0;
      Generate(*edit);
      position_ = edit->end;
      Pass(edit);
      continue;
    }
    const uint64_t stop = edit != nullptr ? edit->begin : UINT64_MAX;
    const std::string_view piece = xml_.Piece(
        position_, static_cast<size_t>(std::min<uint64_t>(stop - position_, capacity - written)));
    if (piece.empty()) {
      if (edit != nullptr) throw PackageError("工作表的内容比读取时短");
      break;
    }
    std::memcpy(out + written, piece.data(), piece.size());
    position_ += piece.size();
    written += piece.size();
  }
  return written;
}

void SheetXmlWriter::Generate(const Edit& edit) {
  switch (edit.kind) {
    case EditKind::kRow:
      EmitRow(edit.slot);
      break;
    case EditKind::kNewRows:
      for (const uint32_t slot : edit.new_rows) EmitNewRow(slot);
      break;
    case EditKind::kSheetData:
      AppendStartTag(pending_, Element("sheetData"));
      for (const uint32_t slot : edit.new_rows) EmitNewRow(slot);
      AppendEndTag(pending_, Element("sheetData"));
      break;
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
      pending_ += "<" + layout_.dimension_qname + " ref=\"" + FormatRangeRef(range) + "\"/>";
      break;
    }
  }
}

void SheetXmlWriter::OpenCell(int32_t row, int32_t column, std::string_view style,
                              std::string_view type, bool empty) {
  pending_ += '<';
  pending_ += cell_name_;
  pending_ += " r=\"";
  AppendCellRef(pending_, row, column);
  pending_ += '"';
  if (!style.empty()) {
    pending_ += " s=\"";
    AppendEscaped(pending_, style);
    pending_ += '"';
  }
  if (!type.empty()) {
    pending_ += " t=\"";
    pending_ += type;
    pending_ += '"';
  }
  pending_ += empty ? "/>" : ">";
}

void SheetXmlWriter::EmitValueCell(int32_t row, const Cell& cell, std::string_view style,
                                   std::string_view type, std::string_view text) {
  OpenCell(row, cell.column, style, type, false);
  pending_ += '<';
  pending_ += value_name_;
  pending_ += '>';
  AppendEscaped(pending_, text);
  pending_ += "</";
  pending_ += value_name_;
  pending_ += "></";
  pending_ += cell_name_;
  pending_ += '>';
}

void SheetXmlWriter::EmitCell(int32_t row, const Cell& cell, std::string_view style) {
  switch (cell.type) {
    case CellType::kEmpty:
    case CellType::kBad:
      if (!style.empty()) OpenCell(row, cell.column, style, "", true);
      return;
    case CellType::kNumber: {
      const double number = std::bit_cast<double>(cell.payload());
      // A spreadsheet cannot hold an infinite or undefined number: it shows the error instead.
      if (!std::isfinite(number)) return EmitValueCell(row, cell, style, "e", "#NUM!");
      return EmitValueCell(row, cell, style, "", NumberXml(number));
    }
    case CellType::kShared:
    case CellType::kText: {
      const std::string_view text = TextOf(cell);
      OpenCell(row, cell.column, style, "inlineStr", false);
      pending_ += '<';
      pending_ += inline_name_;
      pending_ += "><";
      pending_ += text_name_;
      if (NeedsPreserve(text)) pending_ += " xml:space=\"preserve\"";
      pending_ += '>';
      AppendEscaped(pending_, text);
      pending_ += "</";
      pending_ += text_name_;
      pending_ += "></";
      pending_ += inline_name_;
      pending_ += "></";
      pending_ += cell_name_;
      pending_ += '>';
      return;
    }
    case CellType::kBool:
      return EmitValueCell(row, cell, style, "b", cell.lo != 0 ? "1" : "0");
    case CellType::kDate:
      return EmitValueCell(row, cell, style, "d", std::get<CellDate>(*model_.ValueOf(cell)).iso);
    case CellType::kError:
      return EmitValueCell(row, cell, style, "e", std::get<CellError>(*model_.ValueOf(cell)).text);
  }
}

std::string_view SheetXmlWriter::TextOf(const Cell& cell) const {
  return cell.type == CellType::kShared ? model_.SharedString(cell.lo)
                                        : model_.arena().Get(cell.payload());
}

void SheetXmlWriter::EmitNewRow(uint32_t slot) {
  const Row& row = model_.rows()[slot];
  const std::string name = Element("row");
  pending_ += '<';
  pending_ += name;
  pending_ += " r=\"";
  AppendNumber(pending_, row.number);
  pending_ += "\">";
  const auto added = model_.added_cells().find(slot);
  if (added != model_.added_cells().end()) {
    for (const Cell& cell : added->second) EmitCell(row.number, cell, {});
  }
  AppendEndTag(pending_, name);
}

const Cell* SheetXmlWriter::StoredCell(const Row& row, int32_t column) const {
  const auto at = [&](uint32_t i) -> const Cell& { return model_.cells()[row.first_cell + i]; };
  const size_t found =
      PartitionPoint(row.cell_count, [&](size_t i) { return at(i).column >= column; });
  return found != row.cell_count && at(found).column == column ? &at(found) : nullptr;
}

void SheetXmlWriter::MergeCells(uint32_t slot, const RowXml& parsed) {
  const Row& row = model_.rows()[slot];
  merged_.clear();
  // The stored cells are in column order: while the file's are too, one walk finds them all.
  uint32_t next = 0;
  int32_t previous = 0;
  for (const RowCellXml& original : parsed.cells) {
    const Cell* stored = nullptr;
    if (original.column > previous) {
      const auto at = [&](uint32_t i) -> const Cell& { return model_.cells()[row.first_cell + i]; };
      while (next < row.cell_count && at(next).column < original.column) ++next;
      if (next < row.cell_count && at(next).column == original.column) stored = &at(next);
      previous = original.column;
    } else {
      stored = StoredCell(row, original.column);
    }
    merged_.push_back({original.column, &original, stored});
  }
  const auto added = model_.added_cells().find(slot);
  if (added != model_.added_cells().end()) {
    for (const Cell& cell : added->second) merged_.push_back({cell.column, nullptr, &cell});
  }
  const auto less = [](const MergedCell& a, const MergedCell& b) { return a.column < b.column; };
  if (!std::is_sorted(merged_.begin(), merged_.end(), less)) {
    std::stable_sort(merged_.begin(), merged_.end(), less);
  }
}

void SheetXmlWriter::EmitRowStart(const RowXml& parsed, int32_t number,
                                  const std::vector<MergedCell>& cells) {
  // The row number made explicit and the column span kept true.
  pending_ += '<';
  pending_ += parsed.qname;
  bool has_r = false;
  for (const auto& [name, value] : parsed.attributes) {
    pending_ += ' ';
    pending_ += name;
    pending_ += "=\"";
    if (name == "r") {
      AppendNumber(pending_, number);
      has_r = true;
    } else if (name == "spans" && !cells.empty()) {
      AppendNumber(pending_, cells.front().column);
      pending_ += ':';
      AppendNumber(pending_, cells.back().column);
    } else {
      AppendEscaped(pending_, value);
    }
    pending_ += '"';
  }
  if (!has_r) {
    pending_ += " r=\"";
    AppendNumber(pending_, number);
    pending_ += '"';
  }
  for (const auto& [name, uri] : parsed.declarations) {
    pending_ += ' ' + name + "=\"";
    AppendEscaped(pending_, uri);
    pending_ += '"';
  }
  pending_ += '>';
}

void SheetXmlWriter::EmitKeptCell(const RowCellXml& original, int32_t number,
                                  std::string_view source) {
  // The cell as it was; a reference is added where it had none, as cells before it may have
  // been added or removed.
  uint32_t from = original.begin;
  if (!original.has_ref) {
    pending_.append(source.substr(original.begin, 1 + original.qname_length));
    pending_ += " r=\"";
    AppendCellRef(pending_, number, original.column);
    pending_ += '"';
    for (const auto& [name, value] : original.attributes) {
      pending_ += ' ' + name + "=\"";
      AppendEscaped(pending_, value);
      pending_ += '"';
    }
    pending_ += original.start_tag_end == original.end ? "/>" : ">";
    from = original.start_tag_end;
  }
  const SharedFormula* group = nullptr;
  if (original.shared_member) {
    for (const SharedFormula* broken : broken_groups_) {
      if (broken->index == original.shared_index) group = broken;
    }
  }
  if (group == nullptr || original.formula_end <= original.formula_begin) {
    pending_.append(source.substr(from, original.end - from));
    return;
  }
  // A member of a group whose definition was overwritten: its formula spelled out.
  pending_.append(source.substr(from, original.formula_begin - from));
  const std::string f = Element("f");
  AppendStartTag(pending_, f);
  AppendEscaped(pending_,
                ShiftFormula(group->formula, number - group->row, original.column - group->column));
  AppendEndTag(pending_, f);
  pending_.append(source.substr(original.formula_end, original.end - original.formula_end));
}

void SheetXmlWriter::EmitRow(uint32_t slot) {
  const Row& row = model_.rows()[slot];
  // The row where it lies when it lies in one piece; a copy otherwise.
  std::string_view text = xml_.Piece(row.xml_begin, row.xml_length);
  if (text.size() < row.xml_length) {
    row_text_.resize(row.xml_length);
    xml_.CopyOut(row.xml_begin, row.xml_length, row_text_.data());
    text = row_text_;
  }
  const RowXml& parsed = row_reader_.Read(text);
  MergeCells(slot, parsed);
  EmitRowStart(parsed, row.number, merged_);
  for (const MergedCell& item : merged_) {
    const bool written = item.cell != nullptr && (item.cell->flags & kWritten);
    if (item.original == nullptr || written) {
      const std::string_view style = item.original ? item.original->style : std::string_view();
      EmitCell(row.number, *item.cell, style);
    } else {
      EmitKeptCell(*item.original, row.number, text);
    }
  }
  pending_.append(text.substr(parsed.tail_begin, parsed.tail_end - parsed.tail_begin));
  pending_ += "</";
  pending_ += parsed.qname;
  pending_ += '>';
}

}  // namespace quilmark::xlsx
