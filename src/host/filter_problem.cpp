#include "src/host/filter_problem.h"

#include <regex>

namespace quilmark {
namespace {

struct Rule {
  const char* pattern;  // searched in GDAL's text, case ignored; $1 is the first group
  const char* reason;
  bool names_a_field;  // the layer's fields follow
};

// What OGR's own evaluator (shapefiles, CSV, geodatabases), SQLite (GeoPackage) and PostgreSQL
// say, first match wins.
const Rule kRules[] = {
    {R"re("([^"]+)" not recognised as an available field)re", "\"$1\" 不是这个图层的字段", true},
    {R"re(no such column: *([^\s,;:)]+))re", "\"$1\" 不是这个图层的字段", true},
    {R"re(column "([^"]+)" does not exist)re", "\"$1\" 不是这个图层的字段", true},
    {R"re(no such function: *(\w+))re", "数据源不认识函数 $1", false},
    {R"re(function (\w+)\(.*\) does not exist)re", "数据源不认识函数 $1", false},
    {R"re(type mismatch|operator does not exist|invalid input syntax)re",
     "字段与取值的类型不符 (文本字段的取值要加单引号, 如 DLBM = '0101')", false},
    {R"re(syntax error|parsing error|unterminated|unexpected)re",
     "写法有误 (括号、引号或运算符不配对)", false},
};

// GDAL's text on one line, cut where it starts to quote the statement it built.
std::string GdalShort(std::string_view text) {
  std::string line(text.substr(0, text.find('\n')));
  if (line.size() > 160) line = line.substr(0, 157) + "...";
  return line;
}

}  // namespace

std::string FilterProblemText(std::string_view where, std::string_view gdal_text,
                              std::string_view fields) {
  std::string reason = "数据源不接受这个表达式";
  bool names_a_field = false;
  const std::string text(gdal_text);
  for (const Rule& rule : kRules) {
    const std::regex pattern(rule.pattern, std::regex::icase);
    std::smatch match;
    if (std::regex_search(text, match, pattern)) {
      reason = match.format(rule.reason);
      names_a_field = rule.names_a_field;
      break;
    }
  }
  std::string message = "筛选条件 \"" + std::string(where) + "\" 无效: " + reason;
  if (names_a_field) message += "; 图层的字段是: " + std::string(fields);
  message += "。筛选条件是 SQL 的 WHERE 条件, 例如 DLBM LIKE '01%'";
  if (!text.empty()) message += " (GDAL: " + GdalShort(text) + ")";
  return message;
}

}  // namespace quilmark
