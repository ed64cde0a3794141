#!/usr/bin/python3
"""The quilmark command line end to end: workbooks made by other programs, exit codes and
messages, nothing written by a run that stops, and results checked with an independent reader.

Usage: cli_test.py QUILMARK   (needs python3-openpyxl and python3-xlsxwriter)
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
from collections import defaultdict

import openpyxl
import xlsxwriter

QUILMARK = None
ROWS = [("001", "011", 12.5), ("002", "121K", 3.25), ("001", "011", 1.5), ("003", "204", 7.0),
        ("002", "111", 0.75), ("001", "317", 2.0), ("002", "121K", 1.0)]


def run(*args):
    # Bytes, decoded here: text mode would turn the confirmation's carriage return into a newline.
    done = subprocess.run([QUILMARK, *args], capture_output=True)
    done.stdout, done.stderr = done.stdout.decode(), done.stderr.decode()
    return done


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def make_openpyxl(path):
    workbook = openpyxl.Workbook()
    sheet = workbook.active
    sheet.title = "图斑"
    for row in ROWS:
        sheet.append(list(row))
    workbook.save(path)


def make_xlsxwriter(path):
    workbook = xlsxwriter.Workbook(path)
    sheet = workbook.add_worksheet("图斑")
    for r, (zone, cls, area) in enumerate(ROWS):
        sheet.write_string(r, 0, zone)
        sheet.write_string(r, 1, cls)
        sheet.write_number(r, 2, area)
    workbook.close()


def block_sums(path):
    """The zone-by-class block below the data, read with openpyxl: {(zone, class): sum}."""
    sheet = openpyxl.load_workbook(path).active
    header = len(ROWS) + 11
    classes = {}
    for column in range(2, sheet.max_column + 1):
        value = sheet.cell(header, column).value
        if value is not None:
            classes[column] = str(value)
    sums = {}
    for row in range(header + 1, sheet.max_row + 1):
        zone = sheet.cell(row, 1).value
        if zone is None:
            continue
        for column, cls in classes.items():
            sums[(str(zone), cls)] = sheet.cell(row, column).value
    return sums


class CommandLine(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()

    def tearDown(self):
        shutil.rmtree(self.folder)

    def path(self, name):
        return os.path.join(self.folder, name)

    def test_workbooks_of_other_programs_give_the_right_sums(self):
        expected = defaultdict(float)
        for zone, cls, area in ROWS:
            expected[(zone, cls)] += area
        for maker in (make_openpyxl, make_xlsxwriter):
            with self.subTest(maker.__name__):
                source, result = self.path("in.xlsx"), self.path("out.xlsx")
                maker(source)
                before = read_bytes(source)
                done = run("--land-use", "2008-level3", "-o", result, source)
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertIn("确认: 需要统计的工作薄为 in.xlsx\r", done.stdout)
                self.assertIn("统计完毕, 到Excel工作表查看结果!", done.stdout)
                self.assertEqual(read_bytes(source), before)
                sums = block_sums(result)
                for key, value in expected.items():
                    self.assertAlmostEqual(sums[key], value)
                self.assertEqual(sums[("003", "011")], 0)
                # The data rows are read back unchanged.
                sheet = openpyxl.load_workbook(result).active
                self.assertEqual(sheet.cell(2, 1).value, "002")

    def test_in_place_save_leaves_no_temporary_file(self):
        source = self.path("图斑.xlsx")
        make_openpyxl(source)
        done = run("--zone-totals", "--cross-tab", source)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(os.listdir(self.folder), ["图斑.xlsx"])
        self.assertGreater(openpyxl.load_workbook(source).active.max_row, len(ROWS) + 10)

    def test_exit_codes_messages_and_nothing_written_when_stopped(self):
        source, result = self.path("in.xlsx"), self.path("out.xlsx")
        make_openpyxl(source)
        with open(self.path("text.xlsx"), "w") as text:
            text.write("zone,class,area\n")
        cases = [
            ([source], 1, "没有选择统计汇总工作内容!"),
            (["--land-use", "2010", source], 2, "--land-use"),
            (["--master-plan", "1999", source], 2, "--master-plan"),
            (["--convert-zone-codes", "--cross-tab", source], 2, "land-use"),
            (["--bogus", source], 2, "bogus"),
            (["--cross-tab", self.path("missing.xlsx")], 3, "无法读取工作簿: "),
            (["--cross-tab", self.path("text.xlsx")], 3, "无法读取工作簿: "),
            (["--cross-tab", "--sheet", "无此表", source], 3, "无此表"),
        ]
        for args, code, message in cases:
            with self.subTest(args=args):
                done = run(*args[:-1], "-o", result, args[-1])
                self.assertEqual(done.returncode, code, done.stderr)
                self.assertIn(message, done.stderr)
                self.assertFalse(os.path.exists(result))
        self.assertEqual(run("--help").returncode, 0)
        self.assertEqual(run("--version").returncode, 0)

    def test_libreoffice_opens_the_result(self):
        office = shutil.which("soffice") or shutil.which("libreoffice")
        if office is None:
            self.skipTest("no LibreOffice installed")
        source, result = self.path("in.xlsx"), self.path("out.xlsx")
        make_xlsxwriter(source)
        self.assertEqual(run("--land-use", "2008-level3", "--cross-tab", "-o", result, source).returncode, 0)
        done = subprocess.run([office, "--headless", "--convert-to", "csv", "--outdir", self.folder,
                               result], capture_output=True, text=True, timeout=180,
                              env={**os.environ, "HOME": self.folder})
        csv = self.path("out.csv")
        self.assertTrue(os.path.exists(csv), done.stderr)
        with open(csv, encoding="utf-8", errors="replace") as text:
            self.assertIn("121K", text.read())


if __name__ == "__main__":
    QUILMARK = sys.argv.pop(1)
    unittest.main(verbosity=2)
