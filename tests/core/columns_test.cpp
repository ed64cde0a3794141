#include "src/app/columns.h"

#include <gtest/gtest.h>

namespace quilmark {
namespace {

TEST(ParseColumnNumber, RoundsHalvesToEvenAndRejectsNonNumbers) {
  struct Case {
    const char* text;
    std::optional<int16_t> column;
  };
  const Case cases[] = {
      {"1", 1},          {"2.5", 2},         {"3.5", 4},          {" 3 ", 3},
      {"2.4999", 2},     {"2.51", 3},        {"-0.5", 0},         {"-1.5", -2},
      {"0", 0},          {"32767", 32767},   {"-32768", -32768},  {"32767.4", 32767},
      {"32767.5", std::nullopt},             {"40000", std::nullopt},
      {"-32769", std::nullopt},              {"", std::nullopt},  {"   ", std::nullopt},
      {"abc", std::nullopt},                 {"2a", std::nullopt}, {"1 2", std::nullopt},
      {".", std::nullopt},                   {"1e1", 10},         {"1e", std::nullopt},
      {"+7", 7},         {".5", 0},          {"\t3", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseColumnNumber(c.text), c.column);
  }
}

TEST(SheetColumn, OnlyColumnsInsideTheSheet) {
  EXPECT_EQ(SheetColumn("1"), 1);
  EXPECT_EQ(SheetColumn("16384"), 16384);
  EXPECT_EQ(SheetColumn("16385"), std::nullopt);
  EXPECT_EQ(SheetColumn("0"), std::nullopt);
  EXPECT_EQ(SheetColumn("-3"), std::nullopt);
  EXPECT_EQ(SheetColumn("0.4"), std::nullopt);
}

// Letters as the sheet's heading shows them name the same columns as their numbers.
TEST(SheetColumn, TakesColumnLetters) {
  const struct {
    const char* text;
    std::optional<int32_t> column;
  } cases[] = {{"A", 1},
               {" c ", 3},
               {"Z", 26},
               {"aa", 27},
               {"XFD", 16384},
               {"XFE", std::nullopt},
               {"AAAA", std::nullopt},
               {"A1", std::nullopt},
               {"1A", std::nullopt},
               {"区", std::nullopt},
               {"", std::nullopt}};
  for (const auto& c : cases) EXPECT_EQ(SheetColumn(c.text), c.column) << c.text;
}

}  // namespace
}  // namespace quilmark
