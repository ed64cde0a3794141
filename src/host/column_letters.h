// Column letters as spreadsheet users write them: A is column 1, Z 26, AA 27, XFD the last.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quilmark {

// Reads the letters (either case) at the start of `text` into `column`; returns how many were
// read: 0 when there are none, or when they name a column beyond the sheet's last.
size_t ReadColumnLetters(std::string_view text, int32_t& column);

// The column the whole text names by its letters ("ab" gives 28); nullopt for anything else.
std::optional<int32_t> ColumnOfLetters(std::string_view text);

// 1 gives "A", 28 gives "AB".
std::string ColumnLetters(int32_t column);

}  // namespace quilmark
