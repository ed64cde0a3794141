// CellNumber skips printing and reading back a number whose shortest text is short enough; the
// shortcut must give exactly what the full route gives, bit for bit, for numbers of every kind.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>

#include "src/host/cell_value.h"
#include "src/summary/row_feed.h"

namespace quilmark {
namespace {

void ExpectSameAsFullRoute(double number) {
  const std::optional<double> full = LeadingNumber(NumberText(number));
  const std::optional<double> fast = CellNumber(CellValue{number});
  ASSERT_EQ(fast.has_value(), full.has_value()) << number;
  if (full) {
    EXPECT_EQ(std::bit_cast<uint64_t>(*fast), std::bit_cast<uint64_t>(*full))
        << std::hexfloat << number;
  }
}

TEST(CellNumberShortcut, GivesWhatTheFifteenDigitTextGives) {
  for (const double number :
       {0.1, 0.1 + 0.2, -2.5, 1234.567, 1e15 + 0.5, 123456789012345.6, 1.23456789012345e-7,
        0.30000000000000004, 1e300, 1e301, 1e-300, 1e-301, 2.2250738585072014e-308, 5e-324,
        std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(), 1e22, 9.5e15}) {
    ExpectSameAsFullRoute(number);
  }
  std::mt19937_64 random(7);
  for (int i = 0; i < 200000; ++i) {
    // Any bit pattern, and decimals of 1 to 17 digits at every scale.
    const double bits = std::bit_cast<double>(random());
    if (std::isfinite(bits)) ExpectSameAsFullRoute(bits);
    const int digits = 1 + static_cast<int>(random() % 17);
    const double mantissa =
        static_cast<double>(random() % static_cast<uint64_t>(std::pow(10, digits)));
    const int scale = static_cast<int>(random() % 80) - 40;
    ExpectSameAsFullRoute(mantissa * std::pow(10.0, scale));
    ExpectSameAsFullRoute(-mantissa / std::pow(10.0, digits));
  }
}

// A text the tasks read is trimmed of blanks as before.
TEST(CellNumberShortcut, RowTextsAreTrimmed) {
  const std::pair<CellValue, std::string> cases[] = {
      {std::string("  002 "), "002"}, {std::string("   "), ""},       {std::string(""), ""},
      {std::string("a b"), "a b"},    {std::string(" \t1K"), "\t1K"}, {12.5, "12.5"},
  };
  for (const auto& [value, expected] : cases) {
    std::string buffer;
    EXPECT_EQ(RowText(value, buffer), expected);
  }
}

}  // namespace
}  // namespace quilmark
