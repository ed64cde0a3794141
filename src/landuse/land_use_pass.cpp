// The land-use pass: every row's class key, zone and area into the summary tables.
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "src/landuse/land_use.h"

namespace quilmark {
namespace {

// The key of the class text: the user's table in place of the method's, and K-marked patches
// under a 带K key of their own when they are reported apart.
ClassLookup Classify(const LandUseSettings& settings, std::string_view text) {
  ClassLookup lookup = settings.user_table != nullptr
                           ? settings.user_table->Lookup(text)
                           : MethodEntry(settings.method).classify(text);
  if (settings.split_k && lookup.k_marked) lookup.key = "带K" + lookup.key;
  return lookup;
}

}  // namespace

std::string RidgeKey(const LandUseSettings& settings) {
  if (settings.user_table != nullptr) {
    for (std::string_view code : {"1203", "2303"}) {
      ClassLookup lookup = settings.user_table->Lookup(code);
      if (lookup.known) return lookup.key;
    }
    return "田坎";
  }
  const std::string_view code = MethodEntry(settings.method).ridge_code;
  return code.empty() ? std::string() : MethodEntry(settings.method).classify(code).key;
}

std::optional<double> DeductionCoefficient(const CellValue& value) {
  // Read as the area column is read, so that a title row counts as 0.
  std::optional<double> number = CellNumber(value);
  if (!number || !std::isfinite(*number)) return std::nullopt;
  return *number;
}

std::vector<UnknownCode> AccumulateLandUse(PassContext& context, const LandUseSettings& settings,
                                           SummaryTables& tables) {
  const Columns& columns = context.columns;
  std::string& holder = context.text_holder;
  const std::string ridge_key = settings.deduction_column ? RidgeKey(settings) : std::string();
  std::vector<UnknownCode> unknown;
  std::unordered_map<std::string, size_t> unknown_place;
  // Whether the holder already holds a key of this pass. A key is never derived twice: not every
  // key gives itself back (国有 would become 集体, K's key KK would become KKK), and a row whose
  // class cannot be read belongs under the previous row's key as it stands.
  bool holder_is_key = false;
  for (int32_t row = 1; row <= context.last_row; ++row) {
    UnknownCode* unknown_code = nullptr;
    if (std::optional<std::string> class_text = context.Text(row, columns.class_)) {
      ClassLookup lookup = Classify(settings, *class_text);
      if (!lookup.known) {
        auto [it, added] = unknown_place.try_emplace(lookup.key, unknown.size());
        if (added) unknown.push_back({lookup.key, 0, 0.0});
        unknown_code = &unknown[it->second];
      }
      holder = std::move(lookup.key);
      holder_is_key = true;
    } else if (!holder_is_key) {
      // An unreadable class cell before any key: the key of what the holder held when the pass
      // began (empty, or the last zone text of the conversion).
      holder = Classify(settings, holder).key;
      holder_is_key = true;
    }
    // A failed class read keeps the previous row's key: the row counts under it.
    const std::optional<std::string> zone = context.Text(row, columns.zone);
    std::optional<double> area = context.Number(row, columns.area);
    if (unknown_code != nullptr) {
      ++unknown_code->patches;
      if (area) unknown_code->area += *area;
    }
    double ridge_share = 0;
    if (settings.deduction_column && area && !ridge_key.empty()) {
      std::optional<CellValue> cell = context.sheet.Read(row, *settings.deduction_column);
      // The coefficients were checked before the pass; an unreadable cell deducts nothing.
      const double coefficient = cell ? DeductionCoefficient(*cell).value_or(0.0) : 0.0;
      if (coefficient > 0) {
        ridge_share = *area * coefficient;
        area = *area * (1 - coefficient);
      }
    }
    AccumulateRow(tables, zone, holder, area);
    if (ridge_share > 0) AccumulateRow(tables, zone, ridge_key, ridge_share);
  }
  return unknown;
}

void AccumulateLandUse(PassContext& context, LandUseMethod method, SummaryTables& tables) {
  AccumulateLandUse(context, LandUseSettings{method, nullptr, false, std::nullopt}, tables);
}

std::optional<int32_t> FirstBadCoefficient(const PassContext& context, int32_t column) {
  for (int32_t row = 1; row <= context.last_row; ++row) {
    std::optional<CellValue> cell = context.sheet.Read(row, column);
    if (!cell) continue;
    std::optional<double> coefficient = DeductionCoefficient(*cell);
    if (!coefficient || *coefficient < 0 || *coefficient >= 1) return row;
  }
  return std::nullopt;
}

}  // namespace quilmark
