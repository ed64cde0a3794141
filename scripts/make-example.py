#!/usr/bin/python3
"""Writes examples/图斑示例.xlsx: a small overlay result as a planner pastes it, one row per patch
with its zone code, land-use class code and area (square metres), no header row (the run reads
row 1 as data). Needs python3-xlsxwriter. The rows are fixed, so the file is the same each time.
"""
import os
import random

import xlsxwriter

ZONES = ["001", "003", "004", "101", "102", "110"]
CLASSES = ["011", "012", "013", "021", "021K", "031", "032", "111", "121K", "122", "204", "317"]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = os.path.join(here, "..", "examples", "图斑示例.xlsx")
    random.seed(2009)
    workbook = xlsxwriter.Workbook(path)
    # A fixed creation date keeps the file identical from one run to the next.
    workbook.set_properties({"created": __import__("datetime").datetime(2024, 1, 5)})
    sheet = workbook.add_worksheet("图斑")
    area_format = workbook.add_format({"num_format": "0.00"})
    sheet.set_column(0, 1, 8)
    sheet.set_column(2, 2, 12)
    for row in range(36):
        sheet.write_string(row, 0, random.choice(ZONES))
        sheet.write_string(row, 1, random.choice(CLASSES))
        sheet.write_number(row, 2, round(random.uniform(35, 9800), 2), area_format)
    workbook.close()
    print(os.path.normpath(path))


if __name__ == "__main__":
    main()
