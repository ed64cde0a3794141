// The run's one loop: every row of a source, in order, handed to each task in turn.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "src/host/cell_value.h"
#include "src/host/row_source.h"
#include "src/summary/row_task.h"

namespace quilmark {

// A zone cell's new text; nullopt where the cell is to stay as it is.
using ZoneRewrite = std::optional<std::string> (*)(const CellValue& zone);

// Reads every row of the source once. Where rewrite_zone is given, a row's readable zone cell is
// rewritten first (and written back through the source where it can be); every sink then sees
// the new zone. The sinks see each row in their order. Throws what the source throws.
void FeedRows(RowSource& source, ZoneRewrite rewrite_zone, std::span<RowSink* const> sinks);

// The trimmed text of a cell as the tasks read it: a text trimmed where it lies, any other value
// as CellText kept in `buffer`; nullopt when the cell could not be read.
std::optional<std::string_view> RowText(const std::optional<CellValue>& cell, std::string& buffer);

}  // namespace quilmark
