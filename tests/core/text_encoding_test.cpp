#include "src/host/text_encoding.h"

#include <gtest/gtest.h>

namespace quilmark {
namespace {

TEST(TextEncoding, DecodesUtf8AsItIsElseGb18030ElseRefuses) {
  struct Case {
    const char* bytes;
    std::optional<std::string> text;
  };
  const Case cases[] = {
      {"", ""},
      {"石碣镇 0101", "石碣镇 0101"},
      {"\xCA\xAF\xED\xD9\xD5\xF2", "石碣镇"},  // GBK
      {"\x81\x30\x81\x30", "\xC2\x80"},        // a four-byte GB18030 character
      {"\xC0\xAF", "蜡"},                      // an overlong '/' is not UTF-8, but is GBK
      {"\xE0\x80\xAF", std::nullopt},          // a three-byte overlong is neither
      {"\xCA\xAF\xED", std::nullopt},          // GBK cut off in a character
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(DecodeChineseText(c.bytes), c.text);
  }
}

TEST(TextEncoding, NamesTheFirstLineThatIsNeither) {
  EXPECT_EQ(FirstUndecodableLine("a\n\xCA\xAF\nb\xFF\nc\xFF"), 3);
  EXPECT_EQ(FirstUndecodableLine("a\n\xCA\xAF\n"), 0);
}

}  // namespace
}  // namespace quilmark
