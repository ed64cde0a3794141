// Moving a formula to another cell: what a shared formula becomes in each cell of its group.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quilmark::xlsx {

// The formula text with every relative reference moved by rows and columns ("A1+$B$1" moved one
// row down gives "A2+$B$1"); absolute parts stay. A reference moved off the sheet becomes
// "#REF!". Texts in quotes, quoted sheet names and bracketed parts are copied as they are.
std::string ShiftFormula(std::string_view formula, int32_t rows, int32_t columns);

}  // namespace quilmark::xlsx
