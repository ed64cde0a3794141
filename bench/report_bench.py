#!/usr/bin/python3
"""The survey reports against one land-use run on the same generated third-survey layer: all six
tables by township (the default) and by village (one pass over the patches serves them all) next
to `--land-use survey3-level1`, each writing a new workbook. Medians of several runs taken round by round; wall
and CPU time (all threads) and peak memory; the goal is the reports within 1.5x the land-use run.

    report_bench.py QUILMARK CACHE_FOLDER [--rows 1000000] [--runs 5] [--baseline OTHER_QUILMARK]

--baseline measures another build's three runs in the same rounds, each ratio against the
land-use run of its own build.

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
    parser.add_argument("--baseline", help="another quilmark to measure in the same rounds")
    args = parser.parse_args()
    os.makedirs(args.folder, exist_ok=True)
    print("| patches | what runs | median s | CPU s | peak MB | x land-use |")
    print("|---|---|---|---|---|---|")
    for rows in [int(r) for r in args.rows.split(",")]:
        gpkg = layer(args.folder, rows)
        out = os.path.join(args.folder, "out.xlsx")
        runs = {
            "--land-use survey3-level1": ["--land-use", "survey3-level1", "--zone-column",
                                          "ZLDWDM", "--class-column", "DLBM", "--area-column",
                                          "TBMJ"],
            "--report all": ["--report", "all"],
            "--report all --level village": ["--report", "all", "--level", "village"],
        }
        builds = {"": args.quilmark}
        if args.baseline:
            builds["baseline "] = args.baseline
        jobs = {(build, name): [quilmark] + run + ["-o", out, gpkg]
                for build, quilmark in builds.items() for name, run in runs.items()}
        times = {job: [] for job in jobs}
        for _ in range(args.runs):
            for job, command in jobs.items():
                times[job].append(measure(command))
        for (build, name), runs_of_job in times.items():
            base = statistics.median(t[0] for t in times[(build, "--land-use survey3-level1")])
            wall = statistics.median(t[0] for t in runs_of_job)
            cpu = statistics.median(t[1] for t in runs_of_job)
            peak = max(t[2] for t in runs_of_job)
            print(f"| {rows:,} | {build}{name} | {wall:.2f} | {cpu:.2f} | {peak:.0f} | "
                  f"{wall / base:.2f} |", flush=True)


if __name__ == "__main__":
    main()
