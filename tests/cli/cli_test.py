#!/usr/bin/python3
"""The quilmark command line end to end: workbooks made by other programs, exit codes and
messages, nothing written by a run that stops, and results checked with an independent reader.

Usage: cli_test.py QUILMARK   (needs python3-openpyxl and python3-xlsxwriter)
"""
import csv
import io
import os
import pty
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile
from collections import defaultdict

import openpyxl
import xlsxwriter

QUILMARK = None
ROWS = [("001", "011", 12.5), ("002", "121K", 3.25), ("001", "011", 1.5), ("003", "204", 7.0),
        ("002", "111", 0.75), ("001", "317", 2.0), ("002", "121K", 1.0)]


def run(*args, stdin=subprocess.DEVNULL):
    # Bytes, decoded here: text mode would turn the confirmation's carriage return into a newline.
    # Standard input is no terminal unless a test gives one: runs are a script's.
    done = subprocess.run([QUILMARK, *args], capture_output=True, stdin=stdin)
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


# Zone, land-use code, area, planning-zone name: one row of each kind a method tells apart.
PLAN_ROWS = [("001", "011", 2.5, "城镇建设用地区"), ("002", "121K", 1.0, "一般农地区"),
             ("001", "204", 4.0, "永久性基本农田区"), ("003", "111", 0.5, "基本农田保护区"),
             ("001", "317", 8.0, "城镇建设用地区")]


def make_plan_rows(path):
    workbook = openpyxl.Workbook()
    sheet = workbook.active
    for row in PLAN_ROWS:
        sheet.append(list(row))
    workbook.save(path)


def summary_block(sheet, header):
    """{(zone, class): sum} of the summary block whose header row is `header`, and its last row."""
    classes = {c: sheet.cell(header, c).value for c in range(2, sheet.max_column + 1)
               if sheet.cell(header, c).value is not None}
    sums, row = {}, header + 1
    while sheet.cell(row, 1).value is not None:
        for column, cls in classes.items():
            sums[(sheet.cell(row, 1).value, cls)] = sheet.cell(row, column).value
        row += 1
    return sums, row - 1


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

    def test_every_method_writes_its_block_into_the_file(self):
        z1, z2, z3 = "001", "002", "003"
        cases = [
            (["--land-use", "2008-level3"],
             {(z1, "011"): 2.5, (z2, "121K"): 1, (z1, "204"): 4, (z3, "111"): 0.5, (z1, "317"): 8}),
            (["--land-use", "2008-level2"],
             {(z1, "011"): 2.5, (z2, "带K园地"): 1, (z1, "居民点及独立工矿用地"): 4,
              (z3, "耕地"): 0.5, (z1, "未利用土地"): 8}),
            (["--land-use", "2008-level1"],
             {(z1, "011"): 2.5, (z2, "带K农用地"): 1, (z1, "建设用地"): 4, (z3, "耕地"): 0.5,
              (z1, "未利用地"): 8}),
            (["--land-use", "survey-ownership"], {(z1, "国有"): 6.5, (z1, "集体"): 8, (z3, "国有"): 0.5}),
            (["--land-use", "survey-level1"],
             {(z1, "耕地"): 2.5, (z2, "建设用地"): 1, (z1, "建设用地"): 4, (z3, "未利用地"): 0.5,
              (z1, "317"): 8}),
            (["--land-use", "survey-agri"],
             {(z1, "农用地"): 2.5, (z2, "建设用地"): 1, (z1, "建设用地"): 4, (z3, "未利用地"): 0.5}),
            (["--land-use", "2008-level3", "--convert-zone-codes"],
             {("莞城区", "011"): 2.5, ("002", "121K"): 1, ("东城区", "111"): 0.5}),
            (["--master-plan", "all-zones", "--class-column", "4"],
             {(z1, "城镇建设用地区"): 10.5, (z2, "一般农地区"): 1, (z3, "基本农田保护区"): 0.5}),
            (["--master-plan", "2006", "--class-column", "4"],
             {(z1, "符合规划用地"): 10.5, (z2, "一般农地区"): 1, (z1, "永久性基本农田区"): 4,
              (z3, "基本农田保护区"): 0.5}),
            (["--master-plan", "2009", "--class-column", "4"],
             {(z1, "符合规划用地"): 10.5, (z2, "其它不符合规划用地"): 1, (z1, "基本农田"): 4,
              (z3, "基本农田"): 0.5, (z2, "符合规划用地"): 0}),
        ]
        source = self.path("plan.xlsx")
        make_plan_rows(source)
        for args, expected in cases:
            with self.subTest(" ".join(args)):
                result = self.path("out.xlsx")
                done = run(*args, "-o", result, source)
                self.assertEqual(done.returncode, 0, done.stderr)
                sheet = openpyxl.load_workbook(result).active
                sums, _ = summary_block(sheet, len(PLAN_ROWS) + 11)
                for key, value in expected.items():
                    self.assertAlmostEqual(sums[key], value, msg=key)

    def test_all_tasks_together_stack_their_blocks(self):
        source, result = self.path("plan.xlsx"), self.path("out.xlsx")
        make_plan_rows(source)
        done = run("--land-use", "2008-level1", "--convert-zone-codes", "--master-plan", "2009",
                   "--class-column", "4", "--zone-totals", "--cross-tab", "-o", result, source)
        self.assertEqual(done.returncode, 0, done.stderr)
        sheet = openpyxl.load_workbook(result).active
        self.assertEqual(sheet.cell(1, 1).value, "莞城区")  # the data rows carry the names now
        # Both summaries read the class column 4: planning-zone names are no land-use codes and
        # stay as they are under the land-use method.
        land_use, end = summary_block(sheet, len(PLAN_ROWS) + 11)
        self.assertEqual(land_use[("莞城区", "城镇建设用地区")], 10.5)
        master_plan, end = summary_block(sheet, end + 11)
        self.assertEqual(master_plan[("莞城区", "符合规划用地")], 10.5)
        totals_header = end + 11  # the zone-totals block has no header, only zones and totals
        self.assertIsNone(sheet.cell(totals_header, 1).value)
        self.assertEqual(sheet.cell(totals_header + 1, 1).value, "莞城区")
        self.assertEqual(sheet.cell(totals_header + 1, 2).value, 14.5)
        cross_header = totals_header + 3 + 11  # three zones
        self.assertEqual(sheet.cell(cross_header, 1).value, "镇区名称")
        self.assertEqual(sheet.cell(cross_header - 1, 4).value, "011")  # class titles from column 2
        self.assertEqual(sheet.cell(cross_header + 1, 1).value, "莞城区")
        self.assertEqual(sheet.cell(cross_header + 1, 2).value, 3)  # its total count
        self.assertEqual(sheet.cell(cross_header + 1, 3).value, 14.5)
        self.assertEqual(sheet.max_row, cross_header + 3)

    def test_in_place_save_leaves_no_temporary_file(self):
        source = self.path("图斑.xlsx")
        make_openpyxl(source)
        done = run("--zone-totals", "--cross-tab", source)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(os.listdir(self.folder), ["图斑.xlsx"])
        self.assertGreater(openpyxl.load_workbook(source).active.max_row, len(ROWS) + 10)

    def test_preview_writes_nothing_and_a_second_run_warns_of_the_first_block(self):
        source = self.path("图斑.xlsx")
        make_openpyxl(source)
        before = read_bytes(source)
        done = run("--zone-totals", "--dry-run", source)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(read_bytes(source), before)
        self.assertEqual(os.listdir(self.folder), ["图斑.xlsx"])
        self.assertIn("按区域统计 (第 18-21 行)\n", done.stdout)
        self.assertIn("\n001  16\n", done.stdout)
        self.assertIn("没有写入任何文件", done.stdout)

        # CSV on standard output, every message on standard error, the file untouched.
        done = run("--zone-totals", "--cross-tab", "--format", "csv", source)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(read_bytes(source), before)
        self.assertIn("统计完毕", done.stderr)
        records = list(csv.reader(io.StringIO(done.stdout, newline="")))
        self.assertEqual(records[:2], [["按区域统计"], ["001", "16"]])
        self.assertIn(["宗数和面积统计"], records)

        self.assertEqual(run("--zone-totals", source).stderr, "")
        done = run("--zone-totals", source)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("第 18-21 行是先前一次统计写入的汇总结果", done.stderr)
        self.assertIn("统计完毕", done.stdout)

    def test_exit_codes_messages_and_nothing_written_when_stopped(self):
        source, result = self.path("in.xlsx"), self.path("out.xlsx")
        make_openpyxl(source)
        with open(self.path("text.xlsx"), "w") as text:
            text.write("zone,class,area\n")
        cases = [
            ([source], 1, "没有选择统计汇总工作内容!\n请至少选择一项统计:\n  --land-use"),
            (["--land-use", "2008-levl3", source], 2, "是不是 2008-level3?"),
            (["--land-use", "一级类", source], 2, "对应多种方式"),
            (["--lan-use", "2008-level3", source], 2, "可能是要用 --land-use。"),
            (["--land-use", "2010", source], 2, "选项 --land-use 的取值无效: 2010 不是可选的取值"),
            (["--master-plan", "1999", source], 2, "选项 --master-plan 的取值无效"),
            (["--convert-zone-codes", "--cross-tab", source], 2, "只能与 --land-use 一起使用"),
            (["--bogus", source], 2, "无法识别的参数: --bogus"),
            (["--cross-tab"], 2, "缺少工作簿"),
            (["--cross-tab", self.path("missing.xlsx")], 3, "无法读取工作簿: "),
            (["--cross-tab", self.path("text.xlsx")], 3, "无法读取工作簿: "),
            (["--cross-tab", "--sheet", "无此表", source], 3, "无此表"),
            (["--split-k", "--cross-tab", source], 2,
             "--split-k 只能与 --land-use 或 --classification 一起使用"),
            (["--classification", self.path("bad.tsv"), source], 3, "bad.tsv: 第 2 行"),
            (["--classification", self.path("none.tsv"), source], 3, "无法读取分类表: "),
            (["--land-use", "survey3-level1", "--deduction-column", "2", source], 1, "第 1 行"),
            # A worksheet's column options are usage errors, named with their value at once.
            (["--zone-totals", "--zone-column", "0", source], 2, '--zone-column 的值 "0"'),
            (["--zone-totals", "--area-column", "甲", source], 2, '--area-column 的值 "甲"'),
            (["--cross-tab", "--zone-column", "20000", source], 2, "1 到 16384"),
            (["--land-use", "2008-level1", "--class-column", "DLBM", source], 2, "地块类别所在列号无效"),
            (["--land-use", "2008-level1", "--deduction-column", "KCXS", source], 2, "田坎系数"),
        ]
        with open(self.path("bad.tsv"), "w", encoding="utf-8") as table:
            table.write("011\t耕地\n121K 园地\n")
        for args, code, message in cases:
            with self.subTest(args=args):
                done = run(*args[:-1], "-o", result, args[-1])
                self.assertEqual(done.returncode, code, done.stderr)
                self.assertIn(message, done.stderr)
                self.assertFalse(os.path.exists(result))
                if code == 2:
                    self.assertNotIn("确认", done.stdout)
        help_text = run("--help")
        self.assertEqual(help_text.returncode, 0)
        self.assertRegex(help_text.stdout, r"\n +survey-level1 +统计到一级类")
        self.assertRegex(run("--version").stdout, r"^quilmark \d+\.\d+\.\d+\n$")

    def test_csv_files_chinese_method_names_and_column_letters(self):
        source = self.path("in.xlsx")
        make_openpyxl(source)
        # The same table by the method's name and its caption, and by column numbers and letters;
        # into a file with the byte-order mark Chinese spreadsheets look for, or in GBK.
        cases = [  # (arguments, file, its encoding, leading bytes)
            (["--land-use", "survey-level1", "--format", "csv"], "a.csv", "utf-8-sig", b"\xef\xbb\xbf"),
            (["--land-use", "统计到一级类", "--area-column", "c"], "b.CSV", "utf-8-sig", b"\xef\xbb\xbf"),
            (["--land-use", "survey-level1", "--encoding", "gbk"], "c.csv", "gbk", "土".encode("gbk")),
        ]
        tables = []
        for args, name, encoding, lead in cases:
            with self.subTest(args=args):
                result = self.path(name)
                done = run(*args, "-o", result, source)
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertIn("汇总结果已以 CSV 写入: " + result, done.stdout)
                data = read_bytes(result)
                self.assertTrue(data.startswith(lead), data[:8])
                tables.append(data.decode(encoding))
        self.assertEqual(tables[0], tables[1])
        self.assertEqual(tables[0], tables[2])
        # A name GBK has no character for is refused, not written wrong.
        with open(self.path("名称.csv"), "w", encoding="utf-8") as names:
            names.write("001,\U0002A6A5镇\n002,乙\n003,丙\n")
        done = run("--zone-totals", "--zone-names", self.path("名称.csv"), "--encoding", "gbk",
                   "-o", self.path("d.csv"), source)
        self.assertEqual(done.returncode, 3, done.stderr)
        self.assertIn("\U0002A6A5", done.stderr)
        self.assertFalse(os.path.exists(self.path("d.csv")))
        # A copy's completion names the copy.
        done = run("--zone-totals", "-o", self.path("结果.xlsx"), source)
        self.assertIn("结果保存在 " + self.path("结果.xlsx"), done.stdout)

    def test_check_alone_and_faults_that_stop_a_run(self):
        source = self.path("in.xlsx")
        workbook = openpyxl.Workbook()
        sheet = workbook.active
        for row in [("ZLDWDM", "DLBM", "TBMJ"), *ROWS, ("002", "111", -0.5), ("合计", None, 27.5)]:
            sheet.append(list(row))
        workbook.save(source)
        before = read_bytes(source)
        # The check alone: the findings on standard output, exit 1 for the negative area.
        done = run("--check", source)
        self.assertEqual(done.returncode, 1, done.stderr)
        self.assertIn("负面积", done.stdout)
        self.assertIn("第 9 行", done.stdout)
        self.assertIn("非图斑行", done.stdout)
        self.assertIn("数据检查完毕: 1 个错误, 1 个警告。", done.stdout)
        table = list(csv.reader(io.StringIO(run("--check", "--format", "csv", source).stdout)))
        self.assertEqual(table[:2], [["数据检查"],
                                     ["检查项", "严重程度", "数量", "最先的图斑", "说明和处理办法"]])
        # A summary stops before anything is written; accepted, the warnings precede the end.
        done = run("--zone-totals", source)
        self.assertEqual(done.returncode, 1, done.stderr)
        self.assertIn("数据检查发现错误", done.stderr)
        self.assertEqual(read_bytes(source), before)
        result = self.path("out.xlsx")
        done = run("--zone-totals", "--accept-negative", "-o", result, source)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("第 1 行 (标题)、第 10 行 (合计)", done.stderr)
        totals = {row[0]: row[1] for row in openpyxl.load_workbook(result).active.iter_rows(
            min_row=21, values_only=True) if row[0] in ("001", "002", "003", "合计")}
        self.assertEqual(totals, {"001": 16.0, "002": 4.5, "003": 7.0})
        # A column that holds nothing to sum is the command line's usage error.
        done = run("--check", "--area-column", "4", source)
        self.assertEqual(done.returncode, 1, done.stderr)  # the check lists it, as an error
        self.assertIn("面积列无数字", done.stdout)
        done = run("--zone-totals", "--area-column", "4", source)
        self.assertEqual(done.returncode, 2, done.stderr)
        self.assertIn("面积列无数字", done.stderr)

    def test_refuses_targets_it_may_not_write(self):
        source, result = self.path("in.xlsx"), self.path("out.xlsx")
        lock = ",root,vm,08.12.2026 00:36,file:///root/.config/libreoffice/4;"
        cases = [  # (files to make beside the workbook, arguments, fragments of the message)
            ({".~lock.in.xlsx#": lock}, [source], ["root", "vm", "08.12.2026 00:36", "--live"]),
            ({".~lock.in.xlsx#": "张三\\, 规划科,zs,pc-7,01.01.2020 08:00,x;"}, [source],
             ["张三, 规划科 (zs)", "pc-7"]),
            ({".~lock.in.xlsx#": ""}, [source], ["锁定文件", "遗留", "--live"]),
            ({"out.xlsx": None, ".~lock.out.xlsx#": lock}, ["-o", result, source], ["root"]),
            ({"read-only": None}, [source], ["只读", "r--r--r--", "chmod u+w"]),
            # Another user's file: only its owner can change its bits.
            ({"read-only of nobody": None}, [source], ["只读", "nobody", "所有者", "!chmod"]),
            ({}, ["-o", "", source], ["文件名是空的"]),
            ({}, ["-o", self.path("out.ods"), source], [".ods", ".xlsx"]),
            ({}, ["-o", self.path("out"), source], ["没有扩展名"]),
            ({}, ["-o", self.path("out.xlsm"), source], [".xlsx 文件"]),
            ({}, ["-o", self.folder, source], ["扩展名"]),
            ({"out.xlsx/": None}, ["-o", result, source], ["文件夹"]),
            ({}, ["-o", self.path("missing/out.xlsx"), source], ["不存在"]),
        ]
        for files, args, fragments in cases:
            if "read-only of nobody" in files and os.geteuid() != 0:
                continue  # only root gives a file away
            with self.subTest(files=files, args=args):
                shutil.rmtree(self.folder)
                os.mkdir(self.folder)
                make_openpyxl(source)
                for name, content in files.items():
                    if name.startswith("read-only"):
                        os.chmod(source, 0o444)
                        if name.endswith("nobody"):
                            os.chown(source, 65534, -1)
                    elif name.endswith("/"):
                        os.mkdir(self.path(name))
                    elif content is None:
                        make_openpyxl(self.path(name))
                    else:
                        with open(self.path(name), "w") as f:
                            f.write(content)
                before = {name: read_bytes(self.path(name)) for name in os.listdir(self.folder)
                          if os.path.isfile(self.path(name))}
                done = run("--cross-tab", *args)
                self.assertEqual(done.returncode, 3, done.stdout + done.stderr)
                self.assertIn("无法保存工作簿: ", done.stderr)
                for fragment in fragments:
                    if fragment.startswith("!"):
                        self.assertNotIn(fragment[1:], done.stderr)
                    else:
                        self.assertIn(fragment, done.stderr)
                self.assertNotIn("确认", done.stdout)  # refused before the run began
                after = {name: read_bytes(self.path(name)) for name in os.listdir(self.folder)
                         if os.path.isfile(self.path(name))}
                self.assertEqual(after, before)

    def test_a_folder_that_takes_no_file_is_named_before_the_run(self):
        # A read-only mount binds root too: the save could make no temporary file there, so the
        # run is refused before it reads anything, not after the whole run.
        source = self.path("in.xlsx")
        make_openpyxl(source)
        if subprocess.run(["unshare", "--mount", "true"], capture_output=True).returncode != 0:
            self.skipTest("no mount namespace can be made here")
        script = 'mount --bind -o ro "$1" "$1" && shift && exec "$@"'
        for args, fragment in [([source], "只读的文件系统"),
                               (["-o", self.path("out.xlsx"), source], "无法在文件夹 " + self.folder)]:
            with self.subTest(args=args):
                done = subprocess.run(["unshare", "--mount", "sh", "-c", script, "sh",
                                       self.folder, QUILMARK, "--cross-tab", *args],
                                      capture_output=True)
                stdout, stderr = done.stdout.decode(), done.stderr.decode()
                self.assertEqual(done.returncode, 3, stdout + stderr)
                self.assertIn(fragment, stderr)
                self.assertNotIn("确认", stdout)

    def test_output_checks_for_every_input_kind(self):
        source, result = self.path("in.xlsx"), self.path("out.xlsx")
        layer = os.path.join(os.path.dirname(__file__), "..", "data", "gis", "patches.csv")
        lock = ",root,vm,08.12.2026 00:36,file:///root/.config/libreoffice/4;"
        refused = [  # (arguments, fragment of the message): exit 3, nothing written
            (["--format", "csv", "-o", "", source], "文件名是空的"),
            (["--dry-run", "-o", "", source], "文件名是空的"),
            (["--live", "-o", ""], "文件名是空的"),
            (["-o", "", layer], "文件名是空的"),
            (["-o", self.path("out.ods"), layer], ".ods"),
            (["-o", self.path("out.xlsm"), layer], ".xlsm"),
            (["-o", result, layer], "root"),  # result open in the office
        ]
        make_openpyxl(source)
        make_openpyxl(result)
        with open(self.path(".~lock.out.xlsx#"), "w") as f:
            f.write(lock)
        before = {name: read_bytes(self.path(name)) for name in os.listdir(self.folder)}
        for args, fragment in refused:
            with self.subTest(args=args):
                done = run("--cross-tab", *args)
                if "--live" in args and done.returncode == 2:
                    continue  # a build without the live office
                self.assertEqual(done.returncode, 3, done.stdout + done.stderr)
                self.assertIn("无法保存工作簿: ", done.stderr)
                self.assertIn(fragment, done.stderr)
                self.assertEqual(
                    {name: read_bytes(self.path(name)) for name in os.listdir(self.folder)}, before)
        # A preview or CSV writes nothing, so an open or read-only workbook is read for it.
        shutil.copy(source, self.path("open.xlsx"))
        os.rename(self.path(".~lock.out.xlsx#"), self.path(".~lock.open.xlsx#"))
        os.chmod(source, 0o444)
        for target in (source, self.path("open.xlsx")):
            for mode in (["--format", "csv"], ["--dry-run"]):
                with self.subTest(target=target, mode=mode):
                    done = run("--cross-tab", *mode, target)
                    self.assertEqual(done.returncode, 0, done.stderr)
                    self.assertIn("001", done.stdout)
        os.remove(result)
        done = run("--cross-tab", "-o", result, layer)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertTrue(os.path.exists(result))

    def test_output_names_and_modes(self):
        source = self.path("in.xlsx")
        old_mask = os.umask(0o022)
        try:
            make_openpyxl(source)
            os.chmod(source, 0o640)
            if os.geteuid() == 0:
                os.chown(source, 1234, 5678)  # root saving a user's file leaves it theirs
            self.assertEqual(run("--cross-tab", source).returncode, 0)
            kept = os.stat(source)
            self.assertEqual(kept.st_mode & 0o7777, 0o640)  # replaced in place
            if os.geteuid() == 0:
                self.assertEqual((kept.st_uid, kept.st_gid), (1234, 5678))
            done = run("--cross-tab", "-o", self.path("OUT.XLSX"), source)
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertEqual(os.stat(self.path("OUT.XLSX")).st_mode & 0o7777, 0o644)
        finally:
            os.umask(old_mask)

    def test_new_methods_on_the_third_survey_example(self):
        example = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "三调图斑示例.xlsx")
        methods = ["survey3-level1", "survey3-level2", "survey3-major", "survey3-ownership",
                   "2017-level1", "2017-level2", "plan2023-level1", "plan2023-level2",
                   "plan2020-level1", "plan2020-level2"]
        for method in methods:
            with self.subTest(method):
                result = self.path("out.xlsx")
                column = "5" if method == "survey3-ownership" else "2"
                done = run("--land-use", method, "--class-column", column, "--unit", "mu",
                           "--decimals", "1", "--totals", "-o", result, example)
                self.assertEqual(done.returncode, 0, done.stderr)
                if method.startswith("plan"):  # third-survey codes: the family that knows them
                    self.assertIn("三调工作分类", done.stderr)
                sheet = openpyxl.load_workbook(result).active
                # The 合计 row's last cell: the whole area in 亩, 123455.05 m2 x 0.0015.
                last = [cell.value for cell in sheet[sheet.max_row] if cell.value is not None]
                self.assertEqual(last[0], "合计")
                self.assertAlmostEqual(last[-1], 185.2)
        table = self.path("我的分类.tsv")
        with open(table, "w", encoding="gbk") as f:
            f.write("# 自定义\n01*\t耕地\n03*\t林地\n")
        done = run("--classification", table, "-o", self.path("own.xlsx"), example)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("0404: 1 个图斑", done.stderr)

    def test_unit_names_the_corner_and_decimals_show_their_zeros(self):
        source, result = self.path("in.xlsx"), self.path("out.xlsx")
        make_openpyxl(source)
        header = len(ROWS) + 11  # the zone totals' header row
        cases = [
            (["--unit", "m2", "--decimals", "2"], "单位: 平方米", "0.00", "0"),
            (["--unit", "ha"], "单位: 公顷", "General", "General"),
            (["--decimals", "1"], None, "0.0", "0"),
            ([], None, "General", "General"),
        ]
        for args, corner, area_format, count_format in cases:
            with self.subTest(args=args):
                done = run("--zone-totals", "--cross-tab", *args, "-o", result, source)
                self.assertEqual(done.returncode, 0, done.stderr)
                sheet = openpyxl.load_workbook(result).active
                self.assertEqual(sheet.cell(header, 1).value, corner)
                self.assertEqual(sheet.cell(header + 1, 2).number_format, area_format)
                # The cross-tab below: its class titles' row, then 总宗数 and 总面积 by zone.
                titles = header + 3 + 10
                self.assertEqual(sheet.cell(titles, 1).value, corner)
                self.assertEqual(sheet.cell(titles + 2, 2).number_format, count_format)
                self.assertEqual(sheet.cell(titles + 2, 3).number_format, area_format)
                if not args:  # nothing to show: the styles are the input's, byte for byte
                    with zipfile.ZipFile(source) as a, zipfile.ZipFile(result) as b:
                        self.assertEqual(a.read("xl/styles.xml"), b.read("xl/styles.xml"))

    def test_an_existing_result_is_replaced_at_a_terminal_only_when_told(self):
        source = self.path("in.xlsx")
        make_openpyxl(source)
        layer = self.path("图斑.csv")
        shutil.copy(os.path.join(os.path.dirname(__file__), "..", "data", "gis", "patches.csv"),
                    layer)
        cases = [(["-o", self.path("out.xlsx"), source], self.path("out.xlsx")),
                 (["--zone-column", "ZLDWDM", layer], self.path("图斑-汇总.xlsx"))]
        master, terminal = pty.openpty()
        try:
            for args, result in cases:
                with self.subTest(result=result):
                    with open(result, "wb") as f:
                        f.write(b"kept")
                    # Asked; no (or just Enter) keeps it.
                    for answer in (b"n\n", b"\n"):
                        os.write(master, answer)
                        done = run("--zone-totals", *args, stdin=terminal)
                        self.assertEqual(done.returncode, 1, done.stderr)
                        self.assertIn("结果文件已存在: " + result + "\n是否替换? (y/N)", done.stderr)
                        self.assertIn("--overwrite", done.stderr)
                        self.assertEqual(read_bytes(result), b"kept")
                    for extra, given, answer in (("-y", terminal, b""),
                                                 ("--zone-totals", terminal, b"y\n"),
                                                 ("--zone-totals", subprocess.DEVNULL, b"")):
                        with open(result, "wb") as f:
                            f.write(b"kept")
                        if answer:
                            os.write(master, answer)
                        done = run("--zone-totals", extra, *args, stdin=given)
                        self.assertEqual(done.returncode, 0, done.stderr)
                        self.assertNotEqual(read_bytes(result), b"kept")
        finally:
            os.close(master)
            os.close(terminal)

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
