#!/usr/bin/python3
"""What the data check costs: the same land-use plus cross-tab run of Quilmark on a survey-like
patch layer with the check (this build) and without it (a build of the commit before the check,
given as BASELINE), round by round, and `--check` alone. Medians of several runs; wall and CPU
time (all threads); peak memory.

    check_bench.py QUILMARK BASELINE GIS_TOOL CACHE_FOLDER [--rows 1000000] [--runs 5]

The layers are generated once into CACHE_FOLDER by quilmark_gis_tool (as gis_bench.py does) and
reused by later runs. The generated layer has BSM, so the duplicate check reads it.
"""
import argparse
import os

from gis_bench import layers, medians


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("quilmark")
    parser.add_argument("baseline")
    parser.add_argument("tool")
    parser.add_argument("folder")
    parser.add_argument("--rows", default="1000000")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    os.makedirs(args.folder, exist_ok=True)
    print("| patches | layer | what runs | median s | x without check | CPU s | peak MB |")
    print("|---|---|---|---|---|---|---|")
    for rows in [int(r) for r in args.rows.split(",")]:
        for kind, source in layers(args.tool, args.folder, rows).items():
            run = ["--land-use", "survey-level1", "--cross-tab", "--zone-column", "ZLDWDM",
                   "--class-column", "DLBM", "--area-column", "TBMJ", "--format", "csv", source]
            jobs = {
                "without the check (baseline)": [args.baseline] + run,
                "with the check": [args.quilmark] + run,
                "--check alone": [args.quilmark, "--check", "--format", "csv"] + run[:-3] +
                                 [source],
            }
            results = medians(jobs, args.runs)
            base = results["without the check (baseline)"][0]
            for name, (seconds, cpu, peak) in results.items():
                print(f"| {rows:,} | {kind} | {name} | {seconds:.2f} | {seconds / base:.3f} | "
                      f"{cpu:.2f} | {peak:.0f} |", flush=True)


if __name__ == "__main__":
    main()
