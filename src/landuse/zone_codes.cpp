// Zone codes rewritten as zone names in the zone cells of the data rows.
#include <array>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "src/host/ascii_text.h"
#include "src/host/utf16.h"
#include "src/landuse/land_use.h"

namespace quilmark {
namespace {

struct ZoneCode {
  std::string_view code;
  std::string_view name;
};

// The towns and districts of 广东省东莞市 (kBuiltInZonesPlace) by the three-digit zone codes of
// that city's planning data. Looked up in this order; 130 and 901 name the same zone. There is no
// 002 and no 120.
// clang-format off
constexpr ZoneCode ZoneCodeTable[] = {
    {"000", "东莞市"},
    {"001", "莞城区"},
    {"003", "东城区"},
    {"004", "南城区"},
    {"005", "万江区"},
    {"101", "石碣镇"},
    {"102", "石龙镇"},
    {"103", "茶山镇"},
    {"104", "石排镇"},
    {"105", "企石镇"},
    {"106", "横沥镇"},
    {"107", "桥头镇"},
    {"108", "谢岗镇"},
    {"109", "东坑镇"},
    {"110", "常平镇"},
    {"111", "寮步镇"},
    {"112", "樟木头镇"},
    {"113", "大朗镇"},
    {"114", "黄江镇"},
    {"115", "清溪镇"},
    {"116", "塘厦镇"},
    {"117", "凤岗镇"},
    {"118", "大岭山镇"},
    {"119", "长安镇"},
    {"121", "虎门镇"},
    {"122", "厚街镇"},
    {"123", "沙田镇"},
    {"124", "道滘镇"},
    {"125", "洪梅镇"},
    {"126", "麻涌镇"},
    {"127", "望牛墩镇"},
    {"128", "中堂镇"},
    {"129", "高埗镇"},
    {"130", "松山湖科技园"},
    {"901", "松山湖科技园"},
    {"131", "东莞生态园"},
    {"132", "虎门港"},
};
// clang-format on
static_assert(std::size(ZoneCodeTable) == 37);

int CodeNumber(std::string_view code) {
  return (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0');
}

// The table's first entry for a code of three digits, or nullptr: the table by the code's number,
// since every zone cell of a large sheet is looked up.
const ZoneCode* FindZone(std::string_view prefix) {
  static const std::array<int8_t, 1000> kIndex = [] {
    std::array<int8_t, 1000> index;
    index.fill(-1);
    for (size_t i = std::size(ZoneCodeTable); i-- > 0;) {
      index[CodeNumber(ZoneCodeTable[i].code)] = static_cast<int8_t>(i);
    }
    return index;
  }();
  if (prefix.size() != 3 || !IsAsciiDigit(prefix[0]) || !IsAsciiDigit(prefix[1]) ||
      !IsAsciiDigit(prefix[2])) {
    return nullptr;
  }
  const int8_t at = kIndex[CodeNumber(prefix)];
  return at < 0 ? nullptr : &ZoneCodeTable[at];
}

bool StartsWithCode(std::string_view text) {
  return text.size() >= 3 && IsAsciiDigit(text[0]) && IsAsciiDigit(text[1]) &&
         IsAsciiDigit(text[2]);
}

bool StartsWithTableName(std::string_view text) {
  for (const ZoneCode& zone : ZoneCodeTable) {
    if (text.substr(0, zone.name.size()) == zone.name) return true;
  }
  return false;
}

}  // namespace

void ZoneCodeCheck::AddRow(const PatchRow& row) {
  if (!row.zone) return;
  if (row.zone_id >= seen_.size()) seen_.resize(row.zone_id + 1, false);
  if (seen_[row.zone_id]) return;
  seen_[row.zone_id] = true;
  if (StartsWithCode(*row.zone)) {
    ++unknown_;
  } else if (StartsWithTableName(*row.zone)) {
    ++converted_;
  }
}

std::optional<std::string> ZoneCodeCheck::Warning() const {
  if (unknown_ == 0 || unknown_ * 2 <= unknown_ + converted_) return std::nullopt;
  return "注意: 本次统计的 " + std::to_string(unknown_ + converted_) + " 个区域代码中有 " +
         std::to_string(unknown_) + " 个不在内置的镇区名称表 (" + std::string(kBuiltInZonesPlace) +
         ") 中, 没有转换; 数据可能不是" + std::string(kBuiltInZonesPlace) +
         "的。请用本地的区域代码与名称对照表 (窗口: 区域代码 一行的 名称表; 命令行: --zone-names) "
         "代替 转换镇区代码为名称。";
}

std::string ConvertZoneCode(std::string_view zone_text) {
  const std::string_view prefix = Utf16Prefix(zone_text, 3);
  const ZoneCode* entry = FindZone(prefix);
  if (entry == nullptr) return std::string(zone_text);
  std::string named(entry->name);
  named += zone_text.substr(prefix.size());
  return named;
}

std::optional<std::string> ConvertedZone(const CellValue& zone) {
  if (std::holds_alternative<CellError>(zone)) return std::nullopt;
  // A number whose 15-digit text does not read back as the same number (a long patch number
  // such as 4419001234567890) would lose digits as text: it keeps its value instead.
  if (const double* number = std::get_if<double>(&zone);
      number != nullptr && LeadingNumber(NumberText(*number)) != *number) {
    return std::nullopt;
  }
  // Every zone goes back as trimmed text, numbers included; the empty text empties the cell.
  return ConvertZoneCode(CellText(zone));
}

}  // namespace quilmark
