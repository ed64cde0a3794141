// The land-use task: the class key of each row under one of the methods, the pass that sums
// area by zone and key, and the optional rewrite of zone codes as zone names before it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "src/host/cell_value.h"
#include "src/landuse/class_families.h"
#include "src/landuse/class_table.h"
#include "src/landuse/land_use_methods.h"
#include "src/summary/row_task.h"
#include "src/summary/summary_tables.h"
#include "src/summary/text_ids.h"

namespace quilmark {

// The class key of a class text under a method, by the method's key function: a fixed label, a
// class name, a cut of the text, or the text itself. Pure; never fails.
std::string LandUseClassKey(LandUseMethod method, std::string_view class_text);

// The zone text with a known three-character zone code at its start replaced by the zone's
// name; other texts unchanged.
std::string ConvertZoneCode(std::string_view zone_text);

// The text a zone cell is rewritten as: its trimmed text with the code replaced, numbers included;
// nullopt for an error value and for a number whose 15-digit text would lose digits (a long patch
// number), which keep what they hold.
std::optional<std::string> ConvertedZone(const CellValue& zone);

// Where the built-in table of zone codes belongs: its codes are that city's, and another county's
// codes of the same digits name different places.
inline constexpr std::string_view kBuiltInZonesPlace = "广东省东莞市";

// Watches the zones of a run whose codes were rewritten by ConvertZoneCode: a zone that still
// starts with three digits had a code the built-in table lacks. Where most of the run's zones did,
// the data are likely not from the table's place.
class ZoneCodeCheck : public RowSink {
 public:
  void AddRow(const PatchRow& row) override;
  // The warning where more than half of the run's coded zones are not in the table.
  std::optional<std::string> Warning() const;

 private:
  std::vector<bool> seen_;  // by zone id
  int64_t converted_ = 0;   // distinct zones named from the table
  int64_t unknown_ = 0;     // distinct zones whose code the table lacks
};

inline constexpr std::string_view kLandUseTitle = "土地利用情况分区域汇总";

// How the land-use task classifies and splits.
struct LandUseSettings {
  LandUseMethod method = LandUseMethod::OptClassC_2008;
  const ClassTable* user_table = nullptr;  // a user's table, used in place of the method's
  bool split_k = false;  // K-marked patches under 带K and their class, apart from the others
  // Whether rows carry a 田坎 deduction coefficient (KCXS) in SourceRow::deduction; the run checks
  // every coefficient before the first row.
  bool deduct = false;
};

// A class text the table does not know, with the patches that carry it and their area.
struct UnknownCode {
  std::string code;
  int64_t patches = 0;
  double area = 0;
  // For a text of digits that the table knows with a 0 in front (101 -> 0101): the key it then
  // gets. A code cell kept as a number loses its leading zero.
  std::optional<std::string> key_with_zero;
  friend bool operator==(const UnknownCode&, const UnknownCode&) = default;
};

// The key the 田坎 share of a patch goes to; empty when the method has no such class.
std::string RidgeKey(const LandUseSettings& settings);

// A deduction coefficient as a cell holds it, read by the leading-number rule of the area column:
// an empty cell, and a text without a number (a title), are 0. nullopt when it overflows.
std::optional<double> DeductionCoefficient(const CellValue& value);

// Area by zone and class key. A row whose class cell cannot be read counts under the previous
// row's key; before any key, under the key of the empty text. With deduction, a patch of area A
// and coefficient c adds A x (1 - c) under its own key and A x c under RidgeKey; a row that stands
// for a group adds its area less its 田坎 part, and the part (when above 0) under RidgeKey.
class LandUseTask : public RowTask {
 public:
  explicit LandUseTask(LandUseMethod method, AreaFormat format = {})
      : LandUseTask(LandUseSettings{method, nullptr, false, false}, format) {}
  LandUseTask(LandUseSettings settings, AreaFormat format);
  void AddRow(const PatchRow& row) override;
  TableShape Shape() const override {
    return SummaryShape(tables_, SummaryLayout::kByClass, format_);
  }
  ResultTable Table() const override {
    return SummaryTable(std::string(kLandUseTitle), tables_, SummaryLayout::kByClass, format_);
  }
  const SummaryTables& tables() const { return tables_; }
  // The codes no rule took, in the order first met.
  const std::vector<UnknownCode>& unknown() const { return unknown_; }
  // Every class text read, with the area of its patches before any deduction, in the order met.
  const std::vector<TextArea>& texts() const { return texts_; }
  // What the run ends with, in the order shown: the codes no rule took, with their patches and
  // area in the run's unit; and, when another shipped family knows clearly more of the area than
  // the chosen method's, that family. Empty when there is nothing to say.
  std::vector<std::string> Warnings() const;

 private:
  // What a class text gives, derived once per distinct text.
  struct TextKey {
    size_t place = 0;               // its key's place among the classes
    size_t text = 0;                // its entry among the texts
    std::optional<size_t> unknown;  // its entry among the unknown codes, where no rule took it
  };
  TextKey Derive(std::string_view class_text);

  const LandUseSettings settings_;
  const AreaFormat format_;
  const std::string ridge_key_;
  SummaryTables tables_;
  ById<TextKey> keys_;               // by class id
  ById<size_t> zone_places_;         // by zone id
  std::optional<size_t> key_place_;  // the key of the last row whose class could be read
  std::optional<size_t> ridge_place_;
  std::vector<UnknownCode> unknown_;
  std::unordered_map<std::string, size_t> unknown_place_;
  std::vector<TextArea> texts_;
};

}  // namespace quilmark
