#include "src/host/cell_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quilmark {
namespace {

TEST(NumberText, FifteenSignificantDigitsNoTrailingZeros) {
  struct Case {
    double number;
    const char* text;
  };
  const Case cases[] = {
      {111, "111"},
      {2.5, "2.5"},
      {0.1 + 0.2, "0.3"},
      {-0.0, "0"},
      {-12.25, "-12.25"},
      {123456789012345, "123456789012345"},
      {1e15, "1E+15"},
      {1234567890123456, "1.23456789012346E+15"},
      {0.0001, "0.0001"},
      {0.00001, "1E-05"},
      {1.0 / 3, "0.333333333333333"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(NumberText(c.number), c.text);
  }
}

TEST(ValueText, EveryKindOfValue) {
  EXPECT_EQ(ValueText(CellValue{}), "");
  EXPECT_EQ(ValueText(CellValue{true}), "TRUE");
  EXPECT_EQ(ValueText(CellValue{false}), "FALSE");
  EXPECT_EQ(ValueText(CellValue{CellDate{"2024-01-05"}}), "2024-01-05");
  EXPECT_EQ(ValueText(CellValue{CellError{"#N/A"}}), "#N/A");
  EXPECT_EQ(ValueText(CellValue{std::string(" 石碣镇 ")}), " 石碣镇 ");
}

TEST(CellText, TrimsBlanksOnlyAtBothEnds) {
  EXPECT_EQ(CellText(std::string("  101  ")), "101");
  EXPECT_EQ(CellText(std::string(" a b ")), "a b");
  // Tabs and full-width blanks are not blanks.
  EXPECT_EQ(CellText(std::string("\t101\t")), "\t101\t");
  EXPECT_EQ(CellText(std::string("\u3000A")), "\u3000A");
  EXPECT_EQ(CellText(std::string("   ")), "");
  EXPECT_EQ(CellText(111.0), "111");
  EXPECT_EQ(CellText(CellError{"#DIV/0!"}), "#DIV/0!");
}

TEST(LeadingNumber, ReadsTheLongestLeadingNumber) {
  struct Case {
    const char* text;
    std::optional<double> number;
  };
  const Case cases[] = {
      {"12.5", 12.5},
      {"12.5亩", 12.5},
      {"1,234", 1},
      {"", 0},
      {"abc", 0},
      {"地块面积", 0},
      {" 1 2 3 ", 123},  // blanks anywhere are ignored
      {"1\t2\n3", 123},
      {"-4.5", -4.5},
      {"+4.5", 4.5},
      {"- 4.5", -4.5},
      {".5", 0.5},
      {"5.", 5},
      {"1.2.3", 1.2},
      {"1e3", 1000},
      {"1E+3x", 1000},
      {"2.5D2", 250},
      {"2d-1", 0.2},
      {"1e", 1},   // an exponent without digits is not read
      {"1e+", 1},
      {"-", 0},
      {"&H1F", 31},
      {"&hff", 255},
      {"&O17", 15},
      {"&o8", 0},
      {"&H", 0},
      {"&X1", 0},
      {"1e-400", 0},
      {"1e400", std::nullopt},  // overflow: the step fails
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(LeadingNumber(c.text), c.number);
  }
  EXPECT_FALSE(std::signbit(*LeadingNumber("-0")));
}

TEST(CellNumber, NumbersReadThroughTheirFifteenDigitText) {
  EXPECT_EQ(CellNumber(0.1 + 0.2), 0.3);
  EXPECT_EQ(CellNumber(2.5), 2.5);
  EXPECT_EQ(CellNumber(1e300), 1e300);
  EXPECT_EQ(CellNumber(CellValue{}), 0);
  EXPECT_EQ(CellNumber(std::string("3.5平方米")), 3.5);
  EXPECT_EQ(CellNumber(true), 0);
  EXPECT_EQ(CellNumber(CellError{"#N/A"}), 0);
}

}  // namespace
}  // namespace quilmark
