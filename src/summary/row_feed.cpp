#include "src/summary/row_feed.h"

#include <utility>

#include "src/summary/text_ids.h"

namespace quilmark {

std::optional<std::string_view> RowText(const std::optional<CellValue>& cell, std::string& buffer) {
  if (!cell) return std::nullopt;
  if (const std::string* text = std::get_if<std::string>(&*cell)) return TrimBlanks(*text);
  buffer = CellText(*cell);
  return std::string_view(buffer);
}

namespace {

// The ids of the row's texts; a cross-class text equal to the class text (the same column, as a
// layer always has it) is not looked up twice.
void SetIds(PatchRow& row, TextIds& zone_ids, TextIds& class_ids) {
  if (row.zone) row.zone_id = zone_ids.Id(*row.zone);
  if (row.class_text) row.class_id = class_ids.Id(*row.class_text);
  if (row.cross_class) {
    row.cross_id = row.class_text && *row.class_text == *row.cross_class
                       ? row.class_id
                       : class_ids.Id(*row.cross_class);
  }
}

}  // namespace

void FeedRows(RowSource& source, ZoneRewrite rewrite_zone, std::span<RowSink* const> sinks) {
  SourceRow cells;
  // Texts of cells that are not texts; kept between rows so that their room is reused.
  std::string zone_buffer, class_buffer, cross_buffer;
  TextIds zone_ids, class_ids;
  while (source.Next(cells)) {
    if (rewrite_zone != nullptr && cells.zone) {
      if (std::optional<std::string> text = rewrite_zone(*cells.zone)) {
        source.RewriteZone(cells, *text);
        // The rest of the run reads the new zone even where the source cannot keep it.
        cells.zone = CellValue{std::move(*text)};
      }
    }
    PatchRow row{cells, RowText(cells.zone, zone_buffer), RowText(cells.class_, class_buffer),
                 RowText(cells.cross_class, cross_buffer),
                 cells.area ? CellNumber(*cells.area) : std::nullopt};
    SetIds(row, zone_ids, class_ids);
    for (RowSink* sink : sinks) sink->AddRow(row);
  }
}

}  // namespace quilmark
