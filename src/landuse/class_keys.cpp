// The key functions of the six land-use methods of the 2008 era.
//
// Four methods are ordered rule lists: the first rule whose heads and K test hold gives the key,
// and a text no rule takes is its own key. The third-level method cuts the text and the
// ownership method splits it in two; each is a few lines of its own.
#include <array>
#include <span>
#include <string>
#include <string_view>

#include "src/landuse/class_keys.h"

#include "src/host/utf16.h"

namespace quilmark {
namespace {

// How a rule looks at the last character of the text.
enum class Mark {
  kEither,    // not looked at
  kMarked,    // the text ends in the method's K
  kUnmarked,  // the text does not end in the method's K
};

// A rule holds when the text starts with one of its heads (no heads: any text) and its mark test
// holds. A head of n characters is compared with the first n characters of the text, so a shorter
// text never matches. Unused head slots are empty.
struct KeyRule {
  std::array<std::string_view, 3> heads;
  Mark mark;
  std::string_view label;
};

// The two K tests: the 2008 methods upper-case the last character first (so a final k counts),
// the second-survey method takes only a capital K. Full-width letters count in neither.
enum class KTest { kUpperCased, kCapitalOnly };

struct RuleMethod {
  KTest k_test;
  std::span<const KeyRule> rules;
};

const KeyRule kClassA2008Rules[] = {
    {{}, Mark::kMarked, "带K农用地"},   {{"11"}, Mark::kEither, "耕地"},
    {{"12"}, Mark::kEither, "园地"},    {{"13"}, Mark::kEither, "林地"},
    {{"14"}, Mark::kEither, "牧草地"},  {{"15"}, Mark::kEither, "其它农用地"},
    {{"2"}, Mark::kEither, "建设用地"}, {{"3"}, Mark::kEither, "未利用地"},
};

const KeyRule kClassB2008Rules[] = {
    {{"11"}, Mark::kEither, "耕地"},         {{"12"}, Mark::kUnmarked, "园地"},
    {{"12"}, Mark::kMarked, "带K园地"},      {{"13"}, Mark::kUnmarked, "林地"},
    {{"13"}, Mark::kMarked, "带K林地"},      {{"14"}, Mark::kUnmarked, "牧草地"},
    {{"14"}, Mark::kMarked, "带K人工草地"},  {{"15"}, Mark::kUnmarked, "其它农用地"},
    {{"15"}, Mark::kMarked, "带K养殖水面"},  {{"20"}, Mark::kEither, "居民点及独立工矿用地"},
    {{"26"}, Mark::kEither, "交通运输用地"}, {{"27"}, Mark::kEither, "水利设施用地"},
    {{"31"}, Mark::kEither, "未利用土地"},   {{"32"}, Mark::kEither, "其它土地"},
};

// Selected by the first two characters; within a selection the rules apply in order, so a
// three-character head listed before its two-character group takes precedence over it.
const KeyRule kClassAEdRules[] = {
    {{"01"}, Mark::kEither, "耕地"},
    {{"02"}, Mark::kMarked, "带K农用地"},
    {{"02"}, Mark::kEither, "园地"},
    {{"03"}, Mark::kMarked, "带K农用地"},
    {{"03"}, Mark::kEither, "林地"},
    {{"04"}, Mark::kMarked, "带K农用地"},
    {{"043"}, Mark::kEither, "未利用地"},
    {{"04"}, Mark::kEither, "草地"},
    {{"104"}, Mark::kEither, "其它农用地"},
    {{"10"}, Mark::kEither, "建设用地"},
    {{"11"}, Mark::kMarked, "带K农用地"},
    {{"114", "117"}, Mark::kEither, "其它农用地"},
    {{"113", "118"}, Mark::kEither, "建设用地"},
    {{"11"}, Mark::kEither, "未利用地"},
    {{"122", "123"}, Mark::kEither, "其它农用地"},
    {{"121"}, Mark::kEither, "建设用地"},
    {{"12"}, Mark::kEither, "未利用地"},
    {{"20"}, Mark::kEither, "建设用地"},
};

const KeyRule kAgriLandEdRules[] = {
    {{"01", "02", "03"}, Mark::kEither, "农用地"},
    {{"043"}, Mark::kEither, "未利用地"},
    {{"04"}, Mark::kEither, "农用地"},
    {{"104"}, Mark::kEither, "农用地"},
    {{"10"}, Mark::kEither, "建设用地"},
    {{"114", "117"}, Mark::kEither, "农用地"},
    {{"113", "118"}, Mark::kEither, "建设用地"},
    {{"11"}, Mark::kEither, "未利用地"},
    {{"122", "123"}, Mark::kEither, "农用地"},
    {{"121"}, Mark::kEither, "建设用地"},
    {{"12"}, Mark::kEither, "未利用地"},
    {{"20"}, Mark::kEither, "建设用地"},
};

bool StartsWith(std::string_view text, std::string_view head) {
  return Utf16Prefix(text, Utf16Length(head)) == head;
}

bool EndsInK(std::string_view text, KTest test) {
  const std::string_view last = LastCharacter(text);
  return last == "K" || (test == KTest::kUpperCased && last == "k");
}

bool RuleHolds(const KeyRule& rule, std::string_view text, KTest k_test) {
  bool any_head = false;
  bool head_matches = false;
  for (std::string_view head : rule.heads) {
    if (head.empty()) continue;
    any_head = true;
    head_matches = head_matches || StartsWith(text, head);
  }
  if (any_head && !head_matches) return false;
  switch (rule.mark) {
    case Mark::kEither:
      return true;
    case Mark::kMarked:
      return EndsInK(text, k_test);
    case Mark::kUnmarked:
      return !EndsInK(text, k_test);
  }
  return false;
}

std::string KeyByRules(const RuleMethod& method, std::string_view text) {
  for (const KeyRule& rule : method.rules) {
    if (RuleHolds(rule, text, method.k_test)) return std::string(rule.label);
  }
  return std::string(text);
}

}  // namespace

// Third-level classes: the first three characters, with the K mark (upper-cased) put back when
// the text ends in one. 12K therefore gives 12KK: the mark is within the first three characters
// and is added again.
std::string ClassC2008Key(std::string_view text) {
  std::string key(Utf16Prefix(text, 3));
  if (EndsInK(text, KTest::kUpperCased)) key += 'K';
  return key;
}

// Ownership nature: codes below 3 (and the empty text) are state-owned, the rest collective.
std::string OwnershipEdKey(std::string_view text) { return Utf16Less(text, "3") ? "国有" : "集体"; }


std::string ClassB2008Key(std::string_view text) {
  return KeyByRules({KTest::kUpperCased, kClassB2008Rules}, text);
}

std::string ClassA2008Key(std::string_view text) {
  return KeyByRules({KTest::kUpperCased, kClassA2008Rules}, text);
}

std::string ClassAEdKey(std::string_view text) {
  return KeyByRules({KTest::kCapitalOnly, kClassAEdRules}, text);
}

// No rule of this method looks at the mark.
std::string AgriLandEdKey(std::string_view text) {
  return KeyByRules({KTest::kCapitalOnly, kAgriLandEdRules}, text);
}

}  // namespace quilmark
