#include "src/report/patch_attributes.h"

#include "src/landuse/shipped_tables.h"

namespace quilmark {

Ownership OwnershipOf(std::string_view qsxz) {
  const std::optional<std::string_view> kind = ShippedTable("survey3_ownership").Match(qsxz);
  if (!kind) return Ownership::kUnknown;
  if (*kind == "国有") return Ownership::kState;
  if (*kind == "集体") return Ownership::kCollective;
  return Ownership::kUnknown;
}

uint8_t UrbanKindOf(std::string_view czcsxm) {
  if (czcsxm.size() < 3 || czcsxm[0] != '2' || czcsxm[1] != '0') return 0;
  if (czcsxm[2] < '1' || czcsxm[2] > '5') return 0;
  if (czcsxm.size() > 3 && (czcsxm.size() > 4 || czcsxm[3] < 'A' || czcsxm[3] > 'Z')) return 0;
  return static_cast<uint8_t>(czcsxm[2] - '0');
}

uint8_t SlopePartOf(std::string_view pdjb, std::string_view gdlx) {
  // A numeric field gives "2", a text field may give "2" or "02".
  while (pdjb.size() > 1 && pdjb.front() == '0') pdjb.remove_prefix(1);
  if (pdjb.size() != 1 || pdjb[0] < '1' || pdjb[0] > '5') return kSlopeUnknown;
  const int grade = pdjb[0] - '0';
  if (grade == 1) return 0;
  if (gdlx == "TT") return static_cast<uint8_t>(2 * grade - 3);
  if (gdlx == "PD") return static_cast<uint8_t>(2 * grade - 2);
  return kSlopeUnknown;
}

TerraceSplit SplitTerrace(double area, std::optional<double> terrace_area,
                          std::optional<double> coefficient) {
  double terrace = 0;
  if (terrace_area) {
    terrace = *terrace_area;
  } else if (coefficient) {
    terrace = area * *coefficient;
  }
  return {area - terrace, terrace};
}

}  // namespace quilmark
