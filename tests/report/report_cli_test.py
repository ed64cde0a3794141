#!/usr/bin/python3
"""The survey reports from the generated third-survey layer (tests/data/gis/survey3.csv) as a
shapefile (GBK), a GeoPackage and a File Geodatabase: each gives the same workbook, and every
table is computed here from the patches, cell for cell, 平差 included; a layer the tables cannot
agree on, or one lacking a field, stops the run with nothing written.

Usage: report_cli_test.py QUILMARK   (needs gdal-bin and python3-openpyxl)
"""
import csv
import math
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import openpyxl

QUILMARK = None
HERE = os.path.dirname(os.path.abspath(__file__))
CSV = os.path.join(HERE, "..", "data", "gis", "survey3.csv")
TABLES = os.path.join(HERE, "..", "..", "src", "landuse", "tables")
TOWNSHIPS = {"441900101": "石碣镇", "441900102": "常平镇", "441900103": "南城街道"}
LEVEL1 = ["湿地", "耕地", "种植园用地", "林地", "草地", "商业服务业用地", "工矿用地", "住宅用地",
          "公共管理与公共服务用地", "特殊用地", "交通运输用地", "水域及水利设施用地", "其他土地"]
MAJOR = ["农用地", "建设用地", "未利用地"]
# The columns that add up rounded parts of split figures (三大类, ownership and 城镇村 by class),
# so they add up exactly but may lie more than 0.01 from their exact value.
FIRST_ROUNDED = {"土地利用现状一级分类面积汇总表"}
SUMS_OF_PARTS = {"土地利用现状一级分类面积按权属性质汇总表": lambda c: c in (3, 4)}


def run(*args):
    return subprocess.run([QUILMARK, *args], capture_output=True, text=True, timeout=120)


def table(name):
    rules = {}
    with open(os.path.join(TABLES, name + ".tsv"), encoding="utf-8") as f:
        for line in f:
            if line.strip() and not line.startswith("#"):
                code, value = line.rstrip("\n").split("\t")
                rules.setdefault(code, value)
    return rules


def lookup(rules, code):
    if code.endswith("K"):
        code = code[:-1]
    if code not in rules and code.endswith("A"):
        code = code[:-1]
    return rules.get(code)


class Expected:
    """The tables' exact figures in hectares, computed from the patches: per village, level-2
    code, ownership, 城镇村, slope part and 三大类, then summed as each table sums them."""

    def __init__(self, path):
        level2 = table("survey3_level2")
        self.level1_of = table("survey3_level1")
        self.major_of = table("survey3_major")
        self.codes = list(level2)  # the level-2 codes in the table's order
        self.exact = {}  # (village, code, ownership, urban, slope, major) -> hectares
        self.names = {}
        with open(path, encoding="utf-8") as f:
            for row in csv.DictReader(f):
                village = row["ZLDWDM"][:12]
                self.names.setdefault(village, row["ZLDWMC"])
                area, ridge = float(row["TBMJ"]), float(row["KCMJ"])
                owner = "国有" if row["QSXZ"] in ("10", "20") else "集体"
                slope = (row["PDJB"], row["GDLX"] if row["PDJB"] != "1" else "")
                urban = row["CZCSXM"][:3]
                for c, a, s in ((row["DLBM"], area - ridge, slope), ("1203", ridge, ("", ""))):
                    key = (village, self.code_of(level2, c), owner, urban, s,
                           lookup(self.major_of, c))
                    self.exact[key] = self.exact.get(key, 0) + a / 10000
        self.villages = sorted({k[0] for k in self.exact})

    @staticmethod
    def code_of(level2, code):
        code = code[:-1] if code.endswith("K") else code
        return code if code in level2 else code[:-1]

    def sum(self, villages, **where):
        """The exact hectares of the villages' patches whose fields match: code, owner, urban
        (a list), slope (a list of (grade, kind)), major, level1."""
        dims = {"code": 1, "owner": 2, "urban": 3, "slope": 4, "major": 5}
        total = 0
        for key, area in self.exact.items():
            if key[0] not in villages:
                continue
            if "level1" in where and self.level1_of[key[1]] != where["level1"]:
                continue
            if all(key[dims[d]] in v if isinstance(v, list) else key[dims[d]] == v
                   for d, v in where.items() if d != "level1"):
                total += area
        return total

    def rows(self, level="village"):
        """(name, code, villages) in print order: 合计, then each township's 小计 and villages."""
        yield "合计", None, self.villages
        for township, name in TOWNSHIPS.items():
            villages = [v for v in self.villages if v.startswith(township)]
            yield (name + "小计" if level == "village" else name), township, villages
            if level == "village":
                for v in villages:
                    yield self.names[v], v, [v]

    def level2_cells(self, vs, **where):
        cells = []
        for group in LEVEL1:
            members = [self.sum(vs, code=c, **where) for c in self.codes
                       if self.level1_of[c] == group]
            cells += [sum(members), *members]
        return [sum(cells) / 2, *cells]

    def subtotal_columns(self, major_groups):
        major, urban = [3], [4]
        for m in MAJOR:
            major.append(major[-1] + 1 + len(major_groups[m]))
        for g in LEVEL1:
            urban.append(urban[-1] + 1 + sum(self.level1_of[c] == g for c in self.codes))
        SUMS_OF_PARTS["三大类面积汇总表"] = lambda c: c in major[:-1]
        SUMS_OF_PARTS["城镇村及工矿用地面积汇总表"] = lambda c: c == 3 or c in urban[:-1]

    def tables(self, level="village"):
        """Every table's rows: name, code (and label), exact figures."""
        rows = list(self.rows(level))
        groups = {m: [c for c in self.codes if self.major_of[c] == m or
                      self.sum(self.villages, code=c, major=m)] for m in MAJOR}
        urban = [("小计", ["201", "202", "203", "204", "205"])] + [
            (label, [label[-4:-1]]) for label in ("城市(201)", "建制镇(202)", "村庄(203)",
                                                  "采矿用地(204)", "风景名胜及特殊用地(205)")]
        self.subtotal_columns(groups)
        grades = [[("1", "")]] + [[(g, "TT"), (g, "PD")] for g in "2345"]
        slope = lambda vs, parts: self.sum(vs, level1="耕地", slope=parts)  # noqa: E731
        return {
            "土地利用现状一级分类面积汇总表": [
                [n, c, self.sum(vs), *[self.sum(vs, level1=g) for g in LEVEL1]] for n, c, vs in rows],
            "土地利用现状分类面积汇总表": [[n, c, *self.level2_cells(vs)] for n, c, vs in rows],
            "三大类面积汇总表": [[n, c, self.sum(vs), *[x for m in MAJOR for x in (
                self.sum(vs, major=m), *[self.sum(vs, code=k, major=m) for k in groups[m]])]]
                for n, c, vs in rows],
            "土地利用现状一级分类面积按权属性质汇总表": [
                [n, c, self.sum(vs), self.sum(vs, owner="国有"), self.sum(vs, owner="集体"),
                 *[self.sum(vs, level1=g, owner=o) for g in LEVEL1 for o in ("国有", "集体")]]
                for n, c, vs in rows],
            "城镇村及工矿用地面积汇总表": [
                [n if i == 0 else None, c if i == 0 else None, label,
                 *self.level2_cells(vs, urban=codes)]
                for n, c, vs in rows for i, (label, codes) in enumerate(urban)],
            "耕地坡度分级面积汇总表": [
                [n, c, slope(vs, sum(grades, [])), slope(vs, grades[0]),
                 *[x for parts in grades[1:] for x in (slope(vs, parts), slope(vs, parts[:1]),
                                                      slope(vs, parts[1:]))]]
                for n, c, vs in rows],
        }


def body(sheet, header_rows):
    rows = []
    for row in sheet.iter_rows(min_row=3 + header_rows, values_only=True):
        if row[0] is not None and str(row[0]).startswith(("其中田坎", "单位负责人")):
            break
        rows.append([round(x, 2) if isinstance(x, float) else (x if x != "" else None)
                     for x in row])
    return rows


def normalized(rows):
    return [[round(x, 2) if isinstance(x, float) else x for x in row] for row in rows]


class SurveyReports(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="quilmark-report-")

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def layer(self, name, driver, *options, source=CSV):
        path = os.path.join(self.folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        subprocess.run(["ogr2ogr", "-q", "-f", driver, *options, "-a_srs", "EPSG:4547", "-nln",
                        "地类图斑", "-nlt", "POLYGON", "-oo", "KEEP_GEOM_COLUMNS=NO", path, source],
                       check=True)
        return path

    def report(self, layer, *extra):
        names = os.path.join(self.folder, "names.csv")
        with open(names, "w", encoding="utf-8") as f:
            f.writelines(f"{code},{name}\n" for code, name in TOWNSHIPS.items())
        result = os.path.join(self.folder, os.path.basename(layer) + ".xlsx")
        done = run("--report", "all", "--zone-names", names, "-o", result,
                   *(extra or ("--level", "village")), layer)
        self.assertEqual(done.returncode, 0, done.stderr)
        return openpyxl.load_workbook(result)

    def test_every_kind_of_layer_gives_the_tables_computed_by_hand(self):
        sign = ["--level", "village", "--report-unit", "石碣镇人民政府", "--report-preparer", "张三"]
        books = [self.report(self.layer("gbk/图斑.shp", "ESRI Shapefile", "-lco", "ENCODING=CP936"),
                             *sign),
                 self.report(self.layer("图斑.gpkg", "GPKG"), *sign),
                 self.report(self.layer("图斑.gdb", "OpenFileGDB"), *sign)]
        sheets = [[(ws.title, list(ws.values), sorted(map(str, ws.merged_cells.ranges)))
                   for ws in book.worksheets] for book in books]
        self.assertEqual(sheets[0], sheets[1])
        self.assertEqual(sheets[0], sheets[2])
        book = books[1]
        self.assertEqual(book.sheetnames[:6], [
            "土地利用现状一级分类面积汇总表", "土地利用现状分类面积汇总表", "三大类面积汇总表",
            "土地利用现状一级分类面积按权属性质汇总表", "城镇村及工矿用地面积汇总表", "耕地坡度分级面积汇总表"])
        self.assert_rounded(book, Expected(CSV), "village")
        sheet = book["土地利用现状一级分类面积汇总表"]
        self.assertEqual(sheet["A1"].value, "土地利用现状一级分类面积汇总表")
        self.assertEqual(sheet["A2"].value, "填报单位: 石碣镇人民政府        单位: 公顷")
        self.assertEqual(sheet["A22"].value, "单位负责人: ____________        填表人: 张三        "
                                             "填表日期: ____________")
        self.assertEqual(sheet.freeze_panes, "C5")
        self.assertEqual(sheet.page_setup.orientation, "landscape")
        self.assertEqual(sheet.page_setup.paperSize, 8)  # A3
        self.assertEqual(sheet.print_title_rows, "$3:$4")
        self.assert_printable(book)
        self.assertEqual(sheet["C5"].number_format, "0.00")
        self.assertEqual([chart.title for chart in book.chartsheets],
                         ["三大类面积构成", "各行政区一级分类面积"])

    def assert_printable(self, book):
        """No text printed below 8 pt (the 11 pt cells at 75 % or more, nothing fitted to a page),
        the name and code columns repeated on every page, no code or figure wider than its
        column, and the charts' figures kept out of print."""
        self.assertEqual(book["图表数据"].sheet_state, "hidden")
        for sheet in book.worksheets[:6]:
            with self.subTest(sheet.title):
                self.assertGreaterEqual(sheet.page_setup.scale or 100, 75)
                self.assertFalse(sheet.sheet_properties.pageSetUpPr
                                 and sheet.sheet_properties.pageSetUpPr.fitToPage)
                self.assertTrue(sheet.print_title_cols.startswith("$A:$"))
                self.assertEqual(sheet.oddFooter.center.text, "&A 第 &P 页")
                for row in sheet.iter_rows(min_row=5, max_row=4 + len(body(sheet, 2))):
                    for cell in row:
                        shown = (f"{cell.value:.2f}" if isinstance(cell.value, float)
                                 else "" if cell.column > 3 or cell.value is None else str(cell.value))
                        width = sum(2 if ord(ch) > 0x2e80 else 1 for ch in shown)
                        letter = openpyxl.utils.get_column_letter(cell.column)
                        column = sheet.column_dimensions[letter].width
                        self.assertLessEqual(width, column, (cell.coordinate, shown))

    def assert_rounded(self, book, expected, level):
        """Every figure within 0.01 ha of its exact value, the 合计 exactly its own rounding, and
        the rows add up: 合计 the sum of the townships, a township's 小计 of its villages."""
        for title, rows in expected.tables(level).items():
            got = body(book[title], 2)
            def keys(table):
                return [[x for x in row[:3] if not isinstance(x, (int, float))] for row in table]
            self.assertEqual(keys(got), keys(rows), title)
            sums = SUMS_OF_PARTS.get(title, lambda c: False)
            for r, (row, exact) in enumerate(zip(got, rows)):
                for c, (value, figure) in enumerate(zip(row, exact)):
                    if isinstance(figure, float) and not sums(c):
                        # The totals and level-1 figures are rounded first, as one flow, and always
                        # within 0.01; a figure rounded under them in a rare case by a hair more.
                        within = 0.01 if title in FIRST_ROUNDED or c == 2 else 0.02
                        self.assertLess(abs(value - figure), within + 1e-9, (title, row[:3], c))
            width = len(rows[0])
            step = 6 if title.startswith("城镇村") else 1
            units = [i for i, (_, code, *_) in enumerate(rows) if code and len(code) == 12]
            towns = [i for i, (_, code, *_) in enumerate(rows) if code and len(code) == 9]
            for c in range(3, width):
                for s in range(step):
                    def at(i):
                        return got[i + s][c]
                    self.assertAlmostEqual(at(0), sum(at(i) for i in towns), 6, title)
                    for t in towns:
                        code = got[t][1]
                        parts = [at(i) for i in units if got[i][1].startswith(code)]
                        if parts:
                            self.assertAlmostEqual(at(t), sum(parts), 6, (title, code))
        level1 = body(book["土地利用现状一级分类面积汇总表"], 2)
        self.assertEqual(level1[0][2], round(expected.sum(expected.villages) + 1e-9, 2))

    def test_every_level_gives_the_same_figures_within_a_unit_of_the_exact(self):
        csv_path = os.path.join(self.folder, "many.csv")
        with open(csv_path, "w", encoding="utf-8") as out:
            subprocess.run([sys.executable, os.path.join(HERE, "make_survey3_layer.py"), "3000",
                            "25"], stdout=out, check=True)
        shutil.copy(CSV + "t", csv_path + "t")
        layer = self.layer("many.gpkg", "GPKG", source=csv_path)
        expected = Expected(csv_path)
        self.assertEqual(len(expected.villages), 75)
        books = {level: self.report(layer, "--level", level) for level in ("township", "village")}
        self.assert_rounded(books["village"], expected, "village")
        self.assert_rounded(books["township"], expected, "township")
        # By county, without the names table: the same 合计, and the nameless county said.
        county = os.path.join(self.folder, "county.xlsx")
        done = run("--report", "all", "--level", "county", "-o", county, layer)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("行政区 441900 没有名称", done.stderr)
        for title in expected.tables():
            county_rows = body(openpyxl.load_workbook(county)[title], 2)
            self.assertEqual(county_rows[0], body(books["village"][title], 2)[0], title)
            by_village = {row[1]: row for row in body(books["village"][title], 2) if row[1]}
            for row in body(books["township"][title], 2):
                if row[1]:
                    self.assertEqual(row[3:], by_village[row[1]][3:], (title, row[1]))

    def test_terrace_area_from_the_coefficient_when_the_layer_has_no_kcmj(self):
        with_kcmj = self.report(self.layer("a.gpkg", "GPKG"))
        without = self.report(self.layer("b.gpkg", "GPKG", "-select",
                                         "BSM,DLBM,ZLDWDM,ZLDWMC,TBMJ,KCXS,QSXZ,CZCSXM,PDJB,GDLX"))
        # KCMJ is TBMJ x KCXS to the centimetre: the exact figures differ by that much, which may
        # tip a figure's rounding to its other side, never further.
        for sheet in with_kcmj.worksheets:
            for a, b in zip(sheet.values, without[sheet.title].values):
                for x, y in zip(a, b):
                    if isinstance(x, float) and isinstance(y, float):
                        self.assertLess(abs(x - y), 0.01 + 1e-9, sheet.title)
                    else:
                        self.assertEqual(x, y, sheet.title)

    def test_tables_that_disagree_or_a_missing_field_stop_with_nothing_written(self):
        broken = os.path.join(self.folder, "broken.csv")
        with open(CSV, encoding="utf-8") as source, open(broken, "w", encoding="utf-8") as out:
            rows = list(csv.DictReader(source))
            rows[5]["QSXZ"] = ""  # a patch of 南城街道's first village
            rows[7]["KCXS"] = "1.5"  # read only where the layer has no KCMJ
            writer = csv.DictWriter(out, fieldnames=list(rows[0]))
            writer.writeheader()
            writer.writerows(rows)
        shutil.copy(CSV + "t", broken + "t")
        without_kcmj = "DLBM,ZLDWDM,TBMJ,KCXS,QSXZ,CZCSXM,PDJB,GDLX"
        cases = [
            (self.layer("bad.gpkg", "GPKG", source=broken), ["--report", "ownership"],
             "土地利用现状一级分类面积按权属性质汇总表: 441900103202 的国有与集体土地面积之和比总面积少 "
             "0.3305 公顷"),
            (self.layer("badkcxs.gpkg", "GPKG", "-select", without_kcmj, source=broken),
             ["--report", "level1"], "FID 8 的田坎系数 \"1.5\" 不是 0 到 1 之间的数"),
            (self.layer("noslope.gpkg", "GPKG", "-select", "DLBM,ZLDWDM,TBMJ,KCXS,QSXZ"),
             ["--report", "level1,slope"], "统计报表 耕地坡度分级面积汇总表 需要坡度级别字段 GDPDJB"),
        ]
        for layer, args, message in cases:
            with self.subTest(message):
                result = os.path.join(self.folder, "out.xlsx")
                done = run(*args, "-o", result, layer)
                self.assertEqual(done.returncode, 1, done.stderr)
                self.assertIn(message, done.stderr)
                self.assertFalse(os.path.exists(result))


if __name__ == "__main__":
    QUILMARK = sys.argv.pop(1)
    unittest.main()
