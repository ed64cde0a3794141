// Both fast readers of rows take a tag's names by the scanner's one rule: what it refuses goes to
// the streaming parse, so a name must never be taken by one reader and refused by the other.
#include "src/host/xlsx/read/tag_scan.h"

#include <gtest/gtest.h>

#include <string_view>

namespace quilmark::xlsx {
namespace {

TEST(TagScan, NamesByOneRule) {
  struct Case {
    std::string_view tag;
    std::string_view name;  // empty: refused
  };
  const Case cases[] = {
      {R"(<row r="1">)", "row"},
      {R"(<x:c r="A1" t='s'/>)", "x:c"},
      {R"(<row x14ac:dy-D.e_1="0.25">)", "row"},
      {"</x:row \n>", "x:row"},
      {"<_a>", "_a"},
      {"<1a>", ""},
      {"<-a>", ""},
      {"<.a>", ""},
      {"<:a>", ""},
      {"<a:>", ""},
      {"<a:1b>", ""},
      {"<a:b:c>", ""},
      {"<\xC3\xA9>", ""},  // a letter XML allows: left to the parse
      {"<a\xC3\xA9>", ""},
      {"<c \xE5\x90\x8D=\"1\">", ""},   // likewise in an attribute's name
      {"<c x\xE2\x88\xBD=\"1\">", ""},  // a character XML does not allow in names
      {"<c 1r=\"1\">", ""},
      {R"(<c r="A1" r="B1">)", ""},  // given twice
      {R"(<c r="A1"s="2">)", ""},    // no space between attributes
      {R"(<c r="a&amp;b">)", ""},    // a reference, left to the parse
      {R"(<c r="a<b">)", ""},
      {"<!-- c -->", ""},
      {"<?pi x?>", ""},
      {"</row x=\"1\">", ""},
      {"<row r=\"1\"", ""},  // ends inside the tag
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    const char* const end = c.tag.data() + c.tag.size();
    ScannedTag tag;
    const char* const read = tag_scan::AnyTag(c.tag.data(), end, tag);
    EXPECT_EQ(read != nullptr, !c.name.empty());
    if (read != nullptr) {
      EXPECT_EQ(tag.name, c.name);
      EXPECT_EQ(read, end);
    }
  }
}

}  // namespace
}  // namespace quilmark::xlsx
