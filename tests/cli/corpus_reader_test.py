#!/usr/bin/python3
"""Every valid workbook of the corpus, run through quilmark and read back by an independent reader
(openpyxl): every cell of every sheet holds what it held before, apart from the active sheet's rows
below its data, where the result block goes.

Usage: corpus_reader_test.py QUILMARK CORPUS_FOLDER   (exit 77: no corpus here, skipped)
"""
import glob
import os
import subprocess
import sys
import tempfile
import warnings

import openpyxl


def cells(sheet):
    return {key: cell.value for key, cell in sheet._cells.items() if cell.value is not None}


def main(quilmark, corpus):
    files = sorted(glob.glob(os.path.join(corpus, "valid", "*")))
    if not files:
        print("no corpus at", corpus)
        return 77
    warnings.filterwarnings("ignore")
    checked = failures = 0
    with tempfile.TemporaryDirectory() as folder:
        for path in files:
            # A workbook with macros is written under its own kind of name.
            out = os.path.join(folder, "out.xlsm" if path.lower().endswith(".xlsm") else "out.xlsx")
            try:
                before = openpyxl.load_workbook(path)
            except Exception:
                continue  # this reader cannot open it: nothing to compare against
            if os.path.exists(out):
                os.remove(out)
            done = subprocess.run([quilmark, "--zone-totals", "-o", out, path], capture_output=True)
            if done.returncode != 0:
                continue  # a chart sheet in front, or data down to the last row
            after = openpyxl.load_workbook(out)
            active = before.active.title if before.active is not None else None
            changed = []
            for sheet in before.worksheets:
                old, new = cells(sheet), cells(after[sheet.title])
                last = max((row for row, _ in old), default=0)
                for key, value in old.items():
                    if new.get(key) != value:
                        changed.append((sheet.title, key, value, new.get(key)))
                if sheet.title != active:
                    changed += [(sheet.title, k, None, v) for k, v in new.items() if k not in old]
                else:
                    changed += [(sheet.title, k, None, v) for k, v in new.items()
                                if k not in old and k[0] <= last]
            checked += 1
            if changed:
                failures += 1
                print("CHANGED", os.path.basename(path), changed[:3])
    print(f"{checked} workbooks read back, {failures} with changed cells")
    return 1 if failures or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
