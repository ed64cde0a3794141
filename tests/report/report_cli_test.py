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


def largest_remainder(total_units, exact_units):
    """Whole units summing to total_units: floors, then the largest remainders (ties: earlier)."""
    floors = [math.floor(x + 1e-6) for x in exact_units]
    order = sorted(range(len(exact_units)), key=lambda i: -(exact_units[i] - floors[i]))
    left = total_units - sum(floors)
    for i in order:
        if left <= 0:
            break
        if exact_units[i] > 0:
            floors[i] += 1
            left -= 1
    return floors


class Expected:
    """The tables by hand: exact hectares per village and level-2 code, rounded top-down (the
    total, then the villages, then each village's codes), then each figure split by ownership,
    城镇村 and slope part."""

    def __init__(self, path):
        level2 = table("survey3_level2")
        self.level1_of = table("survey3_level1")
        self.major_of = table("survey3_major")
        self.codes = list(level2)  # the level-2 codes in the table's order
        exact = {}  # (village, code, ownership, urban, slope) -> hectare units of 0.01
        with open(path, encoding="utf-8") as f:
            for row in csv.DictReader(f):
                village = row["ZLDWDM"][:12]
                code = lookup(level2, row["DLBM"])
                self.names = getattr(self, "names", {})
                self.names.setdefault(village, row["ZLDWMC"])
                area, ridge = float(row["TBMJ"]), float(row["KCMJ"])
                owner = "国有" if row["QSXZ"] in ("10", "20") else "集体"
                slope = (row["PDJB"], row["GDLX"] if row["PDJB"] != "1" else "")
                urban = row["CZCSXM"][:3]
                for c, a, s in ((row["DLBM"], area - ridge, slope), ("1203", ridge, ("", ""))):
                    key = (village, lookup(level2, c) and self.code_of(level2, c), owner, urban, s,
                           lookup(self.major_of, c))
                    exact[key] = exact.get(key, 0) + a / 100  # m2 -> units of 0.01 ha
        self.villages = sorted({k[0] for k in exact})
        self.round(exact)

    @staticmethod
    def code_of(level2, code):
        code = code[:-1] if code.endswith("K") else code
        return code if code in level2 else code[:-1]

    def round(self, exact):
        cell = {}
        for key, units in exact.items():
            cell[key[:2]] = cell.get(key[:2], 0) + units
        village_total = {v: sum(u for (w, _), u in cell.items() if w == v) for v in self.villages}
        totals = largest_remainder(round(sum(village_total.values())),
                                   [village_total[v] for v in self.villages])
        self.figure = {}  # (village, code) -> units
        for v, total in zip(self.villages, totals):
            rounded = largest_remainder(total, [cell.get((v, c), 0) for c in self.codes])
            self.figure.update({(v, c): r for c, r in zip(self.codes, rounded)})
        self.parts = {}  # (dimension, village, code, value) -> units
        for dim in (2, 3, 4, 5):
            for (v, c), units in self.figure.items():
                values = sorted({k[dim] for k in exact if k[:2] == (v, c)}, key=str)
                shares = largest_remainder(units, [sum(x for k, x in exact.items()
                                                       if k[:2] == (v, c) and k[dim] == value)
                                                   for value in values])
                for value, share in zip(values, shares):
                    self.parts[(dim, v, c, value)] = share

    def rows(self):
        """(name, code, villages) in print order: 合计, then each township's 小计 and villages."""
        yield "合计", None, self.villages
        for township, name in TOWNSHIPS.items():
            villages = [v for v in self.villages if v.startswith(township)]
            yield name + "小计", township, villages
            for v in villages:
                yield self.names[v], v, [v]

    def level1(self, villages, pick):
        sums = [0] * len(LEVEL1)
        for v in villages:
            for c in self.codes:
                sums[LEVEL1.index(self.level1_of[c])] += pick(v, c)
        return [sum(sums)] + sums

    def level1_table(self):
        return [[name, code, *[u / 100 for u in self.level1(vs, lambda v, c: self.figure[(v, c)])]]
                for name, code, vs in self.rows()]

    def level2_table(self):
        rows = []
        for name, code, vs in self.rows():
            cells = []
            for group in LEVEL1:
                members = [sum(self.figure[(v, c)] for v in vs) for c in self.codes
                           if self.level1_of[c] == group]
                cells += [sum(members), *members]
            rows.append([name, code, sum(cells) / 2 / 100, *[u / 100 for u in cells]])
        return rows

    def major_table(self):
        groups = {m: [c for c in self.codes if self.major_of[c] == m or any(
            self.parts.get((5, v, c, m)) for v in self.villages)] for m in MAJOR}
        rows = []
        for name, code, vs in self.rows():
            cells = []
            for m in MAJOR:
                members = [sum(self.parts.get((5, v, c, m), 0) for v in vs) for c in groups[m]]
                cells += [sum(members), *members]
            rows.append([name, code, sum(self.figure[(v, c)] for v in vs for c in self.codes) / 100,
                         *[u / 100 for u in cells]])
        return rows

    def split_table(self, dim, labels):
        rows = []
        for name, code, vs in self.rows():
            for i, (label, value) in enumerate(labels):
                def pick(v, c):
                    return sum(self.parts.get((dim, v, c, x), 0) for x in value)
                rows.append([name if i == 0 else None, code if i == 0 else None, label,
                             *[u / 100 for u in self.level1(vs, pick)]])
        return rows

    def slope_table(self):
        rows = []
        for name, code, vs in self.rows():
            def part(grade, kind):
                return sum(self.parts.get((4, v, c, (grade, kind)), 0) for v in vs
                           for c in ("0101", "0102", "0103")) / 100
            cells = [part("1", "")]
            for grade in "2345":
                cells += [round(part(grade, "TT") + part(grade, "PD"), 2), part(grade, "TT"),
                          part(grade, "PD")]
            rows.append([name, code, round(cells[0] + sum(cells[2::3]) + sum(cells[3::3]), 2),
                         *cells])
        return rows


def body(sheet, header_rows):
    rows = []
    for row in sheet.iter_rows(min_row=3 + header_rows, values_only=True):
        if row[0] is not None and str(row[0]).startswith("其中田坎"):
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
        done = run("--report", "all", "--level", "village", "--zone-names", names, "-o", result,
                   *extra, layer)
        self.assertEqual(done.returncode, 0, done.stderr)
        return openpyxl.load_workbook(result)

    def test_every_kind_of_layer_gives_the_tables_computed_by_hand(self):
        books = [self.report(self.layer("gbk/图斑.shp", "ESRI Shapefile", "-lco", "ENCODING=CP936")),
                 self.report(self.layer("图斑.gpkg", "GPKG")),
                 self.report(self.layer("图斑.gdb", "OpenFileGDB"))]
        sheets = [[(ws.title, list(ws.values), sorted(map(str, ws.merged_cells.ranges)))
                   for ws in book.worksheets] for book in books]
        self.assertEqual(sheets[0], sheets[1])
        self.assertEqual(sheets[0], sheets[2])
        book = books[1]
        self.assertEqual(book.sheetnames[:6], [
            "土地利用现状一级分类面积汇总表", "土地利用现状分类面积汇总表", "三大类面积汇总表",
            "一级分类面积按权属性质汇总表", "城镇村及工矿用地面积汇总表", "耕地坡度分级面积汇总表"])
        expected = Expected(CSV)
        urban = [("小计", ["201", "202", "203", "204", "205"])] + [
            (label, [code]) for label, code in (("城市(201)", "201"), ("建制镇(202)", "202"),
                                               ("村庄(203)", "203"), ("采矿用地(204)", "204"),
                                               ("风景名胜及特殊用地(205)", "205"))]
        cases = [("土地利用现状一级分类面积汇总表", expected.level1_table()),
                 ("土地利用现状分类面积汇总表", expected.level2_table()),
                 ("三大类面积汇总表", expected.major_table()),
                 ("一级分类面积按权属性质汇总表",
                  expected.split_table(2, [("国有土地", ["国有"]), ("集体土地", ["集体"])])),
                 ("城镇村及工矿用地面积汇总表", expected.split_table(3, urban)),
                 ("耕地坡度分级面积汇总表", expected.slope_table())]
        for title, rows in cases:
            with self.subTest(title):
                self.assertEqual(body(book[title], 2), normalized(rows))
        sheet = book["土地利用现状一级分类面积汇总表"]
        self.assertEqual(sheet["A1"].value, "土地利用现状一级分类面积汇总表")
        self.assertEqual(sheet["A2"].value, "单位: 公顷")
        self.assertEqual(sheet.freeze_panes, "C5")
        self.assertEqual(sheet.page_setup.orientation, "landscape")
        self.assertEqual(sheet.page_setup.paperSize, 8)  # A3
        self.assertEqual(sheet.print_title_rows, "$3:$4")
        self.assertEqual(sheet["C5"].number_format, "0.00")
        self.assertEqual([chart.title for chart in book.chartsheets],
                         ["三大类面积构成", "各行政区一级分类面积"])

    def test_terrace_area_from_the_coefficient_when_the_layer_has_no_kcmj(self):
        with_kcmj = self.report(self.layer("a.gpkg", "GPKG"))
        without = self.report(self.layer("b.gpkg", "GPKG", "-select",
                                         "BSM,DLBM,ZLDWDM,ZLDWMC,TBMJ,KCXS,QSXZ,CZCSXM,PDJB,GDLX"))
        for sheet in with_kcmj.worksheets:
            self.assertEqual(list(sheet.values), list(without[sheet.title].values), sheet.title)

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
             "一级分类面积按权属性质汇总表: 441900103 的国有与集体土地面积之和比总面积少 0.3305 公顷"),
            (self.layer("badkcxs.gpkg", "GPKG", "-select", without_kcmj, source=broken),
             ["--report", "level1"], "FID 8 的田坎系数 \"1.5\" 不是 0 到 1 之间的数"),
            (self.layer("noslope.gpkg", "GPKG", "-select", "DLBM,ZLDWDM,TBMJ,KCXS,QSXZ"),
             ["--report", "level1,slope"], "统计报表 耕地坡度分级面积汇总表 需要坡度级别字段 PDJB"),
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
