#!/usr/bin/python3
"""The GIS sources side by side: a land-use plus cross-tab run of Quilmark on a survey-like patch
layer, next to GDAL's bare loop over the same three fields (the floor of any reader going
through GDAL), the same run over the GeoPackage split into three parts (read as one layer), and
what a GIS user runs today: ogrinfo with an SQLite-dialect GROUP BY, and for
the GeoPackage sqlite3's own GROUP BY. Medians of several runs, taken round by round; wall and
CPU time (all threads), the latter less swayed by other work on a shared machine; peak memory.

    gis_bench.py QUILMARK GIS_TOOL CACHE_FOLDER [--rows 100000,1000000] [--runs 5]
                 [--baseline OTHER_QUILMARK]

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
    """Wall seconds, CPU seconds (user + system, all threads) and peak resident memory (MB) of
    one run, its output thrown away."""
    start = time.perf_counter()
    with open(os.devnull, "wb") as null:
        process = subprocess.Popen(command, stdout=null, stderr=null)
        _, status, usage = os.wait4(process.pid, 0)
    seconds = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(f"failed: {' '.join(command)}")
    return seconds, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024


def medians(jobs, rounds):
    """Each job (name -> command) measured `rounds` times, round by round so that a machine shared
    with other work loads every job alike, after one run that warms the page cache and the
    programs' own files: name -> (median wall s, median CPU s, peak MB)."""
    for command in jobs.values():
        measure(command)
    runs = {name: [] for name in jobs}
    for _ in range(rounds):
        for name, command in jobs.items():
            runs[name].append(measure(command))
    return {name: (statistics.median(r[0] for r in taken),
                   statistics.median(r[1] for r in taken), max(r[2] for r in taken))
            for name, taken in runs.items()}


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


def parts(folder, rows, gpkg, count=3):
    """The GeoPackage split into `count` GeoPackages of consecutive features, made once."""
    paths = []
    for i in range(count):
        path = os.path.join(folder, f"patches-{rows}-part{i + 1}of{count}.gpkg")
        if not os.path.exists(path):
            low, high = rows * i // count, rows * (i + 1) // count
            unfinished = path[:-len(".gpkg")] + "-unfinished.gpkg"
            subprocess.run(["ogr2ogr", "-f", "GPKG", "-nln", "patches", "-where",
                            f"fid > {low} AND fid <= {high}", unfinished, gpkg], check=True)
            os.rename(unfinished, path)
        paths.append(path)
    return paths


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("quilmark")
    parser.add_argument("tool")
    parser.add_argument("folder")
    parser.add_argument("--rows", default="100000,1000000")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--baseline", help="another quilmark to measure in the same rounds, such "
                        "as a build of an earlier commit")
    args = parser.parse_args()
    os.makedirs(args.folder, exist_ok=True)

    print("| patches | layer | what runs | median s | x bare loop | CPU s | CPU x bare loop "
          "| peak MB |")
    print("|---|---|---|---|---|---|---|---|")
    for rows in [int(r) for r in args.rows.split(",")]:
        for kind, source in layers(args.tool, args.folder, rows).items():
            run = ["--land-use", "2008-level1", "--cross-tab", "--zone-column", "ZLDWDM",
                   "--class-column", "DLBM", "--area-column", "TBMJ", "--format", "csv", source]
            jobs = {
                "Quilmark (land-use + cross-tab)": [args.quilmark] + run,
                "GDAL bare loop, three fields": [args.tool, "floor", source, "ZLDWDM", "DLBM",
                                                 "TBMJ"],
                "ogrinfo -dialect sqlite GROUP BY": ["ogrinfo", "-ro", "-q", "-dialect", "sqlite",
                                                     "-sql", SQL, source],
            }
            if args.baseline:
                jobs["Quilmark baseline"] = [args.baseline] + run
            if kind == "GeoPackage":
                jobs["sqlite3 GROUP BY"] = ["sqlite3", source, SQL]
                jobs["Quilmark, the same in 3 parts"] = \
                    [args.quilmark] + run[:-1] + parts(args.folder, rows, source)
            results = medians(jobs, args.runs)
            floor, floor_cpu, _ = results["GDAL bare loop, three fields"]
            for name, (seconds, cpu, peak) in results.items():
                print(f"| {rows:,} | {kind} | {name} | {seconds:.2f} | {seconds / floor:.2f} | "
                      f"{cpu:.2f} | {cpu / floor_cpu:.2f} | {peak:.0f} |", flush=True)


if __name__ == "__main__":
    main()
