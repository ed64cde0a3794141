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

// Level-1 sums of one unit's per-column figures; `pick` reads the figure of a level-2 column.
std::vector<double> Level1Sums(const std::function<double(size_t)>& pick) {
  const ClassColumns& classes = Survey3Columns();
  std::vector<double> sums(classes.level1.size());
  for (size_t c = 0; c < classes.level2.size(); ++c) sums[classes.level2[c].level1] += pick(c);
  return sums;
}

// A total column followed by the level-1 columns.
std::vector<double> TotalAndLevel1(const std::function<double(size_t)>& pick) {
  std::vector<double> values = Level1Sums(pick);
  double total = 0;
  for (double v : values) total += v;
  values.insert(values.begin(), total);
  return values;
}

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
            std::vector<double> values = TotalAndLevel1([&](size_t c) { return f.level2[u][c]; });
            values[0] += f.level2[u].back();  // codes without a column still count in the total
            return values;
          }};
}

TableSpec Level2Spec(const ReportFigures& f) {
  const ClassColumns& classes = Survey3Columns();
  HeaderBuilder header({});
  header.Whole("国土调查总面积");
  std::vector<std::vector<size_t>> groups(classes.level1.size());
  for (size_t c = 0; c < classes.level2.size(); ++c) groups[classes.level2[c].level1].push_back(c);
  for (size_t g = 0; g < groups.size(); ++g) {
    std::vector<std::string> titles = {"小计"};
    for (size_t c : groups[g])
      titles.push_back(ColumnTitle(classes.level2[c].name, classes.level2[c].code));
    header.Group(ColumnTitle(classes.level1[g].name, classes.level1[g].code), titles);
  }
  return {ReportKind::kLevel2, header.rows, header.merges, {}, [&f, groups](size_t u, size_t) {
            std::vector<double> values = {0};
            for (double v : f.level2[u]) values[0] += v;
            for (const std::vector<size_t>& group : groups) {
              values.push_back(0);
              const size_t subtotal = values.size() - 1;
              for (size_t c : group) {
                values[subtotal] += f.level2[u][c];
                values.push_back(f.level2[u][c]);
              }
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
            std::vector<double> values = {0};
            for (double v : f.level2[u]) values[0] += v;
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

TableSpec OwnershipSpec(const ReportFigures& f) {
  HeaderBuilder header({"权属性质"});
  header.Whole("合计");
  for (const std::string& title : Level1Titles()) header.Whole(title);
  return {ReportKind::kOwnership,
          header.rows,
          header.merges,
          {"国有土地", "集体土地"},
          [&f](size_t u, size_t s) {
            return TotalAndLevel1([&](size_t c) { return f.ownership[u][c][s]; });
          }};
}

TableSpec UrbanSpec(const ReportFigures& f) {
  HeaderBuilder header({"城镇村及工矿用地"});
  header.Whole("合计");
  for (const std::string& title : Level1Titles()) header.Whole(title);
  return {
      ReportKind::kUrban,
      header.rows,
      header.merges,
      {"小计", "城市(201)", "建制镇(202)", "村庄(203)", "采矿用地(204)", "风景名胜及特殊用地(205)"},
      [&f](size_t u, size_t s) {
        return TotalAndLevel1([&](size_t c) {
          if (s > 0) return f.urban[u][c][s];
          double sum = 0;
          for (size_t k = 1; k < kUrbanKinds; ++k) sum += f.urban[u][c][k];
          return sum;
        });
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
            const ClassColumns& classes = Survey3Columns();
            std::vector<double> parts(kSlopeParts);
            for (size_t c = 0; c < classes.level2.size(); ++c) {
              if (classes.level2[c].level1 != classes.cultivated) continue;
              for (size_t p = 0; p < kSlopeParts; ++p) parts[p] += f.slope[u][c][p];
            }
            std::vector<double> values = {0, parts[0]};
            for (double part : parts) values[0] += part;
            for (size_t g = 0; g < 4; ++g) {
              values.push_back(parts[2 * g + 1] + parts[2 * g + 2]);
              values.push_back(parts[2 * g + 1]);
              values.push_back(parts[2 * g + 2]);
            }
            return values;
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

// The figures of a row: its smallest units' figures added, then rounded again (sums of figures
// of two decimals carry binary noise, never a real third decimal).
std::vector<double> RowValues(const TableSpec& spec, const UnitRow& row, size_t sub_row) {
  std::vector<double> sums;
  for (uint32_t leaf : row.leaves) {
    const std::vector<double> values = spec.values(leaf, sub_row);
    sums.resize(values.size());
    for (size_t i = 0; i < values.size(); ++i) sums[i] += values[i];
  }
  for (double& sum : sums) sum = Rounded(sum);
  return sums;
}

}  // namespace

ResultTable BuildReportTable(ReportKind kind, const ReportFigures& figures,
                             const std::vector<UnitRow>& rows) {
  const TableSpec spec = SpecOf(kind, figures);
  ResultTable table;
  table.name = std::string(ReportInfoOf(kind).title);
  table.cells = spec.header;
  table.header_rows = static_cast<int64_t>(spec.header.size());
  PrintLayout print;
  print.title = table.name;
  print.unit_line = "单位: 公顷";
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
  table.print = std::move(print);
  return table;
}

double TerraceTotal(const ReportFigures& figures) {
  double total = 0;
  for (const std::vector<double>& unit : figures.level2) total += unit[Survey3Columns().terrace];
  return Rounded(total);
}

}  // namespace quilmark
