#!/usr/bin/python3
"""The GIS sources side by side: a land-use plus cross-tab run of Quilmark on a survey-like patch
layer, next to GDAL's bare loop over the same three fields (the floor of any reader going
through GDAL) and what a GIS user runs today: ogrinfo with an SQLite-dialect GROUP BY, and for
the GeoPackage sqlite3's own GROUP BY. Medians of several runs; peak memory of each process.

    gis_bench.py QUILMARK GIS_TOOL CACHE_FOLDER [--rows 100000,1000000] [--runs 5]

The layers are generated once into CACHE_FOLDER (a GeoPackage by quilmark_gis_tool, the
shapefile from it by ogr2ogr) and reused by later runs.
"""
import argparse
import os
import statistics
import subprocess
import time

SQL = "SELECT ZLDWDM, DLBM, COUNT(*), SUM(TBMJ) FROM patches GROUP BY ZLDWDM, DLBM"


def measure(command):
    """Wall seconds and peak resident memory (MB) of one run, its output thrown away."""
    start = time.perf_counter()
    with open(os.devnull, "wb") as null:
        process = subprocess.Popen(command, stdout=null, stderr=null)
        _, status, usage = os.wait4(process.pid, 0)
    seconds = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(f"failed: {' '.join(command)}")
    return seconds, usage.ru_maxrss / 1024


def layers(tool, folder, rows):
    gpkg = os.path.join(folder, f"patches-{rows}.gpkg")
    if not os.path.exists(gpkg):
        subprocess.run([tool, "generate", str(rows), gpkg + ".part"], check=True)
        os.rename(gpkg + ".part", gpkg)
    shp_folder = os.path.join(folder, f"shp-{rows}")
    shp = os.path.join(shp_folder, "patches.shp")
    if not os.path.exists(shp):
        os.makedirs(shp_folder, exist_ok=True)
        subprocess.run(["ogr2ogr", "-f", "ESRI Shapefile", "-lco", "ENCODING=UTF-8", shp, gpkg],
                       check=True)
    return {"GeoPackage": gpkg, "shapefile": shp}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("quilmark")
    parser.add_argument("tool")
    parser.add_argument("folder")
    parser.add_argument("--rows", default="100000,1000000")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    os.makedirs(args.folder, exist_ok=True)

    print("| patches | layer | what runs | median s | x bare loop | peak MB |")
    print("|---|---|---|---|---|---|")
    for rows in [int(r) for r in args.rows.split(",")]:
        for kind, source in layers(args.tool, args.folder, rows).items():
            jobs = {
                "Quilmark (land-use + cross-tab)":
                    [args.quilmark, "--land-use", "2008-level1", "--cross-tab", "--zone-column",
                     "ZLDWDM", "--class-column", "DLBM", "--area-column", "TBMJ", "--format",
                     "csv", source],
                "GDAL bare loop, three fields": [args.tool, "floor", source, "ZLDWDM", "DLBM",
                                                 "TBMJ"],
                "ogrinfo -dialect sqlite GROUP BY": ["ogrinfo", "-ro", "-q", "-dialect", "sqlite",
                                                     "-sql", SQL, source],
            }
            if kind == "GeoPackage":
                jobs["sqlite3 GROUP BY"] = ["sqlite3", source, SQL]
            results = {}
            for name, command in jobs.items():
                measure(command)  # warms the page cache and the program's own files
                runs = [measure(command) for _ in range(args.runs)]
                results[name] = (statistics.median(r[0] for r in runs), max(r[1] for r in runs))
            floor = results["GDAL bare loop, three fields"][0]
            for name, (seconds, peak) in results.items():
                print(f"| {rows:,} | {kind} | {name} | {seconds:.2f} | {seconds / floor:.2f} | "
                      f"{peak:.0f} |", flush=True)


if __name__ == "__main__":
    main()
