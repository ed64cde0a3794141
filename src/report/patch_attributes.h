// What the survey tables read from one patch besides its zone, class and area: ownership, the
// 城镇村 attribute, slope grade and terraced or sloping, and its 田坎 share. Pure functions of the
// field texts; a text none of the rules take is "unknown", which the tables' checks report.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quilmark {

// QSXZ by the third survey's 权属性质 codes (src/landuse/tables/survey3_ownership.tsv).
enum class Ownership : uint8_t { kState, kCollective, kUnknown };
inline constexpr size_t kOwnershipKinds = 3;
Ownership OwnershipOf(std::string_view qsxz);

// CZCSXM: 1..5 for 城市 201, 建制镇 202, 村庄 203, 采矿用地 204, 风景名胜及特殊用地 205 (a
// letter after the three digits, 201A, counts in its code's row); 0 for a patch outside them.
inline constexpr size_t kUrbanKinds = 6;
uint8_t UrbanKindOf(std::string_view czcsxm);

// Slope grade (PDJB 1-5) and, from grade 2 on, terraced or sloping (GDLX TT 梯田, PD 坡地): 0 is
// grade 1; grade g >= 2 is 2g - 3 for 梯田 and 2g - 2 for 坡地 (1 to 8); 9 a grade that is
// missing or not 1-5, or a grade from 2 on without TT or PD.
inline constexpr size_t kSlopeParts = 10;
inline constexpr uint8_t kSlopeUnknown = 9;
uint8_t SlopePartOf(std::string_view pdjb, std::string_view gdlx);

// A patch's area split between its own class and 田坎: the 田坎 area (KCMJ) where the layer gives
// it, else the area times the coefficient (KCXS), else none.
struct TerraceSplit {
  double own = 0;
  double terrace = 0;
};
TerraceSplit SplitTerrace(double area, std::optional<double> terrace_area,
                          std::optional<double> coefficient);

}  // namespace quilmark
