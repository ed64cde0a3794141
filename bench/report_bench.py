#!/usr/bin/python3
"""The survey reports against one land-use run on the same generated third-survey layer: all six
tables by township (the default) and by village (one pass over the patches serves them all) next
to `--land-use survey3-level1`, each writing a new workbook. Medians of several runs taken round by round; wall
and CPU time (all threads) and peak memory; the goal is the reports within 1.5x the land-use run.

    report_bench.py QUILMARK CACHE_FOLDER [--rows 1000000] [--runs 5]

The layer is generated once into CACHE_FOLDER (tests/report/make_survey3_layer.py, then ogr2ogr
into a GeoPackage) and reused by later runs.
"""
import argparse
import os
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
MAKER = os.path.join(HERE, "..", "tests", "report", "make_survey3_layer.py")
sys.path.insert(0, HERE)
from gis_bench import measure  # noqa: E402  (wall, CPU and peak memory of one run)


def layer(folder, rows):
    gpkg = os.path.join(folder, f"survey3-{rows}.gpkg")
    if os.path.exists(gpkg):
        return gpkg
    csv = os.path.join(folder, f"survey3-{rows}.csv")
    with open(csv, "w", encoding="utf-8") as out:
        subprocess.run([sys.executable, MAKER, str(rows)], stdout=out, check=True)
    with open(csv + "t", "w", encoding="utf-8") as out:
        out.write('"WKT","Integer","String","String","String","Real","Real","Real","String",'
                  '"String","String","String"\n')
    subprocess.run(["ogr2ogr", "-q", "-f", "GPKG", "-a_srs", "EPSG:4547", "-nln", "DLTB",
                    "-nlt", "POLYGON", "-oo", "KEEP_GEOM_COLUMNS=NO", gpkg + ".part.gpkg", csv],
                   check=True)
    os.rename(gpkg + ".part.gpkg", gpkg)
    os.remove(csv)
    return gpkg


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("quilmark")
    parser.add_argument("folder")
    parser.add_argument("--rows", default="1000000")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    os.makedirs(args.folder, exist_ok=True)
    print("| patches | what runs | median s | CPU s | peak MB | x land-use |")
    print("|---|---|---|---|---|---|")
    for rows in [int(r) for r in args.rows.split(",")]:
        gpkg = layer(args.folder, rows)
        out = os.path.join(args.folder, "out.xlsx")
        jobs = {
            "--land-use survey3-level1": [args.quilmark, "--land-use", "survey3-level1",
                                          "--zone-column", "ZLDWDM", "--class-column", "DLBM",
                                          "--area-column", "TBMJ", "-o", out, gpkg],
            "--report all": [args.quilmark, "--report", "all", "-o", out, gpkg],
            "--report all --level village": [args.quilmark, "--report", "all", "--level",
                                             "village", "-o", out, gpkg],
        }
        times = {name: [] for name in jobs}
        for _ in range(args.runs):
            for name, command in jobs.items():
                times[name].append(measure(command))
        base = statistics.median(t[0] for t in times["--land-use survey3-level1"])
        for name, runs in times.items():
            wall = statistics.median(t[0] for t in runs)
            cpu = statistics.median(t[1] for t in runs)
            peak = max(t[2] for t in runs)
            print(f"| {rows:,} | {name} | {wall:.2f} | {cpu:.2f} | {peak:.0f} | "
                  f"{wall / base:.2f} |", flush=True)


if __name__ == "__main__":
    main()
