// The number formats a run gives the cells it writes: a format with N decimals ("0.00" for 2)
// and a cell style that applies it, added to the workbook's styles part, so that a rounded area
// shows its trailing zeros (5.20, not 5.2).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace quilmark::xlsx {

// The format code of a number with `decimals` places: "0", "0.0", "0.00", ...
std::string DecimalsFormatCode(int decimals);

// The styles part `text` with a number format and a cell style for each of `decimals` added
// after those it has; `styles` gets each one's style index (a cell's s attribute). nullopt, and
// the part left as it is, where it has no cell styles to add to (a cell without s would then
// take the first one added). Throws PackageError naming `part` when it is not well formed.
std::optional<std::string> WithDecimalStyles(const std::string& text, std::string_view part,
                                             const std::set<int>& decimals,
                                             std::map<int, uint32_t>& styles);

}  // namespace quilmark::xlsx
