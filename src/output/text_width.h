// How many terminal columns a text takes: East Asian wide and fullwidth characters (Chinese
// characters, fullwidth punctuation) two, combining marks none, everything else one.
#pragma once

#include <cstddef>
#include <string_view>

namespace quilmark {

// The display width of UTF-8 text. A byte that does not start a valid UTF-8 sequence counts as
// one column; control characters count as none.
size_t DisplayWidth(std::string_view text);

}  // namespace quilmark
