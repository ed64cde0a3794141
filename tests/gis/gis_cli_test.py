#!/usr/bin/python3
"""The command line on GIS sources that need outside programs: a PostGIS server of its own,
a server that never answers, and .ods/.xls tables written by the headless office. Each result
is compared with the same patches read from the shipped CSV layer.

Usage: gis_cli_test.py QUILMARK   (needs gdal-bin, postgresql-15-postgis-3, libreoffice)
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from postgis_server import PostgisServer, SilentServer  # noqa: E402

QUILMARK = None
CSV = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "gis", "patches.csv")
TASKS = ["--land-use", "2008-level3", "--zone-totals", "--cross-tab", "--format", "csv"]
FIELDS = ["--zone-column", "ZLMC", "--class-column", "DLBM", "--area-column", "TBMJ"]


def run(*args, timeout=120):
    return subprocess.run([QUILMARK, *args], capture_output=True, text=True, timeout=timeout)


class GisCommandLine(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="quilmark-gis-cli-")

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def expected(self, *extra):
        done = run(*TASKS, *FIELDS, *extra, CSV)
        self.assertEqual(done.returncode, 0, done.stderr)
        return done.stdout

    def test_postgis_filters_on_the_server(self):
        # Also: a bigint zone code reads as its digits, a filter on a field the run does not
        # read selects, and one that selects nothing stops the run with nothing written.
        where = "DLBM LIKE '03%'"
        load = ["ogr2ogr", "-a_srs", "EPSG:4547", "-nlt", "POLYGON", "-oo", "KEEP_GEOM_COLUMNS=NO"]
        with PostgisServer() as server:
            subprocess.run([*load, "-f", "PostgreSQL", server.connection, CSV, "-nln", "patches"],
                           check=True)
            subprocess.run([*load, "-f", "PostgreSQL", server.connection, CSV, "-nln", "codes",
                            "-sql", "SELECT CAST(ZLDWDM AS bigint) AS ZLDWDM, DLBM, TBMJ "
                            "FROM patches"], check=True)
            done = run(*TASKS, *FIELDS, "--where", where, "--layer", "patches",
                       server.connection)
            codes = run("--zone-totals", "--zone-column", "ZLDWDM", "--zone-prefix", "9",
                        "--area-column", "TBMJ", "--where", where, "--layer", "codes",
                        "--format", "csv", server.connection)
            none = run(*TASKS[:-2], *FIELDS, "--where", "DLBM = '9999'", "--layer", "patches",
                       "-o", os.path.join(self.folder, "none.xlsx"), server.connection)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stdout, self.expected("--where", where))
        self.assertIn("常平镇", done.stdout)
        self.assertNotIn("石碣镇", done.stdout)
        self.assertIn("需要统计的图层为 public.patches, 数据源为 PG:", done.stderr)
        self.assertEqual(codes.stdout.replace("\r\n", "\n"), "按区域统计\n441900102,425.25\n",
                         codes.stderr)
        self.assertEqual(none.returncode, 1, none.stderr)
        self.assertIn("筛选条件 \"DLBM = '9999'\" 在图层 public.patches (PG:", none.stderr)
        self.assertEqual(os.listdir(self.folder), [])

    def test_a_server_that_does_not_answer_stops_the_run(self):
        with SilentServer() as server:
            done = run(*TASKS, *FIELDS, server.connection)
        self.assertEqual(done.returncode, 3)
        self.assertEqual(done.stdout, "")
        self.assertIn("无法读取图层: 无法连接数据库", done.stderr)
        self.assertIn("password=***", done.stderr)
        self.assertNotIn("secret", done.stderr)

    def test_office_tables_read_through_gdal(self):
        # The attributes alone, the codes kept as text, as an office user types them.
        table = os.path.join(self.folder, "patches.csv")
        with open(CSV, encoding="utf-8") as source, open(table, "w", encoding="utf-8") as out:
            for line in source:
                out.write(line[line.index("\",") + 2:] if line.startswith("\"") else
                          line[len("WKT,"):])
        profile = "file://" + os.path.join(self.folder, "profile")
        for extension in ("ods", "xls"):
            with self.subTest(extension):
                subprocess.run(["soffice", f"-env:UserInstallation={profile}", "--headless",
                                "--infilter=CSV:44,34,76,1,1/2/2/2/3/2/4/1", "--convert-to",
                                extension, "--outdir", self.folder, table],
                               check=True, capture_output=True, timeout=300)
                done = run(*TASKS, *FIELDS, os.path.join(self.folder, f"patches.{extension}"))
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertEqual(done.stdout, self.expected())

    def test_permission_refusals_stop_the_run_with_nothing_written(self):
        # Run as an ordinary user: root reads and writes whatever the permissions say.
        as_user = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] \
            if os.geteuid() == 0 else []
        layer = os.path.join(self.folder, "patches.gpkg")
        subprocess.run(["ogr2ogr", "-q", "-f", "GPKG", "-oo", "KEEP_GEOM_COLUMNS=NO", layer, CSV],
                       check=True)
        shut = os.path.join(self.folder, "shut.gpkg")
        shutil.copy(layer, shut)
        os.chmod(shut, 0)
        before = sorted(os.listdir(self.folder))
        # 0o555: readable, but no result can be written beside the layer, which is said before
        # the layer is read.
        try:
            for source, mode, expected in [(shut, 0o777, "没有读取"), (layer, 0o555, "无法保存工作簿"),
                                           (shut, 0o555, "无法在文件夹")]:
                os.chmod(self.folder, mode)
                with self.subTest(source=source, mode=mode):
                    done = subprocess.run([*as_user, QUILMARK, *TASKS[:-2], *FIELDS, source],
                                          capture_output=True, text=True, timeout=120)
                    self.assertEqual(done.returncode, 3, done.stderr)
                    self.assertIn(expected, done.stderr)
                    self.assertEqual(sorted(os.listdir(self.folder)), before)
        finally:
            os.chmod(self.folder, 0o755)

    def test_result_workbook_holds_what_the_worksheet_gives(self):
        # The same patches as a worksheet (zone, class, area in columns 1 to 3, no title row) and
        # as a GBK shapefile without a .cpg; the shapefile's result workbook, sheet by sheet and
        # cell by cell, against the worksheet's tables.
        import csv
        import openpyxl
        sheet_file = os.path.join(self.folder, "patches.xlsx")
        book = openpyxl.Workbook()
        with open(CSV, encoding="utf-8") as source:
            for record in csv.DictReader(source):
                book.active.append([record["ZLMC"], record["DLBM"], float(record["TBMJ"])])
        book.save(sheet_file)
        tasks = ["--land-use", "2008-level3", "--zone-totals", "--cross-tab", "--decimals", "2"]
        done = run(*tasks, "--format", "csv", sheet_file)
        self.assertEqual(done.returncode, 0, done.stderr)
        blocks = {}
        for block in done.stdout.replace("\r\n", "\n").strip("\n").split("\n\n"):
            title, *rows = block.split("\n")
            blocks[title] = list(csv.reader(rows))

        shapefile = os.path.join(self.folder, "patches.shp")
        subprocess.run(["ogr2ogr", "-q", "-lco", "ENCODING=CP936", "-a_srs", "EPSG:4547",
                        "-nlt", "POLYGON", "-oo", "KEEP_GEOM_COLUMNS=NO", shapefile, CSV],
                       check=True)
        os.remove(os.path.join(self.folder, "patches.cpg"))
        done = run(*tasks, *FIELDS, shapefile)
        self.assertEqual(done.returncode, 0, done.stderr)
        result = os.path.join(self.folder, "patches-汇总.xlsx")
        self.assertIn(result, done.stdout)
        workbook = openpyxl.load_workbook(result)
        # Third-survey codes under a 2008 method: the data check's warning travels with the tables.
        self.assertEqual(workbook.sheetnames, list(blocks) + ["数据检查"])
        self.assertEqual(workbook["数据检查"]["A2"].value, "地类编码")
        for title, rows in blocks.items():
            # CSV leaves out a row that writes nothing (zone totals' empty header row).
            cells = [list(row) for row in workbook[title].iter_rows(values_only=True)
                     if any(cell is not None for cell in row)]
            self.assertEqual(len(cells), len(rows), title)
            for got, expected in zip(cells, rows):
                expected += [""] * (len(got) - len(expected))
                for value, text in zip(got, expected):
                    text = "ZLMC" if text == "镇区名称" else text  # a layer's zones: their field
                    if isinstance(value, (int, float)):
                        self.assertAlmostEqual(value, float(text), places=6, msg=title)
                    else:
                        self.assertEqual(value or "", text, title)

    def write_parts(self, kinds, select=None):
        """The shipped patches split into len(kinds) layers named p0, p1... of those kinds in
        order (rows 1-3, 4-5, 6-8 for three), each layer named patches; `select` lists the fields
        of part 1 instead."""
        bounds = [(1, 3), (4, 5), (6, 8)][:len(kinds)]
        paths = []
        for i, (kind, (low, high)) in enumerate(zip(kinds, bounds)):
            path = os.path.join(self.folder, f"p{i}.{kind}")
            fields = ["-select", select] if select and i == 1 else []
            if kind == "shp":
                fields += ["-lco", "ENCODING=UTF-8"]
            subprocess.run(["ogr2ogr", "-q", "-a_srs", "EPSG:4547", "-nlt", "POLYGON", "-oo",
                            "KEEP_GEOM_COLUMNS=NO", *fields, "-where",
                            f"FID >= {low} AND FID <= {high}", path, CSV], check=True)
            paths.append(path)
        return paths

    def test_parts_sum_as_the_merged_layer(self):
        # GeoPackage and shapefile parts, with and without a filter that leaves a part empty,
        # against the whole layer cell for cell; then the default result beside the first part.
        whole = os.path.join(self.folder, "whole.gpkg")
        subprocess.run(["ogr2ogr", "-q", "-a_srs", "EPSG:4547", "-oo", "KEEP_GEOM_COLUMNS=NO",
                        whole, CSV], check=True)
        parts = self.write_parts(["gpkg", "shp", "gpkg"])
        for where in ([], ["--where", "DLBM LIKE '03%'"]):
            with self.subTest(where=where):
                merged = run(*TASKS, *FIELDS, "--decimals", "2", *where, whole)
                done = run(*TASKS, *FIELDS, "--decimals", "2", *where, *parts)
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertEqual(done.stdout, merged.stdout)
                self.assertIn("需要统计 3 个数据源的图层", done.stderr)
        done = run(*TASKS[:-2], *FIELDS, *parts)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertTrue(os.path.exists(os.path.join(self.folder, "p0等3个图层-汇总.xlsx")))

    def test_overlay_is_the_same_from_every_source(self):
        # Planning zones cutting the patches: a GeoPackage, a shapefile and PostGIS tables give
        # the same pieces, and their areas add up to the patches' TBMJ; ellipsoidal areas are the
        # same from both.
        zones = os.path.join(self.folder, "zones.csv")
        with open(zones, "w", encoding="utf-8") as out:
            out.write("WKT,YDYH\n")
            out.write('"POLYGON((499990 2499990,500110 2499990,500110 2500200,499990 2500200,'
                      '499990 2499990))",城镇建设用地\n')
            out.write('"POLYGON((500110 2499990,500400 2499990,500400 2500200,500110 2500200,'
                      '500110 2499990))",农业用地\n')
        load = ["ogr2ogr", "-q", "-a_srs", "EPSG:4547", "-oo", "KEEP_GEOM_COLUMNS=NO"]
        sources = {}
        for kind, extension, options in (("GPKG", ".gpkg", []),
                                         ("ESRI Shapefile", ".shp", ["-lco", "ENCODING=UTF-8"])):
            sources[kind] = []
            for name, csv in (("patches", CSV), ("zones", zones)):
                path = os.path.join(self.folder, name + extension)
                subprocess.run([*load, *options, "-f", kind, path, csv, "-nln", name],
                               check=True)
                sources[kind].append(path)
        overlay = ["--zone-column", "YDYH", "--class-column", "DLBM", "--area-column", "TBMJ",
                   "--land-use", "2008-level3", "--totals", "--format", "csv"]
        results = {kind: run("--overlay", zone + ":YDYH", *overlay, patch)
                   for kind, (patch, zone) in sources.items()}
        with PostgisServer() as server:
            for name, csv in (("patches", CSV), ("zones", zones)):
                subprocess.run([*load, "-nlt", "POLYGON", "-f", "PostgreSQL", server.connection,
                                csv, "-nln", name], check=True)
            results["PostGIS"] = run("--overlay", server.connection + " tables=zones:YDYH",
                                     *overlay, "--layer", "patches", server.connection)
            # The ellipsoidal area is never pushed down: the table streams, its columns found
            # by name in the statement that reads them with the geometry (a table loaded from a
            # GeoPackage keys on "fid", which GDAL then gives as a field of its own).
            subprocess.run(["ogr2ogr", "-q", "-f", "PostgreSQL", server.connection,
                            sources["GPKG"][0], "-nln", "dltb"], check=True)
            ellipsoid = ["--zone-totals", "--zone-column", "ZLMC", "--area-from", "ellipsoid",
                         "--format", "csv"]
            streamed = run(*ellipsoid, "--layer", "dltb", server.connection)
        self.assertEqual(streamed.returncode, 0, streamed.stderr)
        self.assertEqual(streamed.stdout, run(*ellipsoid, sources["GPKG"][0]).stdout)
        for kind, done in results.items():
            self.assertEqual(done.returncode, 0, f"{kind}: {done.stderr}")
            self.assertIn("范围外", done.stdout)
            self.assertEqual(done.stdout, results["GPKG"].stdout, kind)
        plain = run(*overlay[2:], "--zone-column", "ZLMC", sources["GPKG"][0])
        self.assertEqual(results["GPKG"].stdout.splitlines()[-1].split(",")[-1],
                         plain.stdout.splitlines()[-1].split(",")[-1])

    def test_area_options_and_the_area_check(self):
        # The check's exit status says whether every TBMJ agrees (the shipped patches lie on the
        # central meridian, where planar and ellipsoidal areas agree); options that cannot work
        # are refused before anything is read.
        gpkg = os.path.join(self.folder, "patches.gpkg")
        subprocess.run(["ogr2ogr", "-q", "-a_srs", "EPSG:4547", "-oo", "KEEP_GEOM_COLUMNS=NO",
                        gpkg, CSV], check=True)
        xlsx = os.path.join(os.path.dirname(CSV), "..", "xlsx", "missing.xlsx")
        cases = [
            (["--check-area", gpkg], 0, "与椭球面积都相符"),
            (["--check-area", "--area-column", "ZLMC", gpkg], 1, "FID 1: ZLMC 0.00"),
            (["--zone-totals", "--area-from", "field", gpkg], 2, "需要用 --area-column"),
            (["--zone-totals", "--area-from", "plane", "--area-column", "TBMJ", gpkg], 2,
             "请只用其中一个"),
            (["--zone-totals", "--overlay", gpkg, xlsx], 2, "只用于 GIS 图层"),
            (["--zone-totals", "--overlay", os.path.join(self.folder, "none.gpkg"),
              "--format", "csv", gpkg], 3, "无法读取图层"),
        ]
        for args, code, text in cases:
            with self.subTest(args=args):
                done = run("--zone-column", "ZLMC", *args)
                self.assertEqual(done.returncode, code, done.stderr)
                self.assertIn(text, done.stdout + done.stderr)
        done = run("--zone-totals", "--zone-column", "ZLMC", "--area-from", "ellipsoid",
                   "--format", "csv", gpkg)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("石碣镇", done.stdout)

    def test_refusals_of_several_sources_write_nothing(self):
        # A part without the class field (the others are checked before any is read), a workbook
        # among the sources, a source given twice, and a filter that selects nothing in any part.
        parts = self.write_parts(["gpkg", "gpkg", "gpkg"], select="ZLMC,TBMJ")
        book = os.path.join(self.folder, "a.xlsx")
        open(book, "wb").close()
        before = sorted(os.listdir(self.folder))
        cases = [
            (parts, [], 3, "第 2/3 个数据源 p1.gpkg: 无法读取图层: 图层 patches 没有类别字段 "
                           "\"DLBM\"; 它的字段是: 1 ZLMC, 2 TBMJ"),
            ([parts[0], book], [], 2, "多个数据源只能都是 GIS 图层"),
            ([parts[0], parts[0]], [], 2, f"数据源 {parts[0]} 给了两次"),
            ([parts[0], parts[2]], ["--where", "DLBM = '9'"], 1,
             "筛选条件 \"DLBM = '9'\" 在这 2 个数据源的图层中都没有选中任何图斑"),
        ]
        for sources, where, code, message in cases:
            with self.subTest(message):
                done = run(*TASKS[:-2], *FIELDS, *where, *sources)
                self.assertEqual(done.returncode, code, done.stderr)
                self.assertIn(message, done.stderr)
                self.assertEqual(sorted(os.listdir(self.folder)), before)

if __name__ == "__main__":
    QUILMARK = os.path.abspath(sys.argv.pop(1))
    unittest.main()
