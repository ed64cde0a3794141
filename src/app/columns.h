// The column numbers (or letters) the user types: read, rounded and checked before any pass.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quilmark {

// A column text as a whole number: a decimal number with blanks around it allowed, rounded to
// the nearest whole number with halves to the even neighbour ("2.5" gives 2, "3.5" gives 4).
// nullopt for the empty text, a text that is not a number, and results outside -32768..32767.
std::optional<int16_t> ParseColumnNumber(std::string_view text);

// The column a number (1..16384) or letters as the sheet's heading shows them (A..XFD, either
// case; blanks around allowed) name; nullopt otherwise.
std::optional<int32_t> SheetColumn(std::string_view text);

}  // namespace quilmark
