// Texts are UTF-8 throughout the program, but lengths, prefixes and orderings count UTF-16 code
// units, as the users' spreadsheets do: a Chinese character is one character, a character beyond
// U+FFFF two.
#pragma once

#include <cstddef>
#include <string_view>

namespace quilmark {

// The number of UTF-16 code units of the text. An invalid UTF-8 byte counts as one unit.
size_t Utf16Length(std::string_view text);

// The first n UTF-16 code units of the text, or all of it when it is shorter. Never splits a
// character: where the n-th unit would be the first half of a surrogate pair, the prefix stops
// before that character.
std::string_view Utf16Prefix(std::string_view text, size_t n);

// The last character of the text (a whole UTF-8 sequence); empty for the empty text.
std::string_view LastCharacter(std::string_view text);

// Orders two texts by their UTF-16 code units; the empty text sorts before every other.
bool Utf16Less(std::string_view a, std::string_view b);

}  // namespace quilmark
