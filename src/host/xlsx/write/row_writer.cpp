#include "src/host/xlsx/write/row_writer.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>

#include "src/host/xlsx/package/xml_util.h"
#include "src/host/xlsx/read/cell_ref.h"
#include "src/host/xlsx/write/formula_shift.h"

namespace quilmark::xlsx {
namespace {

bool NeedsPreserve(std::string_view text) {
  if (text.empty()) return false;
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  return blank(text.front()) || blank(text.back());
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

std::string ElementName(const SheetLayout& layout, std::string_view local) {
  if (layout.prefix.empty()) return std::string(local);
  return layout.prefix + ":" + std::string(local);
}

RowWriter::RowWriter(const SheetLayout& layout, const SheetModel& model,
                     const std::vector<const SharedFormula*>& broken_groups)
    : layout_(layout),
      model_(model),
      broken_groups_(broken_groups),
      cell_name_(ElementName(layout, "c")),
      value_name_(ElementName(layout, "v")),
      inline_name_(ElementName(layout, "is")),
      text_name_(ElementName(layout, "t")),
      row_reader_(layout) {}

void RowWriter::OpenCell(int32_t row, int32_t column, std::string_view style, std::string_view type,
                         bool empty) {
  *out_ += '<';
  *out_ += cell_name_;
  *out_ += " r=\"";
  AppendCellRef(*out_, row, column);
  *out_ += '"';
  if (!style.empty()) {
    *out_ += " s=\"";
    AppendEscaped(*out_, style);
    *out_ += '"';
  }
  if (!type.empty()) {
    *out_ += " t=\"";
    *out_ += type;
    *out_ += '"';
  }
  *out_ += empty ? "/>" : ">";
}

void RowWriter::EmitValueCell(int32_t row, const Cell& cell, std::string_view style,
                              std::string_view type, std::string_view text) {
  OpenCell(row, cell.column, style, type, false);
  *out_ += '<';
  *out_ += value_name_;
  *out_ += '>';
  AppendEscaped(*out_, text);
  *out_ += "</";
  *out_ += value_name_;
  *out_ += "></";
  *out_ += cell_name_;
  *out_ += '>';
}

void RowWriter::EmitCell(int32_t row, const Cell& cell, std::string_view style) {
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
      *out_ += '<';
      *out_ += inline_name_;
      *out_ += "><";
      *out_ += text_name_;
      if (NeedsPreserve(text)) *out_ += " xml:space=\"preserve\"";
      *out_ += '>';
      AppendEscaped(*out_, text);
      *out_ += "</";
      *out_ += text_name_;
      *out_ += "></";
      *out_ += inline_name_;
      *out_ += "></";
      *out_ += cell_name_;
      *out_ += '>';
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

std::string_view RowWriter::TextOf(const Cell& cell) const {
  return cell.type == CellType::kShared ? model_.SharedString(cell.lo)
                                        : model_.arena().Get(cell.payload());
}

void RowWriter::WriteNewRow(uint32_t slot, std::string& out) {
  const Row& row = model_.rows()[slot];
  out_ = &out;
  const std::string name = ElementName(layout_, "row");
  *out_ += '<';
  *out_ += name;
  *out_ += " r=\"";
  AppendNumber(*out_, row.number);
  *out_ += "\">";
  const auto added = model_.added_cells().find(slot);
  if (added != model_.added_cells().end()) {
    for (const Cell& cell : added->second) {
      EmitCell(row.number, cell, WrittenStyle(row.number, cell, {}));
    }
  }
  AppendEndTag(*out_, name);
}

std::string_view RowWriter::WrittenStyle(int32_t row, const Cell& cell,
                                         std::string_view style) const {
  if (layout_.decimal_styles.empty() || cell.type != CellType::kNumber) return style;
  const auto decimals = model_.decimals().find({row, cell.column});
  if (decimals == model_.decimals().end()) return style;
  const auto shown = layout_.decimal_styles.find(decimals->second);
  return shown != layout_.decimal_styles.end() ? std::string_view(shown->second) : style;
}

const Cell* RowWriter::StoredCell(const Row& row, int32_t column) const {
  const auto at = [&](uint32_t i) -> const Cell& { return model_.cells()[row.first_cell + i]; };
  const size_t found =
      PartitionPoint(row.cell_count, [&](size_t i) { return at(i).column >= column; });
  return found != row.cell_count && at(found).column == column ? &at(found) : nullptr;
}

void RowWriter::MergeCells(uint32_t slot, const RowXml& parsed) {
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

void RowWriter::EmitRowStart(const RowXml& parsed, int32_t number,
                             const std::vector<MergedCell>& cells) {
  // The row number made explicit and the column span kept true.
  *out_ += '<';
  *out_ += parsed.qname;
  bool has_r = false;
  for (const auto& [name, value] : parsed.attributes) {
    *out_ += ' ';
    *out_ += name;
    *out_ += "=\"";
    if (name == "r") {
      AppendNumber(*out_, number);
      has_r = true;
    } else if (name == "spans" && !cells.empty()) {
      AppendNumber(*out_, cells.front().column);
      *out_ += ':';
      AppendNumber(*out_, cells.back().column);
    } else {
      AppendEscaped(*out_, value);
    }
    *out_ += '"';
  }
  if (!has_r) {
    *out_ += " r=\"";
    AppendNumber(*out_, number);
    *out_ += '"';
  }
  for (const auto& [name, uri] : parsed.declarations) {
    *out_ += ' ' + name + "=\"";
    AppendEscaped(*out_, uri);
    *out_ += '"';
  }
  *out_ += '>';
}

void RowWriter::EmitKeptCell(const RowCellXml& original, int32_t number, std::string_view source) {
  // The cell as it was; a reference is added where it had none, as cells before it may have
  // been added or removed.
  uint32_t from = original.begin;
  if (!original.has_ref) {
    out_->append(source.substr(original.begin, 1 + original.qname_length));
    *out_ += " r=\"";
    AppendCellRef(*out_, number, original.column);
    *out_ += '"';
    for (const auto& [name, value] : original.attributes) {
      *out_ += ' ' + name + "=\"";
      AppendEscaped(*out_, value);
      *out_ += '"';
    }
    *out_ += original.start_tag_end == original.end ? "/>" : ">";
    from = original.start_tag_end;
  }
  const SharedFormula* group = nullptr;
  if (original.shared_member) {
    for (const SharedFormula* broken : broken_groups_) {
      if (broken->index == original.shared_index) group = broken;
    }
  }
  if (group == nullptr || original.formula_end <= original.formula_begin) {
    out_->append(source.substr(from, original.end - from));
    return;
  }
  // A member of a group whose definition was overwritten: its formula spelled out.
  out_->append(source.substr(from, original.formula_begin - from));
  const std::string f = ElementName(layout_, "f");
  AppendStartTag(*out_, f);
  AppendEscaped(*out_,
                ShiftFormula(group->formula, number - group->row, original.column - group->column));
  AppendEndTag(*out_, f);
  out_->append(source.substr(original.formula_end, original.end - original.formula_end));
}

void RowWriter::WriteRow(uint32_t slot, std::string_view text, std::string& out) {
  const Row& row = model_.rows()[slot];
  out_ = &out;
  const RowXml& parsed = row_reader_.Read(text);
  MergeCells(slot, parsed);
  EmitRowStart(parsed, row.number, merged_);
  for (const MergedCell& item : merged_) {
    const bool written = item.cell != nullptr && (item.cell->flags & kWritten);
    if (item.original == nullptr || written) {
      const std::string_view style = item.original ? item.original->style : std::string_view();
      EmitCell(row.number, *item.cell, WrittenStyle(row.number, *item.cell, style));
    } else {
      EmitKeptCell(*item.original, row.number, text);
    }
  }
  out_->append(text.substr(parsed.tail_begin, parsed.tail_end - parsed.tail_begin));
  *out_ += "</";
  *out_ += parsed.qname;
  *out_ += '>';
}

}  // namespace quilmark::xlsx
