// The land-use task: every row's class key, zone and area into the summary tables.
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "src/host/ascii_text.h"
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

// The key a text of digits gets with a 0 in front, when that one is known.
std::optional<std::string> KeyWithZero(const LandUseSettings& settings, std::string_view text) {
  if (text.empty() || !std::all_of(text.begin(), text.end(), IsAsciiDigit)) return std::nullopt;
  ClassLookup padded = Classify(settings, "0" + std::string(text));
  if (!padded.known) return std::nullopt;
  return std::move(padded.key);
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

LandUseTask::LandUseTask(LandUseSettings settings, AreaFormat format)
    : settings_(settings),
      format_(format),
      ridge_key_(settings.deduct ? RidgeKey(settings) : std::string()) {}

LandUseTask::TextKey LandUseTask::Derive(std::string_view class_text) {
  ClassLookup lookup = Classify(settings_, class_text);
  TextKey key;
  if (!lookup.known) {
    auto [it, added] = unknown_place_.try_emplace(lookup.key, unknown_.size());
    if (added) unknown_.push_back({lookup.key, 0, 0.0, KeyWithZero(settings_, class_text)});
    key.unknown = it->second;
  }
  key.place = tables_.classes.Add(lookup.key);
  key.text = texts_.size();
  texts_.push_back({std::string(class_text), 0.0});
  return key;
}

void LandUseTask::AddRow(const PatchRow& row) {
  // A key is never derived twice: not every key gives itself back (国有 would become 集体, K's
  // key KK would become KKK), and a row whose class cannot be read belongs under the previous
  // row's key as it stands. Keys are registered in the order of the rows that first give them,
  // then the zone, as one row after another would register them.
  std::optional<double> area = row.area;
  if (row.class_text) {
    const TextKey key = keys_.Get(row.class_id, [&] { return Derive(*row.class_text); });
    if (area) texts_[key.text].area += *area;
    if (key.unknown) {
      unknown_[*key.unknown].patches += row.cells.patches;
      if (area) unknown_[*key.unknown].area += *area;
    }
    key_place_ = key.place;
  } else if (!key_place_) {
    key_place_ = tables_.classes.Add(Classify(settings_, "").key);
  }
  double ridge_share = 0;
  if (!ridge_key_.empty() && area && row.cells.ridge) {
    // A group's part was summed over its patches with a coefficient above 0; a part of 0 or
    // less (negative areas) leaves the key, as such a patch's share does below.
    ridge_share = *row.cells.ridge;
    area = *area - ridge_share;
  } else if (!ridge_key_.empty() && area && row.cells.deduction) {
    // The coefficients were checked before the first row.
    const double coefficient = DeductionCoefficient(*row.cells.deduction).value_or(0.0);
    if (coefficient > 0) {
      ridge_share = *area * coefficient;
      area = *area * (1 - coefficient);
    }
  }
  std::optional<size_t> zone_place;
  if (row.zone) {
    zone_place = zone_places_.Get(row.zone_id, [&] { return tables_.zones.Add(*row.zone); });
  }
  if (zone_place && area) AddPairArea(tables_, *zone_place, *key_place_, *area);
  if (ridge_share > 0) {
    if (!ridge_place_) ridge_place_ = tables_.classes.Add(ridge_key_);
    if (zone_place) AddPairArea(tables_, *zone_place, *ridge_place_, ridge_share);
  }
}

}  // namespace quilmark
