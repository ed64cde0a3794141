// The shipped classifications, a user's table, the 田坎 deduction, units and rounding, and the
// worked example of a small third-survey sheet.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "src/app/land_use_choice.h"
#include "src/app/run_driver.h"
#include "tests/summarize.h"
#include "src/host/memory_host.h"
#include "src/landuse/land_use.h"
#include "src/landuse/shipped_tables.h"
#include "src/summary/area_format.h"
#include "tests/landuse/land_use_test_sheet.h"
#include "tests/recording_sink.h"

namespace quilmark {
namespace {

using landuse_test::N;
using landuse_test::RowsFrom;
using landuse_test::T;
using M = LandUseMethod;
using Rows = std::vector<std::vector<std::string>>;

TEST(MethodTable, EveryMethodHasOneRowAndOneName) {
  std::set<std::string_view> names, controls;
  for (const LandUseMethodEntry& entry : LandUseMethods()) {
    EXPECT_TRUE(names.insert(entry.cli_name).second) << entry.cli_name;
    EXPECT_TRUE(controls.insert(entry.control).second) << entry.control;
    EXPECT_EQ(&MethodEntry(entry.method), &entry);
    EXPECT_EQ(FindMethodByCliName(entry.cli_name), &entry);
    RunOptions options;
    ChooseLandUseMethod(options, entry.method);
    EXPECT_EQ(ChosenLandUseMethod(options), entry.method) << entry.cli_name;
  }
  EXPECT_EQ(names.size(), 16u);
  // Each level-2 table method's 田坎 code is 田坎 in its own table.
  for (const LandUseMethodEntry& entry : LandUseMethods()) {
    if (!entry.cli_name.ends_with("level2") || entry.control_kind != MethodControl::kListEntry) {
      continue;
    }
    EXPECT_EQ(entry.classify(entry.ridge_code).key, "田坎") << entry.cli_name;
  }
  for (size_t i = 0; i < kShippedTableCount; ++i) {
    EXPECT_GT(ShippedTable(kShippedTableTexts[i].name).size(), 0u) << kShippedTableTexts[i].name;
  }
}

// Codes from every level-1 class, the suffix rules and the rows that tools disagree on, as the
// standards give them.
TEST(ShippedTables, KeysAsTheStandardsGiveThem) {
  struct Case {
    M method;
    const char* code;
    const char* key;
    bool known;
  };
  const Case cases[] = {
      // Third survey, level 1: 湿地 takes its codes out of 林地, 草地, 工矿 and 水域.
      {M::kSurvey3Level1, "0303", "湿地", true},
      {M::kSurvey3Level1, "0603", "湿地", true},
      {M::kSurvey3Level1, "1108", "湿地", true},
      {M::kSurvey3Level1, "0102", "耕地", true},
      {M::kSurvey3Level1, "0204K", "种植园用地", true},
      {M::kSurvey3Level1, "0301K", "林地", true},
      {M::kSurvey3Level1, "0404", "草地", true},
      {M::kSurvey3Level1, "05H1", "商业服务业用地", true},
      {M::kSurvey3Level1, "0602", "工矿用地", true},
      {M::kSurvey3Level1, "0702", "住宅用地", true},
      {M::kSurvey3Level1, "08H2A", "公共管理与公共服务用地", true},
      {M::kSurvey3Level1, "09", "特殊用地", true},
      {M::kSurvey3Level1, "1006", "交通运输用地", true},
      {M::kSurvey3Level1, "1107A", "水域及水利设施用地", true},
      {M::kSurvey3Level1, "1203", "其他土地", true},
      // Level 2: K and A count toward their base class.
      {M::kSurvey3Level2, "0301K", "乔木林地", true},
      {M::kSurvey3Level2, "1104A", "坑塘水面", true},
      {M::kSurvey3Level2, "0810A", "公园与绿地", true},
      {M::kSurvey3Level2, "08H2A", "科教文卫用地", true},
      {M::kSurvey3Level2, "1107A", "沟渠", true},
      {M::kSurvey3Level2, "1110", "冰川及永久积雪", true},
      // 三大类: 0404 unused, 1103 agricultural (construction in the 2007 mapping), 干渠 with 沟渠.
      {M::kSurvey3Major, "0404", "未利用地", true},
      {M::kSurvey3Major, "1103", "农用地", true},
      {M::kSurvey3Major, "1107", "农用地", true},
      {M::kSurvey3Major, "1107A", "农用地", true},
      {M::kSurvey3Major, "1104A", "农用地", true},
      {M::kSurvey3Major, "0603", "建设用地", true},
      {M::kSurvey3Major, "1203", "农用地", true},
      {M::kSurvey3Major, "1201", "建设用地", true},
      {M::kSurvey3Major, "0307K", "农用地", true},
      {M::kSurvey3Ownership, "20", "国有", true},
      {M::kSurvey3Ownership, "40", "集体", true},
      {M::kSurvey3Ownership, "31", "集体", true},  // the collective owner's subcodes
      {M::kSurvey3Ownership, "34", "集体", true},
      {M::kSurvey3Ownership, "35", "35", false},
      {M::k2017Level1, "0603", "工矿仓储用地", true},
      {M::k2017Level1, "0906", "特殊用地", true},
      {M::k2017Level2, "0303", "红树林地", true},
      {M::k2017Level2, "1110", "冰川及永久积雪", true},
      // The third survey's working codes: merged classes keep their name at level 2.
      {M::k2017Level1, "08H1", "公共管理与公共服务用地", true},
      {M::k2017Level1, "05H1", "商服用地", true},
      {M::k2017Level1, "0508", "工矿仓储用地", true},
      {M::k2017Level1, "09", "特殊用地", true},
      {M::k2017Level2, "05H1", "商业服务业设施用地", true},
      {M::k2017Level2, "08H2A", "科教文卫用地", true},
      {M::k2017Level2, "0810A", "公园与绿地", true},
      {M::k2017Level2, "0508", "仓储用地", true},
      {M::kPlan2023Level1, "0507", "湿地", true},
      {M::kPlan2023Level1, "1311", "公用设施用地", true},
      {M::kPlan2023Level1, "2303", "其他土地", true},
      {M::kPlan2023Level2, "070102", "城镇住宅用地", true},  // a third-level code
      {M::kPlan2023Level2, "1403", "广场用地", true},
      // The 2023 rows that differ from the 2020 trial, and the trial's own codes.
      {M::kPlan2023Level2, "0903", "娱乐用地", true},
      {M::kPlan2023Level2, "1311", "水工设施用地", true},
      {M::kPlan2023Level2, "1312", "其他公用设施用地", true},
      {M::kPlan2023Level2, "1313", "1313", false},
      {M::kPlan2023Level2, "1804", "农林牧业用岛", true},
      {M::kPlan2023Level2, "2005", "其他交通运输用海", true},
      {M::kPlan2023Level2, "2202", "科研教育用海", true},
      {M::kPlan2023Level2, "2206", "其他特殊用海", true},
      {M::kPlan2023Level1, "2204", "特殊用海", true},
      {M::kPlan2020Level2, "0204", "其他园地", true},
      {M::kPlan2020Level2, "0603", "畜禽养殖设施建设用地", true},
      {M::kPlan2020Level2, "0903", "娱乐康体用地", true},
      {M::kPlan2020Level2, "1311", "干渠", true},
      {M::kPlan2020Level2, "2302", "田坎", true},
      {M::kPlan2020Level2, "2303", "田间道", true},
      {M::kPlan2020Level2, "1804", "1804", false},
      {M::kPlan2020Level1, "0604", "农业设施建设用地", true},
      // Unknown: its own key.
      {M::kSurvey3Level2, "0199", "0199", false},
      {M::kSurvey3Level2, "0301k", "0301k", false},
      {M::kSurvey3Ownership, "50", "50", false},
  };
  for (const Case& c : cases) {
    const ClassLookup lookup = MethodEntry(c.method).classify(c.code);
    EXPECT_EQ(lookup.key, c.key) << MethodEntry(c.method).cli_name << " " << c.code;
    EXPECT_EQ(lookup.known, c.known) << MethodEntry(c.method).cli_name << " " << c.code;
  }
}

// The 三大类 of every working code, as the mapping table of the land-use classification lists
// them by its codes (the third survey's merged codes 05H1, 08H1 and 08H2 under the classes they
// merge; 1107A 干渠 with 1107 沟渠, as every readable source counts it). Every code of the
// level-2 table must be listed, so a working code without its 三大类 fails too.
TEST(ShippedTables, MajorClassOfEveryWorkingCode) {
  const std::pair<std::string_view, std::string_view> lists[] = {
      {"农用地",
       "0101 0102 0103 0201 0202 0203 0204 0301 0302 0303 0304 0305 0306 0307 0401 0402 "
       "0403 1006 1103 1104 1104A 1104K 1107 1107A 1202 1203"},
      {"建设用地",
       "05H1 0508 0601 0602 0603 0701 0702 08H1 08H2 08H2A 0809 0810 0810A 09 1001 "
       "1002 1003 1004 1005 1007 1008 1009 1109 1201"},
      {"未利用地", "0404 1101 1102 1105 1106 1108 1110 1204 1205 1206 1207"},
  };
  std::map<std::string, std::string_view> major;
  for (const auto& [key, codes] : lists) {
    std::istringstream in{std::string(codes)};
    for (std::string code; in >> code;) major[code] = key;
  }
  size_t working_codes = 0;
  for (size_t i = 0; i < kShippedTableCount; ++i) {
    if (kShippedTableTexts[i].name != "survey3_level2") continue;
    std::istringstream lines{std::string(kShippedTableTexts[i].text)};
    for (std::string line; std::getline(lines, line);) {
      if (line.empty() || line[0] == '#') continue;
      EXPECT_EQ(major.count(line.substr(0, line.find('\t'))), 1u) << line;
      ++working_codes;
    }
  }
  EXPECT_EQ(working_codes, 56u);  // the lists less the five suffixed codes
  for (const auto& [code, key] : major) {
    const ClassLookup lookup = MethodEntry(M::kSurvey3Major).classify(code);
    EXPECT_EQ(lookup.key, key) << code;
    EXPECT_TRUE(lookup.known && MethodEntry(M::kSurvey3Level1).classify(code).known) << code;
  }
}

TEST(UserTable, MalformedLinesNamedAndFirstRuleWins) {
  struct Case {
    std::string text;
    int error_line;  // -1: read
  };
  const Case cases[] = {
      {"# 注释\n\n0101\t耕地\r\n01*\t农用地\n", -1},
      {"0101\t耕地\n0102 水浇地\n", 2},
      {"0101\t耕地\t多余\n", 1},
      {"0101\t\n", 1},
      {"01*1\t耕地\n", 1},
      {"# 只有注释\n", 0},
      {"0101\t\xB8\xFB\xB5\xD8\n", -1},  // 耕地 in GBK
      {"0101\t耕地\n0102\t\xFF\xFF\n", 2},
  };
  for (const Case& c : cases) {
    const ParsedTable parsed = ParseClassTable(c.text);
    EXPECT_EQ(parsed.table.has_value(), c.error_line < 0) << c.text;
    if (c.error_line >= 0) EXPECT_EQ(parsed.error.line, c.error_line) << c.text;
  }
  const ClassTable table = *ParseClassTable("0102K\t可调整\n01*\t农用地\n0101\t耕地\n").table;
  EXPECT_EQ(table.Lookup("0101").key, "农用地");  // the prefix rule comes first
  EXPECT_EQ(table.Lookup("0102K").key, "可调整");
  EXPECT_FALSE(table.Lookup("0102K").k_marked);  // named by its own row
  EXPECT_TRUE(table.Lookup("0103K").k_marked);
  EXPECT_EQ(*ParseClassTable("0101\t\xB8\xFB\xB5\xD8\n").table->Match("0101"), "耕地");
}

TEST(AreaFormat, UnitsAndLargestRemainder) {
  EXPECT_DOUBLE_EQ(ConvertArea(15000, AreaUnit::kSquareMetre), 15000);
  EXPECT_DOUBLE_EQ(ConvertArea(15000, AreaUnit::kHectare), 1.5);
  EXPECT_DOUBLE_EQ(ConvertArea(15000, AreaUnit::kMu), 22.5);
  // Three thirds: each rounds to 0.33, but the row's 1.00 takes the unit left over.
  const RoundedMatrix thirds = RoundMatrix({{1.0 / 3, 1.0 / 3, 1.0 / 3}}, 2);
  EXPECT_EQ(thirds.cells[0], (std::vector<double>{0.34, 0.33, 0.33}));
  EXPECT_EQ(thirds.row_totals[0], 1.0);
  const RoundedMatrix plain = RoundMatrix({{1.25, 2}, {0.5, 0}}, std::nullopt);
  EXPECT_EQ(plain.row_totals, (std::vector<double>{3.25, 0.5}));
  EXPECT_EQ(plain.column_totals, (std::vector<double>{1.75, 2}));
}

// A small third-survey sheet: zone, working-class code, area in m2, KCXS, QSXZ.
MemorySheet& AddSurveySheet(MemoryHost& host) {
  MemorySheet& sheet = host.OpenWorkbook("三调.xlsx").AddSheet("图斑");
  const std::vector<std::vector<CellValue>> rows = {
      {T("石碣镇"), T("0101"), N(12345.67), N(0.05), T("30")},
      {T("石碣镇"), T("0103"), N(8000), T("0.1"), T("30")},
      {T("石碣镇"), T("0201K"), N(5432.10), T(""), T("30")},
      {T("石碣镇"), T("0301"), N(20000), CellValue(), T("10")},
      {T("石碣镇"), T("0404"), N(3100.50), CellValue(), T("10")},
      {T("石碣镇"), T("0702"), N(4567.89), CellValue(), T("30")},
      {T("石碣镇"), T("1104A"), N(6000), CellValue(), T("30")},
      {T("石碣镇"), T("1107A"), N(1500.25), CellValue(), T("20")},
      {T("石碣镇"), T("1103"), N(9800), CellValue(), T("20")},
      {T("石碣镇"), T("1203"), N(700), CellValue(), T("30")},
      {T("常平镇"), T("0102"), N(15000), N(0.08), T("30")},
      {T("常平镇"), T("0101"), N(7654.32), N(0.12), T("40")},
      {T("常平镇"), T("0301K"), N(4321), CellValue(), T("30")},
      {T("常平镇"), T("05H1"), N(2500), CellValue(), T("20")},
      {T("常平镇"), T("0601"), N(11000), CellValue(), T("20")},
      {T("常平镇"), T("08H2A"), N(3333.33), CellValue(), T("10")},
      {T("常平镇"), T("1006"), N(1200), CellValue(), T("30")},
      {T("常平镇"), T("1101"), N(5000), CellValue(), T("10")},
      {T("常平镇"), T("1206"), N(888.88), CellValue(), T("10")},
      {T("常平镇"), T("0810A"), N(1111.11), CellValue(), T("20")},
  };
  for (size_t i = 0; i < rows.size(); ++i) sheet.SetRow(static_cast<int32_t>(i) + 1, rows[i]);
  return sheet;
}

RunOptions SurveyRun(M method) {
  RunOptions options;
  options.CheckTDLY = true;
  ChooseLandUseMethod(options, method);
  return options;
}

// 三大类 in 公顷 to 2 decimals with totals, worked by hand. 石碣镇: 农用地 63778.02 m2 (its
// deductions stay 农用地; 1107A 干渠 counts with 沟渠), 未利用地 3100.50, 建设用地 4567.89 (0702);
// 常平镇: 农用地 28175.32, 未利用地 5888.88, 建设用地 17944.44. Grand total 12.345505 ha -> 12.35;
// the row totals 7.144641 and 5.200864 floor to 7.14 + 5.20 = 12.34, and the larger remainder
// (.4641) takes the unit left: 7.15. 石碣镇's cells floor to 6.37 + 0.31 + 0.45 = 7.13; the two
// units left go to 农用地 (.8002) and 建设用地 (.6789): 6.38, 0.31, 0.46. 常平镇's floor to
// 2.81 + 0.58 + 1.79 = 5.18; the two units go to 未利用地 (.8888) and 农用地 (.7532). The 合计 row
// sums the columns: 9.20, 0.90, 2.25, and 12.35.
TEST(SurveyRun, WorkedExampleMajorClassesInHectares) {
  MemoryHost host;
  MemorySheet& sheet = AddSurveySheet(host);
  RunOptions options = SurveyRun(M::kSurvey3Major);
  options.TextKCXSColumn = "4";
  options.ListUnit = "ha";
  options.TextDecimals = "2";
  options.CheckTotals = true;
  options.ChkNumArea = true;  // the cross-tab's 总面积 takes the same 平差
  RecordingSink sink;
  ASSERT_EQ(SummarizeHost(options, host, sink).outcome, RunResult::Outcome::kCompleted);
  const Rows rows = RowsFrom(sheet, 31);
  EXPECT_EQ(Rows(rows.begin(), rows.begin() + 4),
            (Rows{{"单位: 公顷", "农用地", "未利用地", "建设用地", "合计"},
                  {"石碣镇", "#6.38", "#0.31", "#0.46", "#7.15"},
                  {"常平镇", "#2.82", "#0.59", "#1.79", "#5.2"},
                  {"合计", "#9.2", "#0.9", "#2.25", "#12.35"}}));
  ASSERT_EQ(rows.size(), 18u);  // nine rows apart, titles, headers, two zones and 合计
  EXPECT_EQ((std::vector<std::string>{rows[15][2], rows[16][2], rows[17][0], rows[17][1]}),
            (std::vector<std::string>{"#7.15", "#5.2", "合计", "#20"}));
  EXPECT_EQ(sink.messages.size(), 2u);  // every code known: no warning
}

// Level 2 with K apart and the deduction: 0101 at 0.05 gives 11728.3865 + 617.2835 to 田坎, 0103
// at 0.1 gives 7200 + 800, 1203 itself 700.
TEST(SurveyRun, SplitKDeductionAndUnknownCodes) {
  MemoryHost host;
  MemorySheet& sheet = AddSurveySheet(host);
  sheet.SetRow(21, {T("常平镇"), T("0199"), N(10), CellValue(), T("30")});
  sheet.SetRow(22, {T("常平镇"), T("0199"), N(5), CellValue(), T("30")});
  RunOptions options = SurveyRun(M::kSurvey3Level2);
  options.TextKCXSColumn = "4";
  options.CheckSplitK = true;
  RecordingSink sink;
  ASSERT_EQ(SummarizeHost(options, host, sink).outcome, RunResult::Outcome::kCompleted);
  const Rows rows = RowsFrom(sheet, 33);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(rows[0].begin(), rows[0].begin() + 5),
            (std::vector<std::string>{"", "水田", "田坎", "旱地", "带K果园"}));
  EXPECT_EQ(std::vector<std::string>(rows[1].begin(), rows[1].begin() + 5),
            (std::vector<std::string>{"石碣镇", "#11728.3865", "#2117.2835", "#7200", "#5432.1"}));
  ASSERT_EQ(sink.messages.size(), 3u);
  EXPECT_EQ(sink.messages[1].first, MessageKind::kWarning);
  EXPECT_NE(sink.messages[1].second.find("0199: 2 个图斑, 面积 15"), std::string::npos);
}

// The survey sheet under the 2023 planning classes, in 公顷: the unknown codes are listed in the
// run's unit, a code that lost its leading zero is named as such, and the run names the families
// that know the codes.
TEST(SurveyRun, WrongFamilyAndLostZeroNamed) {
  MemoryHost host;
  MemorySheet& sheet = AddSurveySheet(host);
  sheet.SetRow(21, {T("常平镇"), N(101), N(300), CellValue(), T("30")});
  RunOptions options = SurveyRun(M::kPlan2023Level2);
  options.ListUnit = "ha";
  options.TextDecimals = "2";
  RecordingSink sink;
  const RunResult result = SummarizeHost(options, host, sink);
  ASSERT_EQ(result.warnings.size(), 2u);
  for (const char* part :
       {"\n0404: 1 个图斑, 面积 0.31 公顷\n",
        "\n101: 1 个图斑, 面积 0.03 公顷 (补上开头的 0 即 0101 水田)", "存成了数字"}) {
    EXPECT_NE(result.warnings[0].find(part), std::string::npos) << part;
  }
  EXPECT_EQ(result.warnings[1].rfind(
                "注意: 所选的 用地用海分类 2023 二级类 (plan2023-level2) 只认得 76.7% ", 0),
            0u)
      << result.warnings[1];
  EXPECT_NE(
      result.warnings[1].find("\n三调工作分类 二级类 (survey3-level2): 认得 99.8% 的面积\n"
                              "土地利用现状分类 2017 二级类 (2017-level2): 认得 99.8% 的面积"),
      std::string::npos)
      << result.warnings[1];
}

// Codes that lost their leading 0 are named under a rule method too (which books 11 under
// 未利用地 without a word otherwise); and codes of another family are never advised a 0 that
// would turn them into codes of the chosen one (202 建制镇 into 0202 茶园).
TEST(SurveyRun, LostZerosOnlyWithinTheFamilyOfTheCodes) {
  struct Case {
    M method;
    std::vector<std::vector<CellValue>> rows;
    const char* said;
    const char* not_said;
  };
  const Case cases[] = {
      {M::OptClassA_ED,
       {{T("A"), N(11), N(200)}, {T("A"), N(13), N(300)}, {T("A"), T("021"), N(100)}},
       "\n11 (补上开头的 0 即 011 水田)\n13 (补上开头的 0 即 013 旱地)\n编码开头的 0 很可能丢了",
       "0 即 0021"},
      {M::kSurvey3Level2,
       {{T("A"), T("011"), N(100)}, {T("A"), N(202), N(300)}, {T("A"), N(203), N(400)}},
       "按原样是 二调土地利用现状分类 的编码 (OptClassA_ED (survey-level1))",
       "补上开头的 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.said);
    MemoryHost host;
    MemorySheet& sheet = host.OpenWorkbook("图斑.xlsx").AddSheet("图斑");
    for (size_t i = 0; i < c.rows.size(); ++i) sheet.SetRow(static_cast<int32_t>(i + 1), c.rows[i]);
    RecordingSink sink;
    const RunResult result = SummarizeHost(SurveyRun(c.method), host, sink);
    std::string warnings;
    for (const std::string& warning : result.warnings) warnings += warning + "\n";
    EXPECT_NE(warnings.find(c.said), std::string::npos) << warnings;
    EXPECT_EQ(warnings.find(c.not_said), std::string::npos) << warnings;
  }
}

// A coefficient outside [0, 1) stops the run before anything is written, naming its row; the
// zone-code conversion, which writes to the sheet, has not run either.
TEST(SurveyRun, BadCoefficientStopsWithItsRow) {
  struct Case {
    CellValue coefficient;
    bool stops;
  };
  const Case cases[] = {{N(0), false}, {N(0.999), false}, {T("KCXS"), false},
                        {N(1), true},  {N(-0.01), true},  {N(1.5), true}};
  for (const Case& c : cases) {
    MemoryHost host;
    MemorySheet& sheet = AddSurveySheet(host);
    sheet.SetRow(7, {T("101"), T("0101"), N(100), c.coefficient});
    RunOptions options = SurveyRun(M::kSurvey3Level1);
    options.TextKCXSColumn = "4";
    options.CheckZQDM2MC = true;
    RecordingSink sink;
    const RunResult result = SummarizeHost(options, host, sink);
    EXPECT_EQ(result.outcome == RunResult::Outcome::kStopped, c.stops) << ValueText(c.coefficient);
    if (!c.stops) continue;
    EXPECT_EQ(result.message.rfind("第 7 行的田坎系数", 0), 0u) << result.message;
    EXPECT_EQ(sheet.LastUsedRow(), 20);
    EXPECT_EQ(RowsFrom(sheet, 7)[0][0], "101");
  }
}

}  // namespace
}  // namespace quilmark
