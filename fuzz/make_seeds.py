#!/usr/bin/python3
"""Builds the seed folders of the fuzz targets from folders of workbooks.

Usage: make_seeds.py OUT_DIR WORKBOOK_DIR...

OUT_DIR/package gets the small workbooks as they are, OUT_DIR/sheet_xml the worksheet XML of
every workbook (sheets with shared formulas among them). Both are emptied first. Seeds larger
than the fuzzers' input limit are left out: a cut package loses its central directory.
"""
import hashlib
import os
import shutil
import sys
import zipfile

MAX_SEED = 64 * 1024


def put(folder, data):
    with open(os.path.join(folder, hashlib.sha1(data).hexdigest()), "wb") as out:
        out.write(data)


def main():
    out, sources = sys.argv[1], sys.argv[2:]
    folders = {name: os.path.join(out, name) for name in ("package", "sheet_xml")}
    for folder in folders.values():
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
    shared = 0
    for source in sources:
        if not os.path.isdir(source):
            continue
        for name in sorted(os.listdir(source)):
            path = os.path.join(source, name)
            if not name.lower().endswith((".xlsx", ".xlsm")) or not os.path.isfile(path):
                continue
            with open(path, "rb") as f:
                data = f.read()
            if len(data) <= MAX_SEED:
                put(folders["package"], data)
            try:
                with zipfile.ZipFile(path) as package:
                    for entry in package.infolist():
                        if (entry.filename.startswith("xl/worksheets/") and
                                entry.filename.endswith(".xml") and entry.file_size <= MAX_SEED):
                            sheet = package.read(entry)
                            shared += b't="shared"' in sheet
                            put(folders["sheet_xml"], sheet)
            except (zipfile.BadZipFile, OSError, RuntimeError, NotImplementedError):
                pass
    counts = {name: len(os.listdir(folder)) for name, folder in folders.items()}
    print(f"seeds: {counts['package']} packages, {counts['sheet_xml']} sheets "
          f"({shared} with shared formulas)")
    if counts["package"] == 0 or counts["sheet_xml"] == 0 or shared == 0:
        sys.exit("make_seeds.py: too few seeds (is the workbook folder right?)")


if __name__ == "__main__":
    main()
