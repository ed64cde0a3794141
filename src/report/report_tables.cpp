#include "src/report/report_tables.h"

#include <cmath>
#include <functional>
#include <string>

#include "src/report/patch_attributes.h"
#include "src/report/report_columns.h"

namespace quilmark {
namespace {

using Merge = PrintLayout::Merge;

// What differs from table to table: the header, the sub-rows of each unit and the figures.
struct TableSpec {
  ReportKind kind;
  std::vector<std::vector<CellValue>> header;  // as wide as the table
  std::vector<Merge> merges;                   // within the header
  std::vector<std::string> sub_rows;           // labels of each unit's rows; empty: one row
  // The figures of one smallest unit's sub-row, right of the key columns.
  std::function<std::vector<double>(size_t unit, size_t sub_row)> values;
};

double Rounded(double x) { return std::round(x * 100) / 100; }

// Header rows: the key columns' titles, then the value columns' titles in one or two rows.
struct HeaderBuilder {
  std::vector<std::vector<CellValue>> rows = std::vector<std::vector<CellValue>>(2);
  std::vector<Merge> merges;

  explicit HeaderBuilder(const std::vector<std::string>& extra_keys) {
    Add2("行政区域", "名称");
    Add2("", "代码");
    merges.push_back({0, 0, 0, 1});
    for (const std::string& key : extra_keys) Whole(key);
  }
  int64_t width() const { return static_cast<int64_t>(rows[0].size()); }
  void Add2(std::string top, std::string bottom) {
    rows[0].emplace_back(std::move(top));
    rows[1].emplace_back(std::move(bottom));
  }
  // A title over both header rows.
  void Whole(const std::string& title) {
    merges.push_back({0, width(), 1, width()});
    Add2(title, "");
  }
  // A title over the columns below it.
  void Group(const std::string& title, const std::vector<std::string>& columns) {
    if (columns.size() > 1)
      merges.push_back({0, width(), 0, width() + static_cast<int64_t>(columns.size()) - 1});
    for (size_t i = 0; i < columns.size(); ++i) Add2(i == 0 ? title : "", columns[i]);
  }
};

std::vector<std::string> Level1Titles() {
  std::vector<std::string> titles;
  for (const Level1Class& c : Survey3Columns().level1)
    titles.push_back(ColumnTitle(c.name, c.code));
  return titles;
}

TableSpec Level1Spec(const ReportFigures& f) {
  HeaderBuilder header({});
  header.Whole("国土调查总面积");
  for (const std::string& title : Level1Titles()) header.Whole(title);
  return {ReportKind::kLevel1, header.rows, header.merges, {}, [&f](size_t u, size_t) {
            std::vector<double> values = {f.total[u]};  // codes without a column count in it too
            values.insert(values.end(), f.level1[u].begin(), f.level1[u].end());
            return values;
          }};
}

// Each level-1 column's level-2 columns.
std::vector<std::vector<size_t>> Level2Groups() {
  const ClassColumns& classes = Survey3Columns();
  std::vector<std::vector<size_t>> groups(classes.level1.size());
  for (size_t c = 0; c < classes.level2.size(); ++c) groups[classes.level2[c].level1].push_back(c);
  return groups;
}

// The header of the level-1 columns each with its 小计 and level-2 columns.
void Level2Header(HeaderBuilder& header) {
  const ClassColumns& classes = Survey3Columns();
  const std::vector<std::vector<size_t>> groups = Level2Groups();
  for (size_t g = 0; g < groups.size(); ++g) {
    std::vector<std::string> titles = {"小计"};
    for (size_t c : groups[g])
      titles.push_back(ColumnTitle(classes.level2[c].name, classes.level2[c].code));
    header.Group(ColumnTitle(classes.level1[g].name, classes.level1[g].code), titles);
  }
}

TableSpec Level2Spec(const ReportFigures& f) {
  HeaderBuilder header({});
  header.Whole("国土调查总面积");
  Level2Header(header);
  return {ReportKind::kLevel2, header.rows, header.merges, {}, [&f](size_t u, size_t) {
            std::vector<double> values = {f.total[u]};
            const std::vector<std::vector<size_t>> groups = Level2Groups();
            for (size_t g = 0; g < groups.size(); ++g) {
              values.push_back(f.level1[u][g]);
              for (size_t c : groups[g]) values.push_back(f.level2[u][c]);
            }
            return values;
          }};
}

// Each 三大类's level-2 columns: those whose code counts in it (a column may stand under two
// classes where a listed A code differs from its base).
std::vector<std::vector<size_t>> MajorGroups(const ReportFigures& f) {
  const ClassColumns& classes = Survey3Columns();
  std::vector<std::vector<size_t>> groups(classes.major.size());
  for (size_t c = 0; c < classes.level2.size(); ++c) {
    for (size_t m = 0; m < classes.major.size(); ++m) {
      const std::optional<size_t> own = MajorClassOf(classes.level2[c].code);
      bool used = own && *own == m;
      for (size_t u = 0; u < f.major.size() && !used; ++u) used = f.major[u][c][m] != 0;
      if (used) groups[m].push_back(c);
    }
  }
  return groups;
}

TableSpec MajorSpec(const ReportFigures& f) {
  const ClassColumns& classes = Survey3Columns();
  const std::vector<std::vector<size_t>> groups = MajorGroups(f);
  HeaderBuilder header({});
  header.Whole("国土调查总面积");
  for (size_t m = 0; m < groups.size(); ++m) {
    std::vector<std::string> titles = {"小计"};
    for (size_t c : groups[m])
      titles.push_back(ColumnTitle(classes.level2[c].name, classes.level2[c].code));
    header.Group(classes.major[m], titles);
  }
  return {ReportKind::kMajor, header.rows, header.merges, {}, [&f, groups](size_t u, size_t) {
            std::vector<double> values = {f.total[u]};
            for (size_t m = 0; m < groups.size(); ++m) {
              values.push_back(0);
              const size_t subtotal = values.size() - 1;
              for (size_t c : groups[m]) {
                values[subtotal] += f.major[u][c][m];
                values.push_back(f.major[u][c][m]);
              }
            }
            return values;
          }};
}

// One row per unit: its total, its state and collective land, then each level-1 class's.
TableSpec OwnershipSpec(const ReportFigures& f) {
  const std::vector<std::string> kinds = {"国家所有", "集体所有"};
  HeaderBuilder header({});
  header.Whole("合计");
  for (const std::string& kind : kinds) header.Whole(kind);
  for (const std::string& title : Level1Titles()) header.Group(title, kinds);
  return {ReportKind::kOwnership, header.rows, header.merges, {}, [&f](size_t u, size_t) {
            std::vector<double> values = {f.total[u], 0, 0};
            for (const std::vector<double>& kinds : f.ownership[u]) {
              for (size_t k = 0; k < 2; ++k) {
                values[1 + k] += kinds[k];
                values.push_back(kinds[k]);
              }
            }
            return values;
          }};
}

// Each unit's 城镇村 rows (小计, 201 ... 205) by level-1 class, each with its level-2 classes.
TableSpec UrbanSpec(const ReportFigures& f) {
  HeaderBuilder header({"城镇村及工矿用地"});
  header.Whole("合计");
  Level2Header(header);
  const auto part = [&f](size_t u, size_t c, size_t s) { return f.urban[u][c][1 + s]; };
  return {
      ReportKind::kUrban,
      header.rows,
      header.merges,
      {"小计", "城市(201)", "建制镇(202)", "村庄(203)", "采矿用地(204)", "风景名胜及特殊用地(205)"},
      [part](size_t u, size_t s) {
        std::vector<double> values = {0};
        const std::vector<std::vector<size_t>> groups = Level2Groups();
        for (const std::vector<size_t>& group : groups) {
          const size_t subtotal = values.size();
          values.push_back(0);
          for (size_t c : group) {
            values.push_back(part(u, c, s));
            values[subtotal] += values.back();
          }
          values[0] += values[subtotal];
        }
        return values;
      }};
}

TableSpec SlopeSpec(const ReportFigures& f) {
  HeaderBuilder header({});
  header.Whole("耕地(01)");
  header.Whole("≤2°");
  for (const char* grade : {"2°-6°", "6°-15°", "15°-25°", ">25°"}) {
    header.Group(grade, {"小计", "梯田", "坡地"});
  }
  return {ReportKind::kSlope, header.rows, header.merges, {}, [&f](size_t u, size_t) {
            // 耕地, grade 1, then each grade's 小计, 梯田, 坡地: the slope columns but the last.
            return std::vector<double>(f.slope[u].begin(), f.slope[u].end() - 1);
          }};
}

TableSpec SpecOf(ReportKind kind, const ReportFigures& f) {
  switch (kind) {
    case ReportKind::kLevel1:
      return Level1Spec(f);
    case ReportKind::kLevel2:
      return Level2Spec(f);
    case ReportKind::kMajor:
      return MajorSpec(f);
    case ReportKind::kOwnership:
      return OwnershipSpec(f);
    case ReportKind::kUrban:
      return UrbanSpec(f);
    case ReportKind::kSlope:
      return SlopeSpec(f);
  }
  return Level1Spec(f);
}

// The figures of a row node, rounded again: sums of figures of two decimals carry binary noise,
// never a real third decimal.
std::vector<double> RowValues(const TableSpec& spec, const UnitRow& row, size_t sub_row) {
  std::vector<double> values = spec.values(row.node, sub_row);
  for (double& value : values) value = Rounded(value);
  return values;
}

// A label and its value, or a blank to write on where the value is empty.
std::string Filled(const char* label, const std::string& value) {
  return std::string(label) + ": " + (value.empty() ? std::string("____________") : value);
}

}  // namespace

ResultTable BuildReportTable(ReportKind kind, const ReportFigures& figures,
                             const std::vector<UnitRow>& rows, const SignOff& sign_off) {
  const TableSpec spec = SpecOf(kind, figures);
  ResultTable table;
  table.name = std::string(ReportInfoOf(kind).title);
  table.cells = spec.header;
  table.header_rows = static_cast<int64_t>(spec.header.size());
  PrintLayout print;
  print.title = table.name;
  print.unit_line = Filled("填报单位", sign_off.unit) + "        单位: 公顷";
  print.merges = spec.merges;
  print.key_columns = spec.sub_rows.empty() ? 2 : 3;
  const size_t width = spec.header[0].size();
  const size_t sub_rows = std::max<size_t>(spec.sub_rows.size(), 1);
  for (const UnitRow& row : rows) {
    const auto first = static_cast<int64_t>(table.cells.size());
    for (size_t s = 0; s < sub_rows; ++s) {
      std::vector<CellValue> cells = {CellValue(s == 0 ? row.name : std::string()),
                                      CellValue(s == 0 ? row.code : std::string())};
      if (!spec.sub_rows.empty()) cells.emplace_back(spec.sub_rows[s]);
      for (double v : RowValues(spec, row, s)) cells.emplace_back(v);
      cells.resize(width);
      if (row.role != RowRole::kUnit)
        print.total_rows.push_back(static_cast<int64_t>(table.cells.size()));
      table.cells.push_back(std::move(cells));
    }
    if (sub_rows > 1) {  // the unit's name and code stand once beside its rows
      const auto last = first + static_cast<int64_t>(sub_rows) - 1;
      print.merges.push_back({first, 0, last, 0});
      print.merges.push_back({first, 1, last, 1});
    }
  }
  if (kind == ReportKind::kLevel1) {
    char line[96];
    std::snprintf(line, sizeof line, "其中田坎 (1203) 面积: %.2f 公顷", TerraceTotal(figures));
    print.notes.push_back(line);
  }
  print.notes.push_back(Filled("单位负责人", sign_off.head) + "        " +
                        Filled("填表人", sign_off.preparer) + "        " +
                        Filled("填表日期", sign_off.date));
  table.print = std::move(print);
  return table;
}

double TerraceTotal(const ReportFigures& figures) {
  return Rounded(figures.level2[0][Survey3Columns().terrace]);
}

}  // namespace quilmark
