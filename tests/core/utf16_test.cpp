#include "src/host/utf16.h"

#include <gtest/gtest.h>

namespace quilmark {
namespace {

TEST(Utf16, LengthCountsCodeUnits) {
  EXPECT_EQ(Utf16Length(""), 0u);
  EXPECT_EQ(Utf16Length("121K"), 4u);
  EXPECT_EQ(Utf16Length("石碣镇"), 3u);
  EXPECT_EQ(Utf16Length("𠀀a"), 3u);  // beyond U+FFFF: a surrogate pair
  EXPECT_EQ(Utf16Length("\xff"), 1u);    // a stray byte counts as one unit
}

TEST(Utf16, PrefixTakesWholeTextWhenShorterAndNeverSplitsAPair) {
  struct Case {
    const char* text;
    size_t n;
    const char* prefix;
  };
  const Case cases[] = {
      {"2041", 3, "204"}, {"1", 2, "1"},         {"", 3, ""},
      {"地类编码", 3, "地类编"}, {"ab𠀀", 3, "ab"}, {"ab𠀀", 4, "ab𠀀"},
      {"𠀀1", 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Utf16Prefix(c.text, c.n), c.prefix);
  }
}

TEST(Utf16, LastCharacterIsAWholeSequence) {
  EXPECT_EQ(LastCharacter(""), "");
  EXPECT_EQ(LastCharacter("121K"), "K");
  EXPECT_EQ(LastCharacter("12Ｋ"), "Ｋ");
  EXPECT_EQ(LastCharacter("a𠀀"), "𠀀");
}

TEST(Utf16, OrdersByCodeUnits) {
  EXPECT_TRUE(Utf16Less("", "3"));
  EXPECT_TRUE(Utf16Less("2", "3"));
  EXPECT_TRUE(Utf16Less("29", "3"));
  EXPECT_FALSE(Utf16Less("3", "3"));
  EXPECT_FALSE(Utf16Less("国有", "3"));
  // U+FF21 sorts after a surrogate pair in UTF-16 although its code point is lower.
  EXPECT_TRUE(Utf16Less("𠀀", "Ａ"));
}

}  // namespace
}  // namespace quilmark
