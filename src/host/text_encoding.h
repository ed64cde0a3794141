// Text from outside the program (tables a user writes, layers saved by Chinese office software)
// comes as UTF-8 or as GBK. Everything inside is UTF-8; this is where such bytes become UTF-8,
// and where UTF-8 becomes GBK for a result an older program reads.
// GBK is read as GB18030, which contains it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quilmark {

// Whether the bytes are well-formed UTF-8 (no overlong forms, nothing above U+10FFFF).
bool IsUtf8(std::string_view text);

// The bytes as UTF-8: themselves when they are UTF-8, else decoded as GB18030; nullopt when they
// are neither (a byte sequence GB18030 does not have, or one cut off at the end).
std::optional<std::string> DecodeChineseText(std::string_view text);

// UTF-8 text as GBK, for older programs that read nothing else. nullopt where the text holds a
// character GBK does not have; `missing` (when given) is then that character, in UTF-8.
std::optional<std::string> EncodeGbk(std::string_view utf8, std::string* missing = nullptr);

// The 1-based number of the first line that is neither UTF-8 nor GB18030; 0 when every line is
// one or the other. For messages about a text DecodeChineseText refused.
int FirstUndecodableLine(std::string_view text);

}  // namespace quilmark
