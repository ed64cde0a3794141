#!/usr/bin/env python3
"""Writes the generated third-survey patch layer the report tests and the example use, as CSV
with WKT geometry: three townships of four villages each (or as many as asked), every level-1 class, K and A codes,
KCXS with KCMJ = TBMJ x KCXS to the centimetre, every QSXZ kind, CZCSXM 201-205, PDJB 1-5 and GDLX.
The same seed gives the same layer."""
import csv
import random
import sys

TOWNSHIPS = [("441900101", "石碣镇"), ("441900102", "常平镇"), ("441900103", "南城街道")]
VILLAGES = ["东村", "西村", "南村", "北村"]
CODES = ["0101", "0102", "0103", "0101K", "0201", "0201K", "0202", "0301", "0301K", "0305",
         "0303", "0304", "0401", "0402", "0403", "0404", "05H1", "0508", "0601", "0602", "0603",
         "0701", "0702", "08H1", "08H2", "0809", "0810", "09", "1001", "1003", "1004", "1006",
         "1101", "1102", "1103", "1104", "1104A", "1105", "1106", "1107", "1107A", "1108",
         "1109", "1201", "1202", "1204", "1206", "1207"]
# How often each level-1 group's codes occur after every code has occurred once.
WEIGHTS = {"01": 30, "02": 6, "03": 20, "04": 4, "05": 3, "06": 3, "07": 10, "08": 3, "09": 1,
           "10": 6, "11": 8, "12": 6}
QSXZ = ["10", "20", "30", "31", "32", "33", "34", "40"]
URBAN = ["", "", "201", "202", "203", "203", "204", "205"]


def rows(patches, seed, villages=4):
    rng = random.Random(seed)
    weights = [WEIGHTS[code[:2]] for code in CODES]
    for i in range(patches):
        township, town_name = TOWNSHIPS[i % 3]
        village = (i // 3) % villages
        code = CODES[i] if i < len(CODES) else rng.choices(CODES, weights)[0]
        area = round(rng.uniform(50, 40000), 2)
        cultivated = code.startswith("01")
        coefficient = rng.choice([0.05, 0.08, 0.135]) if cultivated else 0.0
        grade = str(rng.randint(1, 5)) if cultivated else ""
        terraced = rng.choice(["TT", "PD"]) if cultivated and grade != "1" else ""
        side = area ** 0.5
        x, y = 500000 + (i % 1000) * 250, 2500000 + (i // 1000) * 250
        yield {
            "WKT": f"POLYGON(({x} {y},{x + side} {y},{x + side} {y + side},{x} {y + side},{x} {y}))",
            "BSM": str(i + 1),
            "DLBM": code,
            "ZLDWDM": f"{township}{200 + village + 1:03d}0000000",
            "ZLDWMC": town_name[:2] + (VILLAGES[village] if villages <= 4 else f"{village + 1}村"),
            "TBMJ": f"{area:.2f}",
            "KCXS": f"{coefficient}",
            "KCMJ": f"{round(area * coefficient, 2):.2f}",
            "QSXZ": rng.choice(QSXZ),
            "CZCSXM": rng.choice(URBAN),
            "PDJB": grade,
            "GDLX": terraced,
        }


def main():
    patches = int(sys.argv[1]) if len(sys.argv) > 1 else 240
    villages = int(sys.argv[2]) if len(sys.argv) > 2 else 4  # per township
    out = csv.DictWriter(sys.stdout, fieldnames=["WKT", "BSM", "DLBM", "ZLDWDM", "ZLDWMC", "TBMJ",
                                                 "KCXS", "KCMJ", "QSXZ", "CZCSXM", "PDJB", "GDLX"],
                         lineterminator="\n")
    out.writeheader()
    for row in rows(patches, seed=20, villages=villages):
        out.writerow(row)


if __name__ == "__main__":
    main()
