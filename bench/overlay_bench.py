#!/usr/bin/python3
"""The overlay side by side: Quilmark's --overlay (pieces' ellipsoidal areas adjusted to TBMJ,
summed by planning zone and survey class) next to the same intersection and grouping in PostGIS
SQL (planar areas, no adjustment: less work than Quilmark does) and, where QGIS is installed,
qgis_process's intersection followed by statistics by categories. Before timing, Quilmark's
planar run (--area-from plane, no TBMJ) is compared with PostGIS's sums: the same pieces, cut by
another engine. Medians of several runs, taken round by round; wall and CPU seconds (the CPU of
the programs started here; for PostGIS psql's and the server's, read from the postmaster).

    overlay_bench.py QUILMARK CACHE_FOLDER [--patches 100000] [--zones 2000] [--runs 3]
                     [--no-qgis]

The layers (a grid of 20-vertex patches with a little jitter, 10 m to 60 m across, and a grid of
planning zones offset from it, leaving an edge outside) are generated once into CACHE_FOLDER.
"""
import argparse
import math
import os
import random
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "gis"))
from postgis_server import PostgisServer  # noqa: E402

X0, Y0 = 38500000.0, 2500000.0  # CGCS2000 3-degree zone 38 with its zone number (EPSG:4526)
CLASSES = ["0101", "0103", "0201", "0301", "0404", "0702", "1001", "1101", "1202"]


def square(x, y, side, jitter):
    points = []
    corners = [(x, y), (x + side, y), (x + side, y + side), (x, y + side)]
    for i in range(4):
        (ax, ay), (bx, by) = corners[i], corners[(i + 1) % 4]
        for k in range(5):
            t = k / 5
            points.append((ax + (bx - ax) * t + jitter(), ay + (by - ay) * t + jitter()))
    points.append(points[0])
    return "POLYGON((" + ",".join(f"{px:.3f} {py:.3f}" for px, py in points) + "))"


def write_layer(csv_lines, header, path):
    csv = path + ".csv"
    with open(csv, "w") as out:
        out.write(header + "\n")
        out.writelines(csv_lines)
    subprocess.run(["ogr2ogr", "-f", "GPKG", "-a_srs", "EPSG:4526", "-oo", "KEEP_GEOM_COLUMNS=NO",
                    "-nln", os.path.basename(path).split("-")[0], path + ".part.gpkg", csv],
                   check=True)
    os.rename(path + ".part.gpkg", path + ".gpkg")
    os.remove(csv)


def layers(folder, patches, zones):
    """The patch and zone GeoPackages, made once per size."""
    os.makedirs(folder, exist_ok=True)
    patch_path = os.path.join(folder, f"patches-{patches}")
    zone_path = os.path.join(folder, f"zones-{patches}-{zones}")
    side = 40.0
    columns = int(math.sqrt(patches))
    rows = (patches + columns - 1) // columns
    rng = random.Random(35)
    if not os.path.exists(patch_path + ".gpkg"):
        lines = []
        for i in range(patches):
            x, y = X0 + (i % columns) * side, Y0 + (i // columns) * side
            wkt = square(x, y, side, lambda: rng.uniform(-0.3, 0.3))
            lines.append(f'"{wkt}",{rng.choice(CLASSES)},{1000 + i % 97},{side * side:.2f}\n')
        write_layer(lines, "WKT,DLBM,ZLDWDM,TBMJ", patch_path)
    if not os.path.exists(zone_path + ".gpkg"):
        per_side = int(math.ceil(math.sqrt(zones)))
        width = columns * side * 0.95 / per_side
        height = rows * side * 0.95 / per_side
        lines = []
        for i in range(zones):
            x = X0 + 7.3 + (i % per_side) * width
            y = Y0 + 5.1 + (i // per_side) * height
            wkt = (f"POLYGON(({x:.3f} {y:.3f},{x + width:.3f} {y:.3f},{x + width:.3f} "
                   f"{y + height:.3f},{x:.3f} {y + height:.3f},{x:.3f} {y:.3f}))")
            lines.append(f'"{wkt}",Z{i % 40:02d}\n')
        write_layer(lines, "WKT,YDYH", zone_path)
    return patch_path + ".gpkg", zone_path + ".gpkg"


def server_cpu(server):
    """CPU seconds the server has used, its finished backends and parallel workers included (the
    postmaster reaps them, so their time is in its children's)."""
    if server is None:
        return 0.0
    with open(os.path.join(server.folder, "data", "postmaster.pid")) as pid_file:
        pid = pid_file.readline().strip()
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return sum(int(value) for value in fields[11:15]) / os.sysconf("SC_CLK_TCK")


def measure(command, env=None, server=None):
    before = server_cpu(server)
    start = time.perf_counter()
    with open(os.devnull, "wb") as null:
        process = subprocess.Popen(command, stdout=null, stderr=null, env=env)
        _, status, usage = os.wait4(process.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(f"failed: {' '.join(command)}")
    seconds = time.perf_counter() - start
    if server is not None:
        time.sleep(0.5)  # the postmaster reaps the finished backend a moment later
    return seconds, usage.ru_utime + usage.ru_stime + server_cpu(server) - before


def psql(server):
    settings = dict(part.split("=", 1) for part in server.connection[3:].split())
    return ["psql", "-X", "-q", "-h", settings["host"], "-p", settings["port"],
            "-U", settings["user"], "-d", settings["dbname"], "-A", "-t", "-F", ","]


SQL = ("SELECT z.ydyh, p.dlbm, SUM(ST_Area(ST_Intersection(p.geom, z.geom))) FROM patches p "
       "JOIN zones z ON ST_Intersects(p.geom, z.geom) GROUP BY 1, 2 ORDER BY 1, 2")


def quilmark_sums(quilmark, patches, zones):
    done = subprocess.run([quilmark, "--overlay", zones + ":YDYH", "--overlay-inside",
                           "--zone-column", "YDYH", "--class-column", "DLBM", "--cross-tab",
                           "--area-from", "plane", "--format", "csv", patches],
                          capture_output=True, text=True, check=True)
    return done.stdout


def compare(quilmark_csv, postgis_rows):
    """Quilmark's cross-tab areas against PostGIS's sums, by zone and class."""
    expected = {}
    for line in postgis_rows.splitlines():
        zone, klass, area = line.split(",")
        expected[(zone, klass)] = float(area)
    lines = [line.split(",") for line in quilmark_csv.splitlines() if line]
    header = next(line for line in lines if line and line[0] in ("YDYH", "区域"))
    classes_row = lines[lines.index(header) - 1]
    worst, compared = 0.0, 0
    for line in lines[lines.index(header) + 1:]:
        if len(line) < 3 or not line[0].startswith("Z"):
            continue
        for column in range(3, len(line), 2):
            klass = classes_row[column]
            got = float(line[column + 1] or 0)
            want = expected.get((line[0], klass), 0.0)
            worst = max(worst, abs(got - want) / max(want, 1.0))
            compared += 1
    return worst, compared


def qgis_chain(qgis, patches, zones, folder):
    """What a QGIS user runs: the intersection, each piece's area, the sums by two categories."""
    pieces = os.path.join(folder, "qgis-pieces.gpkg")
    areas = os.path.join(folder, "qgis-areas.gpkg")
    return (f"rm -f {pieces} {areas}; {qgis} run native:intersection --INPUT={patches} "
            f"--OVERLAY={zones} --OUTPUT={pieces} && {qgis} run native:fieldcalculator "
            f"--INPUT={pieces} --FIELD_NAME=MJ --FIELD_TYPE=0 --FIELD_LENGTH=20 "
            f"--FIELD_PRECISION=4 --FORMULA='area($geometry)' --OUTPUT={areas} && {qgis} run "
            f"qgis:statisticsbycategories --INPUT={areas} --VALUES_FIELD_NAME=MJ "
            f"--CATEGORIES_FIELD_NAME=YDYH --CATEGORIES_FIELD_NAME=DLBM "
            f"--OUTPUT={areas}.csv")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("quilmark")
    parser.add_argument("cache")
    parser.add_argument("--patches", type=int, default=100000)
    parser.add_argument("--zones", type=int, default=2000)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--no-qgis", action="store_true", help="leave QGIS out (large layers)")
    args = parser.parse_args()
    patches, zones = layers(args.cache, args.patches, args.zones)
    commands = {"quilmark --overlay (ellipsoid, adjusted to TBMJ)": [
        args.quilmark, "--overlay", zones + ":YDYH", "--zone-column", "YDYH", "--class-column",
        "DLBM", "--area-column", "TBMJ", "--land-use", "survey3-level2", "--format", "csv",
        patches]}
    # Debian's qgis_process wrapper passes an option only the desktop knows; the binary does not.
    qgis = None if args.no_qgis else shutil.which("qgis_process.bin") or shutil.which("qgis_process")
    # QGIS's own Python must not see the Python this script runs under.
    qgis_env = {"PATH": "/usr/bin:/bin", "HOME": os.environ.get("HOME", "/tmp"),
                "QT_QPA_PLATFORM": "offscreen"}
    with PostgisServer() as server:
        for path, name in ((patches, "patches"), (zones, "zones")):
            subprocess.run(["ogr2ogr", "-f", "PostgreSQL", server.connection, path, "-nln", name,
                            "-lco", "GEOMETRY_NAME=geom"], check=True)
        subprocess.run(psql(server) + ["-c", "ANALYZE"], check=True)
        postgis = subprocess.run(psql(server) + ["-c", SQL], capture_output=True, text=True,
                                 check=True).stdout
        worst, compared = compare(quilmark_sums(args.quilmark, patches, zones), postgis)
        print(f"planar pieces, Quilmark against PostGIS: {compared} sums, largest relative "
              f"difference {worst:.2e}")
        commands["PostGIS SQL (planar, not adjusted)"] = psql(server) + ["-c", SQL]
        if qgis:
            commands["qgis_process intersection + area + statistics by categories"] = [
                "sh", "-c", qgis_chain(qgis, patches, zones, args.cache)]
        times = {name: [] for name in commands}
        for _ in range(args.runs):
            for name, command in commands.items():
                times[name].append(measure(command, qgis_env if "qgis" in name else None,
                                           server if "PostGIS" in name else None))
    print(f"{args.patches} patches x {args.zones} zones, medians of {args.runs} runs:")
    first = None
    for name, runs in times.items():
        wall = statistics.median(t[0] for t in runs)
        cpu = statistics.median(t[1] for t in runs)
        first = first or wall
        print(f"  {name:62s} {wall:8.2f} s wall {cpu:8.2f} s CPU  x{wall / first:.2f}")
    if not qgis:
        print("  (QGIS left out: not installed, or --no-qgis)")


if __name__ == "__main__":
    main()
