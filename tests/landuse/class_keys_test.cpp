#include <gtest/gtest.h>

#include <string>

#include "src/landuse/land_use.h"

namespace quilmark {
namespace {

using M = LandUseMethod;

// One class text under the three methods of the 2008 classification.
struct Case2008 {
  const char* text;
  const char* third_level;   // OptClassC_2008
  const char* second_level;  // OptClassB_2008
  const char* first_level;   // OptClassA_2008
};

const Case2008 kCases2008[] = {
    {"111", "111", "耕地", "耕地"},
    {"11K", "11KK", "耕地", "带K农用地"},
    {"121", "121", "园地", "园地"},
    {"121K", "121K", "带K园地", "带K农用地"},
    {"121k", "121K", "带K园地", "带K农用地"},
    {"12", "12", "园地", "园地"},
    {"12K", "12KK", "带K园地", "带K农用地"},
    {"12K1", "12K", "园地", "园地"},
    {"121X", "121", "园地", "园地"},
    {"131", "131", "林地", "林地"},
    {"131K", "131K", "带K林地", "带K农用地"},
    {"141", "141", "牧草地", "牧草地"},
    {"143K", "143K", "带K人工草地", "带K农用地"},
    {"155", "155", "其它农用地", "其它农用地"},
    {"155k", "155K", "带K养殖水面", "带K农用地"},
    {"2", "2", "2", "建设用地"},
    {"204", "204", "居民点及独立工矿用地", "建设用地"},
    {"2041", "204", "居民点及独立工矿用地", "建设用地"},
    {"204K", "204K", "居民点及独立工矿用地", "带K农用地"},
    {"251", "251", "251", "建设用地"},
    {"261", "261", "交通运输用地", "建设用地"},
    {"271", "271", "水利设施用地", "建设用地"},
    {"317", "317", "未利用土地", "未利用地"},
    {"321", "321", "其它土地", "未利用地"},
    {"331", "331", "331", "未利用地"},
    {"1", "1", "1", "1"},
    {"19", "19", "19", "19"},
    {"K", "KK", "K", "带K农用地"},
    {"", "", "", ""},
    {"地类编码", "地类编", "地类编码", "地类编码"},
    // Full-width letters are not the mark.
    {"121Ｋ", "121", "园地", "园地"},
    {"121ｋ", "121", "园地", "园地"},
    // A character beyond U+FFFF is two units and is never cut in half.
    {"12😀K", "12K", "带K园地", "带K农用地"},
    {"1😀", "1😀", "1😀", "1😀"},
    {"😀11", "😀1", "😀11", "😀11"},
};

TEST(LandUseClassKey, Classification2008) {
  for (const Case2008& c : kCases2008) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(LandUseClassKey(M::OptClassC_2008, c.text), c.third_level);
    EXPECT_EQ(LandUseClassKey(M::OptClassB_2008, c.text), c.second_level);
    EXPECT_EQ(LandUseClassKey(M::OptClassA_2008, c.text), c.first_level);
  }
}

// One class text of the second-survey map under its two class methods.
struct CaseSurvey {
  const char* text;
  const char* first_level;  // OptClassA_ED
  const char* agri_land;    // OptAgriLand_ED
};

const CaseSurvey kCasesSurvey[] = {
    {"011", "耕地", "农用地"},
    {"011K", "耕地", "农用地"},
    {"021", "园地", "农用地"},
    {"021K", "带K农用地", "农用地"},
    {"021k", "园地", "农用地"},
    {"02Ｋ", "园地", "农用地"},
    {"031", "林地", "农用地"},
    {"031K", "带K农用地", "农用地"},
    {"04", "草地", "农用地"},
    {"041", "草地", "农用地"},
    {"041K", "带K农用地", "农用地"},
    {"043", "未利用地", "未利用地"},
    {"043K", "带K农用地", "未利用地"},
    {"101", "建设用地", "建设用地"},
    {"101K", "建设用地", "建设用地"},
    {"104", "其它农用地", "农用地"},
    {"104K", "其它农用地", "农用地"},
    {"111", "未利用地", "未利用地"},
    {"111K", "带K农用地", "未利用地"},
    {"113", "建设用地", "建设用地"},
    {"113K", "带K农用地", "建设用地"},
    {"114", "其它农用地", "农用地"},
    {"114K", "带K农用地", "农用地"},
    {"117", "其它农用地", "农用地"},
    {"118", "建设用地", "建设用地"},
    {"121", "建设用地", "建设用地"},
    {"122", "其它农用地", "农用地"},
    {"122K", "其它农用地", "农用地"},
    {"123", "其它农用地", "农用地"},
    {"127", "未利用地", "未利用地"},
    {"201", "建设用地", "建设用地"},
    {"205K", "建设用地", "建设用地"},
    {"051", "051", "051"},
    {"43", "43", "43"},  // 043 typed as a number
    {"1", "1", "1"},
    {"0", "0", "0"},
    {"", "", ""},
    {"地类编码", "地类编码", "地类编码"},
};

TEST(LandUseClassKey, SecondSurveyClasses) {
  for (const CaseSurvey& c : kCasesSurvey) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(LandUseClassKey(M::OptClassA_ED, c.text), c.first_level);
    EXPECT_EQ(LandUseClassKey(M::OptAgriLand_ED, c.text), c.agri_land);
  }
}

TEST(LandUseClassKey, OwnershipSplitsAtThreeByCodeUnits) {
  struct Case {
    const char* text;
    const char* key;
  };
  const Case cases[] = {
      {"10", "国有"}, {"20", "国有"}, {"29999", "国有"}, {"", "国有"},         {"!", "国有"},
      {"0", "国有"},  {"3", "集体"},  {"30", "集体"},    {"31", "集体"},       {"40", "集体"},
      {"43", "集体"}, {"A", "集体"},  {"😀", "集体"},     {"权属性质", "集体"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(LandUseClassKey(M::OptQSXZ_ED, c.text), c.key);
  }
}

}  // namespace
}  // namespace quilmark
