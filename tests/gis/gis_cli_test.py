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
        where = "DLBM LIKE '03%'"
        with PostgisServer() as server:
            subprocess.run(["ogr2ogr", "-f", "PostgreSQL", server.connection, CSV, "-nln",
                            "patches", "-a_srs", "EPSG:4547", "-nlt", "POLYGON",
                            "-oo", "KEEP_GEOM_COLUMNS=NO"], check=True)
            done = run(*TASKS, *FIELDS, "--where", where, "--layer", "patches",
                       server.connection)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stdout, self.expected("--where", where))
        self.assertIn("常平镇", done.stdout)
        self.assertNotIn("石碣镇", done.stdout)

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


if __name__ == "__main__":
    QUILMARK = os.path.abspath(sys.argv.pop(1))
    unittest.main()
