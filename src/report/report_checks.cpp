#include "src/report/report_checks.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

#include "src/report/patch_attributes.h"
#include "src/report/report_columns.h"

namespace quilmark {
namespace {

// Areas below a square centimetre are the noise of adding floating-point numbers.
constexpr double kTolerance = 1e-8;

struct Check {
  ReportKind table;
  const std::vector<double> ReportFigures::*unplaced;
  const char* what;   // what falls short, after the unit's code
  const char* cause;  // what in the layer to look at
};

const Check kChecks[] = {
    {ReportKind::kLevel1, &ReportFigures::unknown_class, "的各地类面积之和比国土调查总面积少",
     "有图斑的地类编码 (DLBM) 不在第三次全国国土调查工作分类中"},
    {ReportKind::kMajor, &ReportFigures::unknown_major, "的三大类面积之和比国土调查总面积少",
     "有图斑的地类编码 (DLBM) 不在三大类对照中"},
    {ReportKind::kOwnership, &ReportFigures::unknown_ownership,
     "的国有与集体土地面积之和比总面积少", "有图斑的权属性质 (QSXZ) 为空或不是 10、20、30-34、40"},
    {ReportKind::kSlope, &ReportFigures::unknown_slope, "的各坡度级别耕地面积之和比耕地面积少",
     "有耕地图斑的坡度级别 (GDPDJB) 不是 1-5, 或坡度级别 2-5 的耕地类型 (GDLX) 不是 TT 或 PD"},
};

std::string Hectares(double x) {
  char text[64];
  std::snprintf(text, sizeof text, "%.4f", x);
  return text;
}

std::string UnknownCodesList(const std::map<std::string, double>& codes) {
  std::string list;
  for (const auto& [code, area] : codes) {
    if (list.size() > 200) return list + " ...";
    list += (list.empty() ? "" : "、") + (code.empty() ? std::string("(空)") : code);
  }
  return list;
}

bool Chosen(const std::vector<ReportKind>& kinds, ReportKind kind) {
  // Every table counts the classes, so unknown codes concern any choice.
  return kind == ReportKind::kLevel1 || std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}

// A unit whose 城镇村 rows hold more of a class than the unit has of it.
std::optional<std::string> CheckUrban(const ReportFigures& f, const std::vector<size_t>& order,
                                      const std::vector<std::string>& codes) {
  const ClassColumns& classes = Survey3Columns();
  for (size_t u : order) {
    const size_t node = f.leaf_node[u];
    for (size_t c = 0; c < classes.level2.size(); ++c) {
      const double urban = f.urban[node][c][1];  // 201 ... 205 together
      if (urban > f.level2[node][c] + kTolerance) {
        return "城镇村及工矿用地面积汇总表: " + codes[u] + " 的城镇村及工矿用地中" +
               classes.level2[c].name + "比该单位的" + classes.level2[c].name + "多 " +
               Hectares(urban - f.level2[node][c]) + " 公顷";
      }
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> CheckReports(const std::vector<ReportKind>& kinds,
                                        const ReportFigures& figures,
                                        const std::vector<std::string>& unit_codes,
                                        const std::map<std::string, double>& unknown_codes) {
  std::vector<size_t> order(unit_codes.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return unit_codes[a] < unit_codes[b]; });
  for (const Check& check : kChecks) {
    if (!Chosen(kinds, check.table)) continue;
    for (size_t u : order) {
      const double unplaced = (figures.*check.unplaced)[u];
      if (unplaced <= kTolerance) continue;
      std::string text = std::string(ReportInfoOf(check.table).title) + ": " +
                         (unit_codes[u].empty() ? "(无代码)" : unit_codes[u]) + " " + check.what +
                         " " + Hectares(unplaced) + " 公顷。原因: " + check.cause;
      if (check.table == ReportKind::kLevel1) text += " (" + UnknownCodesList(unknown_codes) + ")";
      return text + "。请改正图层后再统计, 本次没有写入任何文件。";
    }
  }
  if (Chosen(kinds, ReportKind::kUrban) &&
      std::find(kinds.begin(), kinds.end(), ReportKind::kUrban) != kinds.end()) {
    return CheckUrban(figures, order, unit_codes);
  }
  return std::nullopt;
}

}  // namespace quilmark
